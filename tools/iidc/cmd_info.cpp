// iidc info: a camera's identity, formats, the format in force, Format 7
// limits and area, features, trigger modes and isochronous settings.
#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <map>
#include <ostream>

#include "bayer_filter.h"
#include "camera_query.h"
#include "camera_rom.h"
#include "commands.h"
#include "exit_status.h"
#include "names.h"
#include "session.h"

namespace iidctool {

namespace {

using Json = nlohmann::ordered_json;

struct CameraReport {
  int nIndex = 0;
  CameraNames names;
  std::string uniqueId;
  std::vector<FormatEntry> formats;
  CurrentFormat current;
  FilterChoice filter;                      // of the format in force
  std::optional<BayerFilter> imageFilter;   // shifted by its area
  std::vector<FeatureEntry> features;
  std::optional<IsoSettings> iso;
};

CameraReport ReadReport(const CCameraSession& camera)
{
    CameraReport report;
    report.nIndex = camera.Index();
    report.names = ReadCameraNames(camera.Index(), camera.Handle());
    report.uniqueId = CameraString(camera.Index(), IIDC_STRING_UNIQUEID);
    report.formats = ReadFormats(camera);
    report.current = ReadCurrentFormat(camera);
    report.filter = ChooseFilter(RegistersOf(camera.Handle()), report.current.id, report.current.nColor, std::nullopt);
    const auto& area = report.current.area;
    report.imageFilter = report.filter.ImageFilter(area ? uint32_t(area->left) : 0, area ? uint32_t(area->top) : 0);
    report.features = ReadFeatures(camera);
    report.iso = ReadIsoSettings(camera);
    return report;
}

std::vector<int> TriggerModes(const FeatureEntry& trigger)
{
    std::vector<int> modes;
    for (int mode = 0; mode < 4; ++mode)
        if (trigger.info.flags & (IIDC_FEATURECAP_TRIGGER_MODE0 << mode))
            modes.push_back(mode);
    return modes;
}

Json FeatureJson(const FeatureEntry& feature)
{
    Json json{{"name", FeatureName(feature.nId)}, {"id", feature.nId}, {"present", feature.Present()}};
    if (!feature.Present())
        return json;
    const uint32_t dwCaps = feature.info.flags;
    json["capabilities"] = {{"onOff", (dwCaps & IIDC_FEATURECAP_ONOFF) != 0},
                            {"manual", (dwCaps & IIDC_FEATURECAP_MANUAL) != 0},
                            {"auto", (dwCaps & IIDC_FEATURECAP_AUTO) != 0},
                            {"onePush", (dwCaps & IIDC_FEATURECAP_ONEPUSH) != 0},
                            {"readOut", (dwCaps & IIDC_FEATURECAP_READOUT) != 0},
                            {"absolute", (dwCaps & IIDC_FEATURECAP_ABSOLUTE) != 0}};
    const uint32_t dwState = feature.state.flags;
    json["on"] = (dwState & IIDC_FEATURESTATE_OFF) == 0;
    if (feature.nId == IIDC_FEATURE_TRIGGER) {
        json["modes"] = TriggerModes(feature);
        json["mode"] = feature.state.value2;
        json["parameter"] = feature.state.value1;
        return json;
    }
    json["mode"] = dwState & IIDC_FEATURESTATE_AUTO ? "auto" : "manual";
    json["onePushRunning"] = (dwState & IIDC_FEATURESTATE_ONEPUSH) != 0;
    json["absoluteMode"] = (dwState & IIDC_FEATURESTATE_ABSOLUTE) != 0;
    json["range"] = {feature.nUnitMin, feature.nUnitMax};
    if (dwCaps & IIDC_FEATURECAP_ABSOLUTE)
        json["absoluteRange"] = {feature.info.minimum, feature.info.maximum};
    if (dwState & IIDC_FEATURESTATE_VALUE1)
        json["value"] = feature.state.value1;
    if (dwState & IIDC_FEATURESTATE_VALUE2)
        json["value2"] = feature.state.value2;
    return json;
}

Json ReportJson(const CameraReport& report)
{
    Json formats = Json::array();
    for (const auto& entry : report.formats) {
        Json json{{"id", FormatIdText(entry.id)},
                  {"formatId", fmt::format("0x{:08X}", entry.id)},
                  {"coding", ColorName(entry.info.color)},
                  {"width", entry.info.width},
                  {"height", entry.info.height}};
        if (entry.areaInfo)
            json["units"] = {{"left", LeftUnit(*entry.areaInfo)},
                             {"top", TopUnit(*entry.areaInfo)},
                             {"width", entry.areaInfo->widthunit},
                             {"height", entry.areaInfo->heightunit}};
        else
            json["rates"] = entry.rates;
        formats.push_back(json);
    }
    Json current{{"id", FormatIdText(report.current.id)},
                 {"coding", ColorName(report.current.nColor)},
                 {"width", report.current.nWidth},
                 {"height", report.current.nHeight}};
    if (report.current.area)
        current["area"] = {{"left", report.current.area->left},
                           {"top", report.current.area->top},
                           {"width", report.current.area->width},
                           {"height", report.current.area->height}};
    else
        current["rate"] = std::round(report.current.fRate * 1000.0) / 1000.0;  // the driver's interval rounds
    current["filter"] = report.imageFilter ? Json(BayerFilterName(*report.imageFilter)) : Json();
    current["sensorFilter"] = report.filter.sensor ? Json(BayerFilterName(*report.filter.sensor)) : Json();
    current["filterSource"] = FilterSourceName(report.filter.source);
    Json features = Json::array();
    for (const auto& feature : report.features)
        features.push_back(FeatureJson(feature));
    Json json{{"index", report.nIndex},
              {"vendor", report.names.vendor},
              {"model", report.names.model},
              {"uniqueId", report.uniqueId},
              {"nameWalk", {{"vendor", report.names.vendorWalk}, {"model", report.names.modelWalk}}},
              {"current", current},
              {"formats", formats},
              {"features", features}};
    if (report.iso)
        json["iso"] = {{"channel", report.iso->nChannel}, {"speed", report.iso->nSpeed}};
    return json;
}

std::string RatesText(const std::vector<float>& rates)
{
    std::string text;
    for (float rate : rates)
        text += fmt::format("{}{:g}", text.empty() ? "" : " ", rate);
    return text;
}

std::string ReportText(const CameraReport& report)
{
    std::string text = fmt::format("camera {}: {} {} (unique id {})\n", report.nIndex, report.names.vendor,
                                   report.names.model, report.uniqueId);
    const CurrentFormat& current = report.current;
    text += fmt::format("format in force: {} {} {}x{}", FormatIdText(current.id), ColorName(current.nColor),
                        current.nWidth, current.nHeight);
    text += current.area ? fmt::format(", area {}\n", AreaText(*current.area))
                         : fmt::format(" at {:g} fps\n", current.fRate);
    text += report.imageFilter ? fmt::format("colour filter: {} (sensor {}, from {})\n",
                                             BayerFilterName(*report.imageFilter),
                                             BayerFilterName(*report.filter.sensor),
                                             FilterSourceName(report.filter.source))
                               : "colour filter: none\n";

    text += "\nformats:\n";
    std::map<int, std::pair<const FormatEntry*, std::string>> scalable;  // Format 7 by mode: entry, codings
    for (const auto& entry : report.formats) {
        if (entry.areaInfo || IIDC_FORMATID_FORMAT(entry.id) == IIDC_FORMAT_SCALABLE) {
            auto& [pEntry, codings] = scalable[IIDC_FORMATID_MODE(entry.id)];
            pEntry = pEntry ? pEntry : &entry;
            codings += (codings.empty() ? "" : " ") + std::string(ColorName(entry.info.color));
            continue;
        }
        text += fmt::format("  {:<5} {:<7} {:>4}x{:<4}  {} fps\n", FormatIdText(entry.id), ColorName(entry.info.color),
                            entry.info.width, entry.info.height, RatesText(entry.rates));
    }
    for (const auto& [nMode, scalableMode] : scalable) {
        const auto& [pEntry, codings] = scalableMode;
        text += fmt::format("  7:{:<3} {}, up to {}x{}", nMode, codings, pEntry->info.width, pEntry->info.height);
        if (pEntry->areaInfo)
            text += fmt::format(", size steps {}x{}, position steps {}x{}", pEntry->areaInfo->widthunit,
                                pEntry->areaInfo->heightunit, LeftUnit(*pEntry->areaInfo), TopUnit(*pEntry->areaInfo));
        text += "\n";
    }

    text += fmt::format("\nfeatures:\n  {:<15} {:<18} {:<20} {:<26} {}\n", "name", "state", "value", "range",
                        "can do");
    for (const auto& feature : report.features) {
        if (!feature.Present()) {
            text += fmt::format("  {:<15} absent\n", FeatureName(feature.nId));
            continue;
        }
        std::string range = feature.nId == IIDC_FEATURE_TRIGGER ? "-"
                                                                 : fmt::format("{}..{}", feature.nUnitMin, feature.nUnitMax);
        if (feature.info.flags & IIDC_FEATURECAP_ABSOLUTE)
            range += fmt::format(" (absolute {:g}..{:g})", feature.info.minimum, feature.info.maximum);
        text += fmt::format("  {:<15} {:<18} {:<20} {:<26} {}\n", FeatureName(feature.nId), FeatureModeText(feature),
                            FeatureValueText(feature), range, FeatureCapsText(feature));
    }
    for (const auto& feature : report.features)
        if (feature.nId == IIDC_FEATURE_TRIGGER && feature.Present()) {
            std::string modes;
            for (int mode : TriggerModes(feature))
                modes += fmt::format(" {}", mode);
            text += fmt::format("\ntrigger modes:{}\n", modes.empty() ? " none" : modes);
        }
    if (report.iso)
        text += fmt::format("isochronous: channel {}, speed {} Mbit/s\n", report.iso->nChannel, report.iso->nSpeed);
    return text;
}

int RunInfo(CommandLine& line, bool bJson)
{
    CLibrarySession library;
    CCameraSession camera(library, line.camera);
    const CameraReport report = ReadReport(camera);
    if (bJson)
        line.context.out << ReportJson(report).dump(2) << '\n';
    else
        line.context.out << ReportText(report);
    return EXIT_OK;
}

}  // namespace

void AddInfoCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("info", "show a camera's formats, features and settings");
    auto pJson = std::make_shared<bool>(false);
    pCommand->add_flag("--json", *pJson, "print JSON");
    pCommand->callback([&line, pJson] { line.run = [&line, pJson] { return RunInfo(line, *pJson); }; });
}

}  // namespace iidctool
