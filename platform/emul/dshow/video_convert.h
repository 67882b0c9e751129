// The video renderer's own colour conversion: a sample of a connected video
// type turned into 0x00RRGGBB pixels, top row first, ready to draw.
//
// Kept apart from the library's converters on purpose: the emulation sits
// below the library, and a renderer converts whatever type it is connected
// with (DIB row order and padding included), not the library's frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "winapi.h"

namespace emul {

enum class VideoCoding {
  Grey8,   // MEDIASUBTYPE_RGB8 as the cameras send it: one luminance byte
  Rgb24,   // MEDIASUBTYPE_RGB24: blue, green, red
  Rgb32,   // MEDIASUBTYPE_RGB32: blue, green, red, unused
  Yuv411,  // "IYU1": U Y Y V Y Y per four pixels
  Yuv422,  // "UYVY": U Y V Y per two pixels
  Yuv444,  // "IYU2": U Y V per pixel
  Rgb8x3,  // "RGB8": red, green, blue per pixel
  Mono16,  // FOURCC template with a first field of 0: big-endian 16 bits
  Rgb16x3, // "RG16": red, green, blue, each big-endian 16 bits
};

struct CVideoLayout {
  VideoCoding coding = VideoCoding::Grey8;
  int nWidth = 0;
  int nHeight = 0;
  bool bBottomUp = false;  // the last row in memory is the top of the picture
  size_t cbStride = 0;     // bytes from one row to the next
  size_t FrameBytes() const { return cbStride * static_cast<size_t>(nHeight); }
};

// The layout of a video type the renderer can draw, or nothing. The RGB
// subtypes are device-independent bitmaps (rows padded to 4 bytes, bottom-up
// unless the height is negative); the FOURCC codings are top-down and
// unpadded, a row of YUV411 or YUV422 taking whole chroma units.
std::optional<CVideoLayout> DescribeVideo(const AM_MEDIA_TYPE& mt);

// Converts one sample of that layout into nWidth x nHeight pixels; false,
// writing nothing, when the sample is shorter than a frame.
bool ConvertToRgb(const CVideoLayout& layout, const BYTE* pSample, size_t cbSample, std::uint32_t* pPixels);

}  // namespace emul
