#include "video_settings.h"

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <ostream>

#include "camera_query.h"
#include "exit_status.h"
#include "format_selection.h"
#include "session.h"

namespace iidctool {

namespace {

std::string RatesText(const std::vector<float>& rates)
{
    std::string text;
    for (float rate : rates)
        text += fmt::format("{}{:g}", text.empty() ? "" : ", ", rate);
    return text.empty() ? "none" : text;
}

// Whether an area fits the limits and steps of Format 7 mode id.
void CheckArea(const CCameraSession& camera, uint32_t id, const iidc_area& area)
{
    iidc_areainfo info{};
    if (!iidc_getareainfo(camera.Handle(), &info, sizeof info, id))
        camera.Fail("reading the area limits");
    const int nLeftUnit = LeftUnit(info);
    const int nTopUnit = TopUnit(info);
    const bool bFits = area.left + area.width <= info.maxwidth && area.top + area.height <= info.maxheight;
    const bool bSteps = (nLeftUnit <= 0 || area.left % nLeftUnit == 0) && (nTopUnit <= 0 || area.top % nTopUnit == 0)
                        && (info.widthunit <= 0 || area.width % info.widthunit == 0)
                        && (info.heightunit <= 0 || area.height % info.heightunit == 0);
    if (!bFits || !bSteps)
        throw CToolError(EXIT_BAD_ARGUMENTS,
                         fmt::format("--area {}: format {} takes areas within {}x{}, sizes in steps of {}x{}, "
                                     "positions in steps of {}x{}",
                                     AreaText(area), FormatIdText(id), info.maxwidth, info.maxheight,
                                     info.widthunit, info.heightunit, nLeftUnit, nTopUnit));
}

// The catalogue entry a --format names. F:M names a mode; a Format 7 mode
// without a coding keeps the coding in force when the camera is in that mode,
// and takes the first it lists otherwise.
uint32_t ChooseFormat(const CCameraSession& camera, const FormatSpec& spec, const std::string& typed)
{
    const auto formats = ReadFormats(camera);
    const uint32_t current = ReadCurrentFormat(camera).id;
    std::vector<uint32_t> matches;
    for (const auto& entry : formats) {
        const bool bScalable = IIDC_FORMATID_FORMAT(entry.id) == IIDC_FORMAT_SCALABLE;
        bool bMatch = false;
        if (spec.nFormat >= 0)
            bMatch = IIDC_FORMATID_FORMAT(entry.id) == spec.nFormat && IIDC_FORMATID_MODE(entry.id) == spec.nMode
                     && (spec.nColor < 0 || IIDC_FORMATID_COLOR(entry.id) == spec.nColor);
        else
            bMatch = !bScalable && entry.info.width == spec.nWidth && entry.info.height == spec.nHeight
                     && (spec.nColor < 0 || entry.info.color == spec.nColor);
        const auto seen = std::find_if(matches.begin(), matches.end(), [&](uint32_t id) {
            return IIDC_FORMATID_FORMAT(id) == IIDC_FORMATID_FORMAT(entry.id)
                   && IIDC_FORMATID_MODE(id) == IIDC_FORMATID_MODE(entry.id);
        });
        if (bMatch && seen == matches.end())
            matches.push_back(entry.id);
        else if (bMatch && bScalable && entry.id == current)
            *seen = entry.id;
    }
    if (matches.empty())
        throw CToolError(EXIT_BAD_ARGUMENTS,
                         fmt::format("camera {} offers no format {}: 'iidc info' lists its formats", camera.Index(), typed));
    if (matches.size() > 1) {
        std::string choices;
        for (uint32_t id : matches)
            choices += fmt::format(" {}", FormatIdText(id));
        throw CToolError(EXIT_BAD_ARGUMENTS,
                         fmt::format("format {} is ambiguous: add the colour coding or pick one of{}", typed, choices));
    }
    return matches.front();
}

void ApplyFormat(const CCameraSession& camera, const FormatSpec& spec, const std::string& typed,
                 const std::optional<iidc_area>& area, std::ostream* pOut)
{
    const uint32_t id = ChooseFormat(camera, spec, typed);
    if (IIDC_FORMATID_FORMAT(id) == IIDC_FORMAT_SCALABLE) {
        if (area)
            CheckArea(camera, id, *area);
        SelectFormat7(camera, id, area);
    } else {
        SelectStandardFormat(camera, id, 0.0f);
    }
    if (pOut)
        *pOut << fmt::format("format {}\n", FormatIdText(id));
}

void ApplyRate(const CCameraSession& camera, float fRate, std::ostream* pOut)
{
    const CurrentFormat current = ReadCurrentFormat(camera);
    if (current.IsScalable())
        throw CToolError(EXIT_BAD_ARGUMENTS, "--rate: a Format 7 mode has no frame-rate setting; its speed follows "
                                             "the packet size");
    const auto rates = ReadRates(camera, current.id);
    if (std::find(rates.begin(), rates.end(), fRate) == rates.end())
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--rate {}: format {} offers {} frames per second", fRate,
                                                         FormatIdText(current.id), RatesText(rates)));
    if (iidc_setframerate(camera.Handle(), fRate) == 0.0f)
        camera.Fail(fmt::format("setting {} frames per second", fRate));
    if (pOut)
        *pOut << fmt::format("rate {:g}\n", fRate);
}

void ApplyArea(const CCameraSession& camera, const iidc_area& area)
{
    const CurrentFormat current = ReadCurrentFormat(camera);
    if (!current.IsScalable())
        throw CToolError(EXIT_BAD_ARGUMENTS,
                         fmt::format("--area: the camera is in format {}, which has a fixed size; an area needs a "
                                     "Format 7 mode",
                                     FormatIdText(current.id)));
    CheckArea(camera, current.id, area);
    if (!iidc_setarea(camera.Handle(), &area, sizeof area))
        camera.Fail(fmt::format("setting the area {}", AreaText(area)));
}

}  // namespace

void VideoSettings::Parse()
{
    if (!format.empty())
        formatSpec = ParseFormatSpec(format);
    if (!rate.empty())
        fRate = ParseFrameRate(rate);
    if (!area.empty())
        areaValue = ParseArea(area);
}

void AddVideoOptions(CLI::App& command, VideoSettings& settings)
{
    command.add_option("-f,--format", settings.format, "video format: FORMAT:MODE (0:3, 7:1:mono16) or WIDTHxHEIGHT[:CODING]");
    command.add_option("-r,--rate", settings.rate, "frame rate in frames per second (1.875 to 240)");
    command.add_option("-a,--area", settings.area, "Format 7 image area: WIDTHxHEIGHT+LEFT+TOP");
}

void ApplyVideoSettings(const CCameraSession& camera, const VideoSettings& settings, std::ostream* pOut)
{
    // A Format 7 mode takes its area as it is selected.
    const bool bAreaWithFormat = settings.formatSpec && settings.formatSpec->nFormat == IIDC_FORMAT_SCALABLE;
    if (settings.formatSpec)
        ApplyFormat(camera, *settings.formatSpec, settings.format,
                    bAreaWithFormat ? settings.areaValue : std::nullopt, pOut);
    if (settings.fRate)
        ApplyRate(camera, *settings.fRate, pOut);
    if (settings.areaValue && !bAreaWithFormat)
        ApplyArea(camera, *settings.areaValue);
    if (settings.areaValue && pOut)
        *pOut << fmt::format("area {}\n", AreaText(*settings.areaValue));
}

}  // namespace iidctool
