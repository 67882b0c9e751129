// iidc dump: reads a camera's configuration ROM and the registers a virtual
// camera needs to replay it, through the library's register reads, and writes
// them as a profile file (docs/vcam-profiles.md, docs/replay.md).
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <ostream>

#include "camera_dump.h"
#include "commands.h"
#include "exit_status.h"
#include "session.h"
#include "vcam/model/profile_file.h"

namespace iidctool {

namespace {

struct DumpOptions {
  std::string output;  // empty or "-": standard output
};

std::string OffsetList(const std::vector<uint32_t>& offsets)
{
    std::string text;
    for (uint32_t dwOffset : offsets)
        text += fmt::format("{}0x{:X}", text.empty() ? "" : " ", dwOffset);
    return text;
}

int RunDump(CommandLine& line, const DumpOptions& options)
{
    CLibrarySession library;
    CCameraSession camera(library, line.camera);
    std::string lastStage;
    const CameraDump dump = DumpCamera(camera, [&](const std::string& stage, std::size_t nRead) {
        // A terminal follows every register; other output gets a line a stage.
        if (line.context.bTerminal || stage != lastStage)
            ReportProgress(line.context, fmt::format("reading {}: {} registers", stage, nRead), false);
        lastStage = stage;
    });
    const std::size_t nRead = dump.profile.rawRegisters.size();
    ReportProgress(line.context,
                   fmt::format("read {} registers and {} ROM quadlets of camera {}", nRead,
                               dump.profile.rawRom.size(), camera.Index()),
                   true);
    if (!dump.unreadable.empty())
        line.context.err << fmt::format("not readable, left out: {}\n", OffsetList(dump.unreadable));
    if (options.output.empty() || options.output == "-") {
        line.context.out << vcam::CameraSetToJson({dump.profile});
        return EXIT_OK;
    }
    try {
        vcam::SaveCameraSetFile(options.output, {dump.profile});
    } catch (const vcam::CProfileError& error) {
        throw CToolError(EXIT_FAILED, fmt::format("{}; check that the directory exists and is writable", error.what()));
    }
    line.context.out << fmt::format("wrote {}: replay it with IIDC_VCAM_PROFILE={}\n", options.output, options.output);
    return EXIT_OK;
}

}  // namespace

void AddDumpCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("dump", "write a profile file that replays the camera as a virtual camera");
    auto pOptions = std::make_shared<DumpOptions>();
    pCommand->add_option("-o,--output", pOptions->output, "the profile file to write (default: standard output)");
    pCommand->callback([&line, pOptions] { line.run = [&line, pOptions] { return RunDump(line, *pOptions); }; });
}

}  // namespace iidctool
