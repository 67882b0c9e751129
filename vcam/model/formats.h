// The IIDC video formats as data: colour codings, the Format 0-2 mode table
// and the frame-rate codes, with the conversions the capture filter needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vcam {

enum ColorCoding : std::uint32_t {
  COLOR_MONO8 = 0,
  COLOR_YUV411 = 1,
  COLOR_YUV422 = 2,
  COLOR_YUV444 = 3,
  COLOR_RGB8 = 4,
  COLOR_MONO16 = 5,
  COLOR_RGB16 = 6,
  COLOR_CODING_COUNT = 7,  // codings 0-6, the ones a stream is sent in
  // Bayer sensor data of Format 7, sent as Mono8 and Mono16 data.
  COLOR_RAW8 = 9,
  COLOR_RAW16 = 10
};

// The colour filter over a Bayer sensor's pixels, named by its top-left 2x2
// tile and numbered as the Format 7 COLOR_FILTER_ID register numbers them.
enum ColorFilter : std::uint32_t {
  FILTER_RGGB = 0,
  FILTER_GBRG = 1,
  FILTER_GRBG = 2,
  FILTER_BGGR = 3,
  FILTER_NONE = 4  // a monochrome sensor
};

struct StandardMode {
  std::uint32_t nColor;
  std::uint32_t nWidth;
  std::uint32_t nHeight;
  std::uint32_t nBitsPerPixel;
};

constexpr std::uint32_t FORMAT_7 = 7;
constexpr std::uint32_t STANDARD_FORMATS = 3;  // Formats 0, 1, 2
constexpr std::uint32_t MODES_PER_FORMAT = 8;
constexpr unsigned RATE_CODE_COUNT = 8;  // 1.875 * 2^k frames per second

// Row format * 8 + mode of the IIDC standard mode table, or nullopt for a
// format/mode outside Formats 0-2 or a mode the table leaves empty.
std::optional<StandardMode> LookUpStandardMode(std::uint32_t nFormat, std::uint32_t nMode);

// Bytes per isochronous packet of a Format 0-2 mode at a frame-rate code: the
// IIDC table, each faster code doubling the packet; nullopt where that gives
// no whole number of quadlets. Whether a bus speed carries it is not checked.
std::optional<std::uint32_t> StandardPacketBytes(std::uint32_t nFormat, std::uint32_t nMode, unsigned nRateCode);

std::uint32_t BitsPerPixel(std::uint32_t nColor);  // 0 for an unknown coding
bool IsKnownColorCoding(std::uint32_t nColor);     // 0-6, RAW8 and RAW16
// The coding whose layout the stream carries: Mono8 for RAW8, Mono16 for
// RAW16, the coding itself otherwise.
std::uint32_t StreamColor(std::uint32_t nColor);
std::uint64_t FrameBytes(std::uint32_t nColor, std::uint32_t nWidth, std::uint32_t nHeight);

std::string_view ColorCodingName(std::uint32_t nColor);  // "Mono8", ..., "Raw16"; "" if unknown
std::optional<std::uint32_t> ColorCodingFromName(std::string_view name);

// "RGGB", "GBRG", "GRBG", "BGGR"; "" for FILTER_NONE and anything unknown.
std::string_view ColorFilterName(std::uint32_t nFilter);
std::optional<std::uint32_t> ColorFilterFromName(std::string_view name);
// The filter as seen from pixel (nLeft, nTop) of the sensor on: an odd
// column swaps the colours within each row, an odd row swaps the rows.
constexpr std::uint32_t ShiftFilter(std::uint32_t nFilter, std::uint32_t nLeft, std::uint32_t nTop) {
  return nFilter >= FILTER_NONE ? nFilter : nFilter ^ (nLeft & 1) << 1 ^ (nTop & 1);
}
// Whether a coding sends the sensor's samples as they are: behind a colour
// filter, Mono8, Mono16, Raw8 and Raw16 frames are Bayer mosaics.
bool IsSensorCoding(std::uint32_t nColor);
// The BAYER_TILE_MAPPING register's four ASCII letters, the first in the
// most significant byte: the filter's name, "YYYY" for none; and back
// (nullopt for a value that names no filter, "YYYY" included).
std::uint32_t TileMappingOf(std::uint32_t nFilter);
std::optional<std::uint32_t> FilterOfTileMapping(std::uint32_t dwMapping);

// First 32-bit field of the media subtype GUID for a colour coding: Mono8 is
// MEDIASUBTYPE_RGB8 (0xE436EB7A, a full non-FOURCC GUID), codes 1-4 the FOURCC
// GUIDs "IYU1", "UYVY", "IYU2", "RGB8", Mono16 the FOURCC template with 0.
// nullopt for RGB16, which has no subtype.
std::optional<std::uint32_t> SubtypeFirstField(std::uint32_t nColor);

// Frame-rate codes.
double RateFromCode(unsigned nCode);                 // 1.875 * 2^code
std::int64_t IntervalFromCode(unsigned nCode);       // 100-ns units, truncated
// The code in dwRateMask (IIDC bit k = code k) whose interval is nearest to
// llInterval and within 1 %; 0 or a negative interval picks the fastest code.
std::optional<unsigned> RateCodeForInterval(std::int64_t llInterval, std::uint32_t dwRateMask);
std::optional<unsigned> RateCodeFromFps(double fps);  // exact table value only
std::optional<unsigned> FastestRateCode(std::uint32_t dwRateMask);

// 125 us isochronous cycles, in 100-ns units: the Format 7 frame period is
// one cycle per packet.
constexpr std::int64_t ISO_CYCLE_100NS = 1250;

}  // namespace vcam
