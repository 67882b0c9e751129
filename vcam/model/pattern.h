// The test pattern of virtual cameras, in the IIDC byte layouts:
//   Mono8   Y                         (1 byte per pixel)
//   Mono16  Y16, most significant byte first
//   YUV411  U Y0 Y1 V Y2 Y3           (6 bytes per 4 pixels)
//   YUV422  U Y0 V Y1                 (4 bytes per 2 pixels)
//   YUV444  U Y V                     (3 bytes per pixel)
//   RGB8    R G B                     (3 bytes per pixel)
//   RGB16   R16 G16 B16, each most significant byte first
// Pixels run in raster order; chroma groups (2 or 4 pixels) follow that order,
// so a width that is not a multiple of the group still gives a defined frame.
//
// The picture moves every frame: luma is a diagonal ramp shifted by the
// sequence number; chroma is eight vertical bars, 16 pixels wide.
//
// A camera with a colour filter (formats.h, ColorFilter) sends the pattern's
// colours through it in its Mono8, Mono16, Raw8 and Raw16 frames: each pixel
// is the r, g or b of PatternAt that its filter colour passes, a 16-bit
// sample being c * 257 as in RGB16.
//
// Freshness: bytes 0-3 of every frame hold the frame's 32-bit sequence number,
// least significant byte first (as many of them as the frame has).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "vcam/model/formats.h"

namespace vcam {

struct PatternPixel {
  std::uint8_t y, u, v;  // YUV codings and Mono8
  std::uint8_t r, g, b;  // RGB codings (16-bit samples repeat the byte: c * 257)
  std::uint16_t y16;     // Mono16
};

// The pattern's value at pixel (x, y) of frame nSequence.
PatternPixel PatternAt(std::uint32_t x, std::uint32_t y, std::uint32_t nSequence);

// Draws frame nSequence into pFrame: the frame's bytes (FrameBytes of the
// coding and size) or fewer if the buffer is shorter; bytes of a longer buffer
// beyond the frame are left as they are. nFilter is the filter at the
// frame's top-left pixel; codings other than the sensor's ignore it. False
// for an unknown colour coding.
bool DrawTestPattern(std::uint32_t nColor, std::uint32_t nWidth, std::uint32_t nHeight, std::uint32_t nSequence,
                     std::span<std::uint8_t> frame, std::uint32_t nFilter = FILTER_NONE);

// The sequence number a frame carries (missing bytes read as zero).
std::uint32_t FrameSequence(std::span<const std::uint8_t> frame);

// Draws frame after frame at the speed of a memory copy, byte for byte what
// DrawTestPattern draws. Rows repeat every 256 rows, and from one frame to the
// next every byte moves by a fixed step (luma +1, blue -1, the rest 0; a
// mosaic's steps alternate from row to row with its samples), so a
// frame is the first 256 rows of frame 0 with each byte advanced by its step
// times the sequence number, the rows below copied from 256 rows above. Those
// rows of frame 0 are drawn once per frame shape, pixel by pixel. Shapes
// whose rows split chroma groups, and buffers shorter than the frame, take
// DrawTestPattern itself.
//
// It keeps its rows between calls: one object per streaming thread.
class CPatternPainter {
 public:
  // Draws frame nSequence into frame as DrawTestPattern does; with
  // bReverseRows the rows of a frame that fits whole are stored last row
  // first (the sequence number then starts the last row in memory). False for
  // an unknown colour coding.
  bool Draw(std::uint32_t nColor, std::uint32_t nWidth, std::uint32_t nHeight, std::uint32_t nSequence,
            std::span<std::uint8_t> frame, bool bReverseRows = false, std::uint32_t nFilter = FILTER_NONE);

 private:
  // Makes the rows of the shape ready; false when the shape takes the
  // per-pixel path (or there is no memory for its rows).
  bool HoldPeriod(std::uint32_t nColor, std::uint32_t nFilter, std::uint32_t nWidth, std::uint32_t nRows);

  std::uint32_t m_nColor = 0, m_nFilter = FILTER_NONE, m_nWidth = 0, m_nRows = 0;  // the shape held; 0 rows: none
  std::vector<std::uint8_t> m_period;   // rows 0 to m_nRows - 1 of frame 0, unstamped
  std::vector<std::uint8_t> m_step;     // what one frame adds to each byte of rows 0 and 1
  std::vector<std::uint8_t> m_advance;  // m_step times the sequence number being drawn
};

}  // namespace vcam
