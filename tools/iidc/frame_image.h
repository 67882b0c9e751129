// Pictures from the library's frame buffers.
#pragma once

#include <cstdint>
#include <optional>

#include "demosaic.h"
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

// A frame of one sample per pixel (Mono8, Mono16, RAW8, RAW16), rows
// bottom row first when bBottomUp: in colour, demosaiced by method through
// filter, the filter of the picture's own top-left pixel; without a filter
// or a method, the grey picture of its samples.
CImage ImageFromMosaic(const uint8_t* pFrame, int nColor, int nWidth, int nHeight, bool bBottomUp,
                       std::optional<BayerFilter> filter, std::optional<DemosaicMethod> method);

// Bytes of one raw frame of a coding; 0 for an unknown coding.
std::size_t RawFrameBytes(int nColor, int nWidth, int nHeight);

}  // namespace iidctool
