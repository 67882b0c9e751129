// Caps of the IIDC formats: what a camera's catalogue offers, the stream that
// fixed caps choose, and where a frame's rows go in a buffer of those caps.
//
//   Mono8 -> GRAY8, Mono16 -> GRAY16_BE, YUV411 -> IYU1, YUV422 -> UYVY,
//   YUV444 -> IYU2, RGB8 -> RGB. RGB16 (48-bit RGB, Format 7 only) has no
//   GStreamer format and is left out.
//
// A standard mode offers its size at the rates the camera lists; a Format 7
// mode every size its steps allow up to its largest, with a variable frame
// rate (0/1), since its rate follows the packet size.
#pragma once

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "camera.h"

namespace iidcgst {

// Every format the source can deliver.
GstCaps* TemplateCaps();
// What a catalogue offers, in its order.
GstCaps* CapsOfCatalogue(const std::vector<iidctool::FormatEntry>& formats);
// Fixes caps (taking them) on their first structure: the largest picture at
// the fastest rate.
GstCaps* FixateCaps(GstCaps* caps);
// The catalogue entry that fixed caps describe; a Format 7 area is centred on
// the sensor. Nothing when no entry fits.
std::optional<StreamChoice> ChooseStream(const std::vector<iidctool::FormatEntry>& formats, const GstCaps* caps);

// Where a camera frame's rows go in a buffer of fixed caps. The camera packs
// its rows; GStreamer may pad them.
struct FrameLayout {
  std::size_t cbRow = 0;  // one row of the camera's frame
  int nRows = 0;
  std::size_t nStride = 0;    // one row of the buffer
  std::size_t cbBuffer = 0;
  bool bBottomUp = false;     // the frame holds its bottom row first

  std::size_t FrameBytes() const { return cbRow * std::size_t(nRows); }
  // Whether the frame can go downstream as it lies.
  bool InPlace() const { return !bBottomUp && nStride == cbRow && cbBuffer == FrameBytes(); }
};
std::optional<FrameLayout> LayoutOf(const GstCaps* caps, bool bBottomUp);
// Copies the frame's rows top row first into pBuffer (cbBuffer bytes).
void CopyRows(const uint8_t* pFrame, const FrameLayout& layout, uint8_t* pBuffer);

}  // namespace iidcgst
