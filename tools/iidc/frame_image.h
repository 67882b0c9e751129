// Pictures from the library's frame buffers.
#pragma once

#include <cstdint>
#include <optional>

#include "image.h"

namespace iidctool {

// A bottom-up 24-bit BGR image with rows padded to 4 bytes, as iidc_lockbits
// delivers it.
CImage ImageFromBottomUpBgr(const uint8_t* pBits, int nWidth, int nHeight);

// The grey picture of a colour picture whose channels are equal.
CImage GreyOf(const CImage& image);

// A raw frame of a coding that needs no colour conversion (Mono8, Mono16,
// RGB8, RGB16), rows top-down; nothing for the YUV codings.
std::optional<CImage> ImageFromRawFrame(const uint8_t* pFrame, int nColor, int nWidth, int nHeight);

// Bytes of one raw frame of a coding; 0 for an unknown coding.
std::size_t RawFrameBytes(int nColor, int nWidth, int nHeight);

}  // namespace iidctool
