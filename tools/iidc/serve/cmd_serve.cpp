// iidc serve: the chosen cameras (all by default) as RTSP streams until
// Ctrl-C. Before serving, each camera is opened once: the --features are set
// and a capture is started and stopped, so that a camera another program
// streams from is reported now rather than to the first client.
#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <gst/gst.h>

#include <algorithm>
#include <fstream>
#include <ostream>

#include "commands.h"
#include "exit_status.h"
#include "feature_request.h"
#include "rtsp_service.h"
#include "session.h"
#include "stream_line.h"

namespace iidctool {

namespace {

struct ServeOptions {
  std::vector<std::string> cameras;
  std::string features;
  std::vector<std::string> auth;
  std::string authFile;
  ServiceSettings settings{"127.0.0.1", 8554, "h264", 4000, {}, {}, {}};
};

std::pair<std::string, std::string> ParseUser(const std::string& text, const std::string& where)
{
    const auto colon = text.find(':');
    if (colon == 0 || colon == std::string::npos || colon + 1 == text.size())
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("{}: give USER:PASSWORD, both not empty", where));
    return {text.substr(0, colon), text.substr(colon + 1)};
}

void CheckOptions(ServeOptions& options)
{
    ServiceSettings& settings = options.settings;
    if (settings.nPort < 0 || settings.nPort > 65535)
        throw CToolError(EXIT_BAD_ARGUMENTS,
                         fmt::format("--port {}: give a port of 1 to 65535, or 0 for a free one", settings.nPort));
    if (settings.nBitrate < 16 || settings.nBitrate > 1000000)
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--bitrate {}: give 16 to 1000000 kbit/s", settings.nBitrate));
    if (settings.certFile.empty() != settings.keyFile.empty())
        throw CToolError(EXIT_BAD_ARGUMENTS, "--cert and --key go together: give the certificate and its key");
    for (const std::string& text : options.auth)
        settings.users.push_back(ParseUser(text, "--auth " + text));
    if (!options.authFile.empty()) {
        std::ifstream file(options.authFile);
        if (!file)
            throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--auth-file {}: cannot read it", options.authFile));
        int nLine = 0;
        for (std::string text; std::getline(file, text);) {
            ++nLine;
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            if (!text.empty() && text[0] != '#')
                settings.users.push_back(ParseUser(text, fmt::format("{} line {}", options.authFile, nLine)));
        }
        if (settings.users.empty())
            throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--auth-file {}: it names no user", options.authFile));
    }
    ParseAssignments(options.features);  // the words, before any camera is opened
}

// GStreamer and the elements the codec needs.
void CheckElements(const std::string& codec)
{
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        const std::string text = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw CToolError(EXIT_FAILED, "GStreamer does not start: " + text);
    }
    auto elements = ElementsOfCodec(codec);
    elements.emplace_back("iidcsrc", "this project's GStreamer plugin (or name its folder in GST_PLUGIN_PATH)");
    for (const auto& [name, package] : elements) {
        GstElementFactory* factory = gst_element_factory_find(name.c_str());
        if (!factory)
            throw CToolError(EXIT_FAILED, fmt::format("GStreamer has no element {}: install {}", name, package));
        gst_object_unref(factory);
    }
}

std::vector<ServedCamera> PrepareCameras(const ServeOptions& options)
{
    CLibrarySession library;
    std::vector<int> indexes;
    for (const std::string& selector : options.cameras)
        indexes.push_back(FindCamera(library.CameraCount(), selector));
    if (indexes.empty())
        for (int i = 0; i < library.CameraCount(); ++i)
            indexes.push_back(i);
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    const auto assignments = ParseAssignments(options.features);
    std::vector<ServedCamera> cameras;
    for (const int nIndex : indexes) {
        CCameraSession camera(library, std::to_string(nIndex));
        const std::vector<iidc_feature> requests = FeatureRequests(camera, assignments);
        for (std::size_t i = 0; i < requests.size(); ++i)
            SetFeature(camera, requests[i], assignments[i].text);
        if (!iidc_preparecapture(camera.Handle()) || iidc_allocframe(camera.Handle(), 2) < 2)
            camera.Fail("preparing the trial stream");
        if (!iidc_capture(camera.Handle(), IIDC_TRUE))
            camera.FailStart("trying the stream");
        if (!iidc_idle(camera.Handle()))
            camera.Fail("stopping the trial stream");
        cameras.push_back({nIndex, CameraString(nIndex, IIDC_STRING_UNIQUEID)});
    }
    return cameras;
}

int RunServe(CommandLine& line, ServeOptions& options)
{
    CheckOptions(options);
    CheckElements(options.settings.codec);
    const std::vector<ServedCamera> cameras = PrepareCameras(options);
    CRtspService service(options.settings, cameras, line.context.err);
    for (const std::string& url : service.Urls())
        line.context.out << url << '\n';
    line.context.out << std::flush;
    service.Run();
    return EXIT_OK;
}

}  // namespace

void AddServeCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("serve", "serve cameras as RTSP streams until Ctrl-C");
    auto pOptions = std::make_shared<ServeOptions>();
    ServiceSettings& settings = pOptions->settings;
    pCommand->add_option("-c,--camera", pOptions->cameras, "camera index or unique id, repeatable; default: all");
    pCommand->add_option("-a,--address", settings.address, "address to listen on")->capture_default_str();
    pCommand->add_option("-p,--port", settings.nPort, "port; 0 picks a free one")->capture_default_str();
    pCommand->add_option("--codec", settings.codec, "h264, jpeg or raw (RFC 4175)")
        ->capture_default_str()
        ->check(CLI::IsMember(CodecNames()));
    pCommand->add_option("--bitrate", settings.nBitrate, "h264 bitrate in kbit/s")->capture_default_str();
    pCommand->add_option("--features", pOptions->features, "feature settings made before serving, \"gain=200 ...\"");
    pCommand->add_option("--auth", pOptions->auth, "USER:PASSWORD who may watch, repeatable");
    pCommand->add_option("--auth-file", pOptions->authFile, "file of USER:PASSWORD lines who may watch");
    pCommand->add_option("--cert", settings.certFile, "PEM certificate: serve over TLS (rtsps://)");
    pCommand->add_option("--key", settings.keyFile, "PEM private key of --cert");
    pCommand->callback([&line, pOptions] { line.run = [&line, pOptions] { return RunServe(line, *pOptions); }; });
}

}  // namespace iidctool
