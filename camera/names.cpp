#include "names.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

#include "error.h"

namespace iidccam {

namespace {

constexpr std::array<FeatureNameEntry, 17> FEATURES{{
    {IIDC_FEATURE_BRIGHTNESS, "brightness"},
    {IIDC_FEATURE_AUTO_EXPOSURE, "auto-exposure"},
    {IIDC_FEATURE_SHARPNESS, "sharpness"},
    {IIDC_FEATURE_WHITE_BALANCE, "white-balance"},
    {IIDC_FEATURE_HUE, "hue"},
    {IIDC_FEATURE_SATURATION, "saturation"},
    {IIDC_FEATURE_GAMMA, "gamma"},
    {IIDC_FEATURE_SHUTTER, "shutter"},
    {IIDC_FEATURE_GAIN, "gain"},
    {IIDC_FEATURE_IRIS, "iris"},
    {IIDC_FEATURE_FOCUS, "focus"},
    {IIDC_FEATURE_TEMPERATURE, "temperature"},
    {IIDC_FEATURE_TRIGGER, "trigger"},
    {IIDC_FEATURE_ZOOM, "zoom"},
    {IIDC_FEATURE_PAN, "pan"},
    {IIDC_FEATURE_TILT, "tilt"},
    {IIDC_FEATURE_OPTICAL_FILTER, "optical-filter"},
}};

// By IIDC number; 7 and 8 (signed codings) are not named.
constexpr std::array<const char*, 11> COLORS{"Mono8", "YUV411", "YUV422", "YUV444", "RGB8", "Mono16",
                                            "RGB16", "",      "",       "Raw8",   "Raw16"};

constexpr std::array<float, 8> RATES{1.875f, 3.75f, 7.5f, 15.0f, 30.0f, 60.0f, 120.0f, 240.0f};

std::string Normalized(const std::string& text)
{
    std::string result;
    for (unsigned char c : text)
        result += c == '_' ? '-' : char(std::tolower(c));
    return result;
}

[[noreturn]] void BadArgument(const std::string& message)
{
    throw CCameraError(CCameraError::Kind::Settings, message);
}

// A whole decimal number that fills the text exactly.
std::optional<long> WholeNumber(std::string_view text)
{
    long nValue = 0;
    const auto [pEnd, ec] = std::from_chars(text.data(), text.data() + text.size(), nValue);
    if (ec != std::errc() || pEnd != text.data() + text.size() || text.empty())
        return std::nullopt;
    return nValue;
}

}  // namespace

std::span<const FeatureNameEntry> Features()
{
    return FEATURES;
}

std::span<const float> FrameRates()
{
    return RATES;
}

std::optional<uint32_t> FeatureByName(const std::string& name)
{
    const std::string wanted = Normalized(name);
    for (const auto& feature : FEATURES)
        if (wanted == feature.pszName)
            return feature.nId;
    return std::nullopt;
}

const char* FeatureName(uint32_t nId)
{
    for (const auto& feature : FEATURES)
        if (feature.nId == nId)
            return feature.pszName;
    return "?";
}

const char* ColorName(int nColor)
{
    return nColor >= 0 && nColor < int(COLORS.size()) && *COLORS[std::size_t(nColor)] ? COLORS[std::size_t(nColor)]
                                                                                        : "?";
}

std::optional<int> ColorByName(const std::string& name)
{
    const std::string wanted = Normalized(name);
    for (std::size_t i = 0; i < COLORS.size(); ++i)
        if (*COLORS[i] && wanted == Normalized(COLORS[i]))
            return int(i);
    return std::nullopt;
}

FormatSpec ParseFormatSpec(const std::string& text)
{
    const std::string usage = fmt::format(
        "format '{}': give FORMAT:MODE (e.g. 0:3, formats 0, 1, 2 and 7, modes 0 to 7; 7:M:CODING for a coding "
        "of Format 7) or WIDTHxHEIGHT[:CODING] "
        "(e.g. 640x480:yuv422); 'iidc info' lists the formats",
        text);
    FormatSpec spec;
    const auto colon = text.find(':');
    const std::string head = text.substr(0, colon);
    const std::string tail = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    const auto x = Normalized(head).find('x');
    auto color = [&](const std::string& name) {
        const auto nColor = ColorByName(name);
        if (!nColor)
            BadArgument(fmt::format("format '{}': unknown colour coding '{}'; use one of mono8, yuv411, yuv422, "
                                    "yuv444, rgb8, mono16, rgb16, raw8, raw16",
                                    text, name));
        return *nColor;
    };
    if (x == std::string::npos) {
        const auto colon2 = tail.find(':');
        const auto format = WholeNumber(head);
        const auto mode = WholeNumber(tail.substr(0, colon2));
        if (!format || !mode || !(*format <= 2 || *format == 7) || *format < 0 || *mode < 0 || *mode > 7
            || (colon2 != std::string::npos && *format != 7))
            BadArgument(usage);
        spec.nFormat = int(*format);
        spec.nMode = int(*mode);
        if (colon2 != std::string::npos)
            spec.nColor = color(tail.substr(colon2 + 1));
        return spec;
    }
    const auto width = WholeNumber(std::string_view(head).substr(0, x));
    const auto height = WholeNumber(std::string_view(head).substr(x + 1));
    if (!width || !height || *width <= 0 || *height <= 0 || *width > 65535 || *height > 65535)
        BadArgument(usage);
    spec.nWidth = int(*width);
    spec.nHeight = int(*height);
    if (colon != std::string::npos)
        spec.nColor = color(tail);
    return spec;
}

std::string FormatIdText(uint32_t id)
{
    return fmt::format("{}:{}", IIDC_FORMATID_FORMAT(id), IIDC_FORMATID_MODE(id));
}

float ParseFrameRate(const std::string& text)
{
    char* pEnd = nullptr;
    const double value = std::strtod(text.c_str(), &pEnd);
    if (!text.empty() && pEnd == text.c_str() + text.size())
        for (float rate : RATES)
            if (std::fabs(value - rate) < 1e-6)
                return rate;
    BadArgument(fmt::format("frame rate '{}': give one of 1.875, 3.75, 7.5, 15, 30, 60, 120, 240 "
                            "(frames per second); 'iidc info' shows the camera's range",
                            text));
}

iidc_area ParseArea(const std::string& text)
{
    const std::string usage =
        fmt::format("area '{}': give WIDTHxHEIGHT+LEFT+TOP (e.g. 640x480+8+4) or WIDTHxHEIGHT", text);
    const std::string lower = Normalized(text);
    const auto x = lower.find('x');
    const auto plus = lower.find('+');
    if (x == std::string::npos)
        BadArgument(usage);
    const auto sizeEnd = plus == std::string::npos ? lower.size() : plus;
    const auto width = WholeNumber(std::string_view(lower).substr(0, x));
    const auto height = WholeNumber(std::string_view(lower).substr(x + 1, sizeEnd - x - 1));
    std::optional<long> left = 0, top = 0;
    if (plus != std::string::npos) {
        const auto plus2 = lower.find('+', plus + 1);
        if (plus2 == std::string::npos)
            BadArgument(usage);
        left = WholeNumber(std::string_view(lower).substr(plus + 1, plus2 - plus - 1));
        top = WholeNumber(std::string_view(lower).substr(plus2 + 1));
    }
    constexpr long LIMIT = 65535;
    if (!width || !height || !left || !top || *width <= 0 || *height <= 0 || *width > LIMIT || *height > LIMIT
        || *left < 0 || *top < 0 || *left > LIMIT || *top > LIMIT)
        BadArgument(usage);
    return iidc_area{int32_t(*left), int32_t(*top), int32_t(*width), int32_t(*height)};
}

std::string AreaText(const iidc_area& area)
{
    return fmt::format("{}x{}+{}+{}", area.width, area.height, area.left, area.top);
}

uint32_t ParseU32(const std::string& text, const std::string& what)
{
    const bool bHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string_view digits = bHex ? std::string_view(text).substr(2) : std::string_view(text);
    uint32_t nValue = 0;
    const auto [pEnd, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), nValue, bHex ? 16 : 10);
    if (digits.empty() || ec != std::errc() || pEnd != digits.data() + digits.size())
        BadArgument(fmt::format("{} '{}': give a 32-bit number, decimal or hexadecimal with 0x (e.g. 0x80000000)",
                                what, text));
    return nValue;
}

long ParseInteger(const std::string& text, const std::string& what)
{
    const auto value = WholeNumber(text);
    if (!value)
        BadArgument(fmt::format("{} '{}': give a whole number", what, text));
    return *value;
}

}  // namespace iidccam
