// Names the tool shows and accepts: features, colour codings, format ids,
// frame rates, image areas and register numbers. Parsers throw
// CCameraError (Settings) with a message that says what is accepted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "iidc.h"

namespace iidccam {

struct FeatureNameEntry {
  uint32_t nId;
  const char* pszName;
};
std::span<const FeatureNameEntry> Features();
// The feature of a name, case-insensitive, '_' taken as '-'.
std::optional<uint32_t> FeatureByName(const std::string& name);
const char* FeatureName(uint32_t nId);

// The Bayer codings of Format 7 (sensor data through a colour filter), which
// iidc.h does not name.
constexpr int COLOR_RAW8 = 9;
constexpr int COLOR_RAW16 = 10;

const char* ColorName(int nColor);  // "Mono8", ..., "Raw16"; "?" for an unknown code
std::optional<int> ColorByName(const std::string& name);

// "F:M" (for example 0:3 or 7:1, and 7:1:mono16 for a Format 7 coding), or
// "WxH" with an optional ":coding" (640x480:yuv422).
struct FormatSpec {
  int nFormat = -1, nMode = -1;  // set for F:M
  int nWidth = 0, nHeight = 0;   // set for WxH
  int nColor = -1;               // -1: any coding
};
FormatSpec ParseFormatSpec(const std::string& text);
std::string FormatIdText(uint32_t id);  // "0:3"

// The IIDC frame rates in frames per second, by rate code (0 to 7).
std::span<const float> FrameRates();
// One of the IIDC frame rates: 1.875, 3.75, 7.5, 15, 30, 60, 120, 240.
float ParseFrameRate(const std::string& text);

// "WxH+L+T" or "WxH" (at 0, 0).
iidc_area ParseArea(const std::string& text);
std::string AreaText(const iidc_area& area);

// A 32-bit number, decimal or 0x hexadecimal.
uint32_t ParseU32(const std::string& text, const std::string& what);
// A whole number in decimal.
long ParseInteger(const std::string& text, const std::string& what);

}  // namespace iidccam
