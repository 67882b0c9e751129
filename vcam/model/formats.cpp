#include "vcam/model/formats.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "vcam/model/offsets.h"

namespace vcam {
namespace {

constexpr std::array<StandardMode, 24> STANDARD_MODES = {{
    {COLOR_YUV444, 160, 120, 24},  {COLOR_YUV422, 320, 240, 16},
    {COLOR_YUV411, 640, 480, 12},  {COLOR_YUV422, 640, 480, 16},
    {COLOR_RGB8, 640, 480, 24},    {COLOR_MONO8, 640, 480, 8},
    {COLOR_MONO16, 640, 480, 16},  {0, 0, 0, 0},
    {COLOR_YUV422, 800, 600, 16},  {COLOR_RGB8, 800, 600, 24},
    {COLOR_MONO8, 800, 600, 8},    {COLOR_YUV422, 1024, 768, 16},
    {COLOR_RGB8, 1024, 768, 24},   {COLOR_MONO8, 1024, 768, 8},
    {COLOR_MONO16, 800, 600, 16},  {COLOR_MONO16, 1024, 768, 16},
    {COLOR_YUV422, 1280, 960, 16}, {COLOR_RGB8, 1280, 960, 24},
    {COLOR_MONO8, 1280, 960, 8},   {COLOR_YUV422, 1600, 1200, 16},
    {COLOR_RGB8, 1600, 1200, 24},  {COLOR_MONO8, 1600, 1200, 8},
    {COLOR_MONO16, 1280, 960, 16}, {COLOR_MONO16, 1600, 1200, 16},
}};

// Quadlets per isochronous packet at 1.875 frames per second, times four, of
// each standard mode (rows as above; 0: none). A packet doubles with each
// faster rate code, and a mode has a packet size at a rate where that comes to
// whole quadlets: the IIDC table and its extension to the faster codes.
constexpr std::array<std::uint16_t, 24> PACKET_QUADLETS_X4 = {{
      15,   40,  120,  160,  240,   80,  160,    0,  // format 0
     250,  375,  125,  384,  576,  192,  250,  384,  // format 1
     640,  960,  320, 1000, 1500,  500,  640, 1000,  // format 2
}};

// By IIDC coding number; codes 7 and 8 (signed Mono16 and RGB16) are not served.
constexpr std::array<std::string_view, COLOR_RAW16 + 1> COLOR_NAMES = {
    "Mono8", "YUV411", "YUV422", "YUV444", "RGB8", "Mono16", "RGB16", "", "", "Raw8", "Raw16"};
constexpr std::array<std::uint32_t, COLOR_RAW16 + 1> COLOR_BITS = {8, 12, 16, 24, 24, 16, 48, 0, 0, 8, 16};

constexpr std::uint32_t Fourcc(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

}  // namespace

std::optional<StandardMode> LookUpStandardMode(std::uint32_t nFormat, std::uint32_t nMode) {
  if (nFormat >= STANDARD_FORMATS || nMode >= MODES_PER_FORMAT) return std::nullopt;
  const StandardMode& row = STANDARD_MODES[nFormat * MODES_PER_FORMAT + nMode];
  if (row.nWidth == 0) return std::nullopt;
  return row;
}

std::optional<std::uint32_t> StandardPacketBytes(std::uint32_t nFormat, std::uint32_t nMode, unsigned nRateCode) {
  if (!LookUpStandardMode(nFormat, nMode) || nRateCode >= RATE_CODE_COUNT) return std::nullopt;
  const std::uint32_t nScaled = std::uint32_t{PACKET_QUADLETS_X4[nFormat * MODES_PER_FORMAT + nMode]} << nRateCode;
  if (nScaled % 4 != 0) return std::nullopt;
  return nScaled;  // quadlets x 4 = bytes
}

bool IsKnownColorCoding(std::uint32_t nColor) { return nColor < COLOR_BITS.size() && COLOR_BITS[nColor] != 0; }

std::uint32_t StreamColor(std::uint32_t nColor) {
  return nColor == COLOR_RAW8 ? COLOR_MONO8 : nColor == COLOR_RAW16 ? COLOR_MONO16 : nColor;
}

std::uint32_t BitsPerPixel(std::uint32_t nColor) {
  return IsKnownColorCoding(nColor) ? COLOR_BITS[nColor] : 0;
}

std::uint64_t FrameBytes(std::uint32_t nColor, std::uint32_t nWidth, std::uint32_t nHeight) {
  return std::uint64_t{nWidth} * nHeight * BitsPerPixel(nColor) / 8;
}

std::string_view ColorCodingName(std::uint32_t nColor) {
  return IsKnownColorCoding(nColor) ? COLOR_NAMES[nColor] : std::string_view{};
}

std::optional<std::uint32_t> ColorCodingFromName(std::string_view name) {
  for (std::uint32_t c = 0; c < COLOR_NAMES.size(); ++c)
    if (!name.empty() && COLOR_NAMES[c] == name) return c;
  return std::nullopt;
}

namespace {
constexpr std::array<std::string_view, FILTER_NONE> FILTER_NAMES = {"RGGB", "GBRG", "GRBG", "BGGR"};
}  // namespace

std::string_view ColorFilterName(std::uint32_t nFilter) {
  return nFilter < FILTER_NAMES.size() ? FILTER_NAMES[nFilter] : std::string_view{};
}

std::optional<std::uint32_t> ColorFilterFromName(std::string_view name) {
  for (std::uint32_t f = 0; f < FILTER_NAMES.size(); ++f)
    if (FILTER_NAMES[f] == name) return f;
  return std::nullopt;
}

bool IsSensorCoding(std::uint32_t nColor) {
  const std::uint32_t nStream = StreamColor(nColor);
  return nStream == COLOR_MONO8 || nStream == COLOR_MONO16;
}

std::uint32_t TileMappingOf(std::uint32_t nFilter) {
  const std::string_view name = nFilter < FILTER_NAMES.size() ? FILTER_NAMES[nFilter] : "YYYY";
  std::uint32_t dw = 0;
  for (const char c : name) dw = dw << 8 | static_cast<std::uint8_t>(c);
  return dw;
}

std::optional<std::uint32_t> FilterOfTileMapping(std::uint32_t dwMapping) {
  for (std::uint32_t f = 0; f < FILTER_NAMES.size(); ++f)
    if (TileMappingOf(f) == dwMapping) return f;
  return std::nullopt;
}

std::optional<std::uint32_t> SubtypeFirstField(std::uint32_t nColor) {
  switch (nColor) {
    case COLOR_MONO8: return 0xE436EB7Au;
    case COLOR_YUV411: return Fourcc('I', 'Y', 'U', '1');
    case COLOR_YUV422: return Fourcc('U', 'Y', 'V', 'Y');
    case COLOR_YUV444: return Fourcc('I', 'Y', 'U', '2');
    case COLOR_RGB8: return Fourcc('R', 'G', 'B', '8');
    case COLOR_MONO16: return 0u;
    default: return std::nullopt;
  }
}

double RateFromCode(unsigned nCode) { return std::ldexp(1.875, static_cast<int>(nCode)); }

std::int64_t IntervalFromCode(unsigned nCode) {
  return static_cast<std::int64_t>(10000000.0 / RateFromCode(nCode));
}

std::optional<unsigned> FastestRateCode(std::uint32_t dwRateMask) {
  for (unsigned k = RATE_CODE_COUNT; k-- > 0;)
    if (dwRateMask & Bit(k)) return k;
  return std::nullopt;
}

std::optional<unsigned> RateCodeForInterval(std::int64_t llInterval, std::uint32_t dwRateMask) {
  if (llInterval <= 0) return FastestRateCode(dwRateMask);
  std::optional<unsigned> best;
  std::int64_t llBestDistance = 0;
  for (unsigned k = 0; k < RATE_CODE_COUNT; ++k) {
    if (!(dwRateMask & Bit(k))) continue;
    const std::int64_t llCode = IntervalFromCode(k);
    const std::int64_t llDistance = std::llabs(llCode - llInterval);
    if (llDistance * 100 > llCode) continue;  // more than 1 % away
    if (!best || llDistance < llBestDistance) {
      best = k;
      llBestDistance = llDistance;
    }
  }
  return best;
}

std::optional<unsigned> RateCodeFromFps(double fps) {
  for (unsigned k = 0; k < RATE_CODE_COUNT; ++k)
    if (RateFromCode(k) == fps) return k;
  return std::nullopt;
}

}  // namespace vcam
