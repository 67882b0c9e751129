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
#include <gst/video/video.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "camera.h"

namespace iidcgst {

// Every format the source can deliver.
GstCaps* TemplateCaps();
// What a catalogue offers, in its order.
GstCaps* CapsOfCatalogue(const std::vector<iidccam::FormatEntry>& formats);
// Fixes caps (taking them) on their first structure: the largest picture at
// the fastest rate.
GstCaps* FixateCaps(GstCaps* caps);
// Where a Format 7 area lies on the sensor: -1 centres it (on the mode's
// position steps).
struct AreaOffset {
  int nLeft = -1, nTop = -1;
};
// The catalogue entry that fixed caps describe, with a Format 7 area at
// offset. Nothing when no entry fits; Settings when the offset does not fit
// the mode that does.
std::optional<StreamChoice> ChooseStream(const std::vector<iidccam::FormatEntry>& formats, const GstCaps* caps,
                                         AreaOffset offset = {});

// How a camera frame becomes a buffer of fixed caps: the camera packs its
// rows (and sends Mono8 of Format 7 bottom row first); GStreamer's layout,
// from GstVideoInfo or a buffer's GstVideoMeta, may pad them.
struct FrameLayout {
  GstVideoInfo info;
  std::size_t cbRow = 0;   // one row of the camera's frame
  bool bBottomUp = false;  // the frame holds its bottom row first

  std::size_t FrameBytes() const { return cbRow * std::size_t(GST_VIDEO_INFO_HEIGHT(&info)); }
  // Whether the frame can go downstream as it lies.
  bool InPlace() const
  {
      return !bBottomUp && std::size_t(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0)) == cbRow
             && GST_VIDEO_INFO_SIZE(&info) == FrameBytes();
  }
};
std::optional<FrameLayout> LayoutOf(const GstCaps* caps, bool bBottomUp);
// Copies the frame's rows top row first into a mapped video frame, at its
// strides.
void CopyRows(const uint8_t* pFrame, const FrameLayout& layout, GstVideoFrame* pTarget);

}  // namespace iidcgst
