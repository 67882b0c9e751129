// The colour image a raw IIDC frame should become, worked out pixel by pixel
// from the defined formulas, independently of the library's converters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bytes of one output row: 3 x width padded to a multiple of 4.
std::size_t ImageStride(int nWidth);

// The bottom-up blue-green-red image of a frame of colour code nColour
// (Mono8, YUV411, YUV422, YUV444 or Mono16) whose rows each start on a whole
// chroma unit; padding bytes are zero.
std::vector<std::uint8_t> ExpectedImage(int nColour, const std::uint8_t* pFrame, int nWidth, int nHeight,
                                        bool bFloatYuv);
