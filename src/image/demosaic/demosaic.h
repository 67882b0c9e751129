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
// writing nothing, when a pointer is null, a size is negative or above
// 2^31 - 9 (the mirrored borders index past the edges), a stride is
// shorter than a row or a buffer shorter than the image (the last row needs
// only its own bytes, not a whole stride), the output stride of 16-bit
// samples is odd, or the filter or method is not one of the enums' values.
// An image with a width or height of 0 (and pointers that are not null) is
// empty: nothing is read or written, the result is true.
//
// Methods. Each output pixel keeps its own sample and estimates the two
// missing colours from its neighbours:
//   nearest   copies them from the 2x2 square that starts at the pixel (the
//             pixel, its right, lower and lower-right neighbours);
//   bilinear  averages the two or four nearest samples of the colour:
//             (a + b + 1) >> 1 and (a + b + c + d + 2) >> 2;
//   hq        gradient-corrected linear interpolation (Malvar, He and
//             Cutler, 2004): the bilinear estimate plus a fraction of the
//             difference between the pixel's own colour and its average
//             around it, with the published 5x5 weights. In sixteenths:
//             green at red or blue: 8 own + 4 (the four greens beside) -
//             2 (the four own samples two away); red at blue and blue at
//             red: 12 own + 4 (the four diagonal samples) - 3 (the four
//             own samples two away); at green, the colour of the left and
//             right neighbours: 10 green + 8 (left + right) - 2 (the four
//             diagonal greens + the two greens two left and right) + (the
//             two greens two up and down), and the same turned by 90
//             degrees for the colour above and below.
// Rounding: every weighted sum s in sixteenths gives (s + 8) >> 4 (halves
// round up, arithmetic shift), clamped to 0..255 or 0..65535. 16-bit
// samples use the same formulas on their full range.
//
// Borders: the image is mirrored about its edge pixels (reflect-101:
// column -1 is column 1, column w is column w - 2; rows alike), which keeps
// the filter phase, so every pixel, the two-pixel border included, gets the
// same formula. An image one pixel wide (or high) mirrors onto that pixel:
// its missing colours come from the samples it has. Nothing outside the
// image is read.
//
// Speed: the kernels are chosen once per process from the processor's
// features (AVX-512BW with VBMI, AVX2, SSSE3, else scalar); all give the
// same bytes. Vectorised: every method for 8- and 16-bit samples, except hq
// on 16-bit samples with SSSE3 alone (scalar there).
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
