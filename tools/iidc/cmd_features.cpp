// iidc get and iidc set: features by name, and the video format, frame rate
// and Format 7 area.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <cmath>
#include <ostream>

#include "camera_query.h"
#include "commands.h"
#include "exit_status.h"
#include "feature_request.h"
#include "names.h"
#include "session.h"
#include "video_settings.h"

namespace iidctool {

namespace {

std::string FeatureLine(const FeatureEntry& feature)
{
    if (!feature.Present())
        return fmt::format("{}: absent\n", FeatureName(feature.nId));
    return fmt::format("{}: {} ({})\n", FeatureName(feature.nId), FeatureValueText(feature), FeatureModeText(feature));
}

// ---- get -------------------------------------------------------------------

int RunGet(CommandLine& line, const std::vector<std::string>& names)
{
    // Every name is checked before the camera is touched.
    for (const auto& name : names)
        if (name != "format" && name != "rate" && name != "area")
            FeatureOrFail(name);
    CLibrarySession library;
    CCameraSession camera(library, line.camera);
    std::ostream& out = line.context.out;
    if (names.empty()) {
        for (const auto& feature : ReadFeatures(camera))
            if (feature.Present())
                out << FeatureLine(feature);
        return EXIT_OK;
    }
    for (const auto& name : names) {
        if (name == "format" || name == "rate" || name == "area") {
            const CurrentFormat current = ReadCurrentFormat(camera);
            if (name == "format")
                out << fmt::format("format: {} {} {}x{}\n", FormatIdText(current.id), ColorName(current.nColor),
                                   current.nWidth, current.nHeight);
            else if (name == "rate")
                out << (current.IsScalable() ? std::string("rate: - (Format 7)\n")
                                             : fmt::format("rate: {:g}\n", current.fRate));
            else
                out << (current.area ? fmt::format("area: {}\n", AreaText(*current.area))
                                     : std::string("area: - (not in Format 7)\n"));
            continue;
        }
        out << FeatureLine(ReadFeature(camera, FeatureOrFail(name)));
    }
    return EXIT_OK;
}

// ---- set -------------------------------------------------------------------

int RunSet(CommandLine& line, const std::vector<std::string>& texts, VideoSettings& video)
{
    std::vector<FeatureAssignment> assignments;
    for (const auto& text : texts)
        assignments.push_back(ParseAssignment(text));
    video.Parse();
    if (assignments.empty() && !video.Any())
        throw CToolError(EXIT_BAD_ARGUMENTS, "nothing to set: give FEATURE=VALUE pairs or --format, --rate, --area");
    CLibrarySession library;
    CCameraSession camera(library, line.camera);
    const std::vector<iidc_feature> requests = FeatureRequests(camera, assignments);
    ApplyVideoSettings(camera, video, &line.context.out);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        SetFeature(camera, requests[i], assignments[i].text);
        line.context.out << FeatureLine(ReadFeature(camera, requests[i].id));
    }
    return EXIT_OK;
}

}  // namespace

void AddGetCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("get", "show features by name (all when none is named), format, rate, area");
    auto pNames = std::make_shared<std::vector<std::string>>();
    pCommand->add_option("names", *pNames, "feature names, or format, rate, area");
    pCommand->callback([&line, pNames] { line.run = [&line, pNames] { return RunGet(line, *pNames); }; });
}

void AddSetCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("set", "set features (gain=200 shutter=auto brightness=one-push), format, rate, area");
    auto pTexts = std::make_shared<std::vector<std::string>>();
    auto pVideo = std::make_shared<VideoSettings>();
    pCommand->add_option("assignments", *pTexts, "FEATURE=VALUE: a number, on, off, auto, manual or one-push");
    AddVideoOptions(*pCommand, *pVideo);
    pCommand->callback([&line, pTexts, pVideo] {
        line.run = [&line, pTexts, pVideo] { return RunSet(line, *pTexts, *pVideo); };
    });
}

}  // namespace iidctool
