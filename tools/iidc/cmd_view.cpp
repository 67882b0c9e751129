// iidc view: live video in a window, with the frames per second shown,
// until the window is closed, q is pressed or --seconds have passed.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <chrono>
#include <ostream>

#include "camera_query.h"
#include "commands.h"
#include "exit_status.h"
#include "names.h"
#include "preview_window.h"
#include "session.h"
#include "video_settings.h"

namespace iidctool {

namespace {

struct ViewOptions {
  double fSeconds = 0;  // 0: until closed
  VideoSettings video;
};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int RunView(CommandLine& line, ViewOptions& options)
{
    if (options.fSeconds < 0 || options.fSeconds > 86400)
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--seconds {}: give 0 (until closed) to 86400", options.fSeconds));
    options.video.Parse();
    CLibrarySession library;
    CCameraSession camera(library, line.camera);
    ApplyVideoSettings(camera, options.video, nullptr);
    const CurrentFormat format = ReadCurrentFormat(camera);
    const std::string name = fmt::format("iidc: camera {} {}", camera.Index(), CameraString(camera.Index(), IIDC_STRING_MODEL));
    CPreviewWindow window(format.nWidth, format.nHeight, name);
    if (!iidc_preparecapture(camera.Handle()))
        camera.Fail("preparing capture");
    if (!iidc_setimagetowindow(camera.Handle(), window.Id(), 0, 0, format.nWidth, format.nHeight)) {
        // Failing with no code recorded: the platform's video renderer counts
        // no frames drawn, which the preview needs.
        if (iidc_getlasterror(camera.Index()) == 0)
            throw CToolError(EXIT_FAILED, "the platform's video renderer does not count the frames it draws, which the "
                                          "live preview needs (Wine's renderers do not): use 'iidc grab' for pictures");
        camera.Fail("setting up the preview window");
    }
    if (!iidc_capture(camera.Handle(), IIDC_TRUE))
        camera.FailStart("starting the preview");
    line.context.err << "press q in the window or close it to stop\n";

    const double fStart = Now();
    double fLast = fStart;
    int32_t nLastFrames = 0;
    while (window.Pump(100)) {
        const double fNow = Now();
        if (options.fSeconds > 0 && fNow - fStart >= options.fSeconds)
            break;
        if (fNow - fLast < 1.0)
            continue;
        iidc_transferinfo info{};
        iidc_gettransferinfo(camera.Handle(), &info, sizeof info);
        const double fFps = (info.framecount - nLastFrames) / (fNow - fLast);
        nLastFrames = info.framecount;
        fLast = fNow;
        window.SetTitle(fmt::format("{} - {:.1f} fps", name, fFps));
        line.context.out << fmt::format("{:.1f} fps\n", fFps) << std::flush;
    }
    if (!iidc_idle(camera.Handle()))
        camera.Fail("stopping the preview");
    return EXIT_OK;
}

}  // namespace

void AddViewCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("view", "live preview in a window (q or closing the window stops it)");
    auto pOptions = std::make_shared<ViewOptions>();
    pCommand->add_option("-s,--seconds", pOptions->fSeconds, "stop after this many seconds");
    AddVideoOptions(*pCommand, pOptions->video);
    pCommand->callback([&line, pOptions] { line.run = [&line, pOptions] { return RunView(line, *pOptions); }; });
}

}  // namespace iidctool
