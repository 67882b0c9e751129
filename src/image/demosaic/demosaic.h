// Demosaicing of images taken through a colour filter array (Bayer mosaic).
//
// Input: one sample per pixel, rows cbSrcStride bytes apart, top row first.
// 8-bit samples are bytes; 16-bit samples are two bytes each, big-endian
// (most significant byte first, as cameras send them) unless bLittleEndian.
// The filter names the colours of the image's own top-left 2x2 tile, read
// row by row: RGGB is red at (0,0), green at (1,0) and (0,1), blue at (1,1).
//
// Output: three samples per pixel, top row first, rows cbDstStride bytes
// apart; bytes for 8-bit input, native-order uint16 for 16-bit input (48-bit
// colour); in the order blue, green, red or red, green, blue.
//
// Every function returns true when the whole image was written, and false,
// writing nothing, when a pointer is null, a size is negative, a stride is
// shorter than a row or a buffer shorter than the image. An image with a
// width or height of 0 is empty: nothing is read or written, the result is
// true.
//
// Calls may run on several threads at once when their outputs do not overlap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// In the order of the camera's colour filter register (its top byte).
enum class BayerFilter : uint8_t { Rggb, Gbrg, Grbg, Bggr };
constexpr int BAYER_FILTER_COUNT = 4;

enum class DemosaicMethod { Nearest, Bilinear, HighQuality };
enum class ColourOrder { Bgr, Rgb };

// "RGGB", "GBRG", "GRBG", "BGGR"; and back, in either case (nullopt for
// anything else).
std::string_view BayerFilterName(BayerFilter filter);
std::optional<BayerFilter> ParseBayerFilter(std::string_view text);
// "nearest", "bilinear", "hq"; and back.
std::string_view DemosaicMethodName(DemosaicMethod method);
std::optional<DemosaicMethod> ParseDemosaicMethod(std::string_view text);

// The filter of an image that starts nLeft columns and nTop rows into a
// sensor whose top-left tile is filter: odd offsets change the phase.
BayerFilter ShiftBayerFilter(BayerFilter filter, uint32_t nLeft, uint32_t nTop);

bool Demosaic8(const uint8_t* pSrc, size_t cbSrc, size_t cbSrcStride, uint8_t* pDst, size_t cbDst,
               size_t cbDstStride, int nWidth, int nHeight, BayerFilter filter,
               DemosaicMethod method, ColourOrder order);
bool Demosaic16(const uint8_t* pSrc, size_t cbSrc, size_t cbSrcStride, bool bLittleEndian,
                uint16_t* pDst, size_t cbDst, size_t cbDstStride, int nWidth, int nHeight,
                BayerFilter filter, DemosaicMethod method, ColourOrder order);
