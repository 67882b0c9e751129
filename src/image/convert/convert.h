// Conversion of raw IIDC frames into 24-bit colour images.
//
// Output: 3 bytes per pixel in the order blue, green, red; rows of 3 x width
// bytes padded with zero bytes to the next multiple of 4; rows stored
// bottom-up, so the top row of the picture is the last row in memory (the
// layout of a bottom-up 24-bit device-independent bitmap).
//
// Input: the frame's rows one after another without padding. A row of
// YUV422 or YUV411 that ends inside a chroma unit (2 pixels in 4 bytes,
// 4 pixels in 6 bytes) still occupies the whole unit, so every row starts on
// a unit. Mono16 samples are big-endian (most significant byte first, as the
// camera sends them) and each maps to its most significant byte.
//
// YUV: with bFloatYuv the colour terms are the double-precision formula
//   blue  = Y + trunc(1.771 U')
//   green = Y + trunc(-0.7144 V' - 0.3457 U')
//   red   = Y + trunc(1.4022 V')
// otherwise the integer approximation
//   blue = Y + U', green = Y - ((V' >> 1) + ((41 U') >> 8)), red = Y + V'
// with U' = U - 128, V' = V - 128, arithmetic shifts, each result clamped to
// 0-255.
//
// Every frame function returns true when the whole image was written. It
// returns false and writes nothing when a pointer is null, a size is
// negative, the source holds fewer bytes than the frame needs or the output
// holds fewer than Bgr24ImageSize(width, height): the image is written whole
// or not at all, so when a row would not fit, no row is written. A caller that wants what fits converts a
// smaller height: the result is then the bottom-up image of the top rows of
// the frame. With valid pointers, a width or height of 0 is an empty image:
// nothing is read or written and the result is true.
//
// Calls may run on several threads at once when their outputs do not overlap.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of one output row: 3 x width rounded up to a multiple of 4; 0 for a
// negative width.
size_t Bgr24Stride(int nWidth);
// Bytes of a whole output image; 0 for a negative size.
size_t Bgr24ImageSize(int nWidth, int nHeight);

bool Mono8ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst,
                  int nWidth, int nHeight);
bool Mono16ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst,
                   int nWidth, int nHeight);
bool Yuv411ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst,
                   int nWidth, int nHeight, bool bFloatYuv);
bool Yuv422ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst,
                   int nWidth, int nHeight, bool bFloatYuv);
bool Yuv444ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst,
                   int nWidth, int nHeight, bool bFloatYuv);
