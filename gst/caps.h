// Caps of the IIDC formats: what a camera's catalogue offers, the stream that
// fixed caps choose, and where a frame's rows go in a buffer of those caps.
//
//   Mono8 -> GRAY8, Mono16 -> GRAY16_BE, YUV411 -> IYU1, YUV422 -> UYVY,
//   YUV444 -> IYU2, RGB8 -> RGB, RAW8 -> GRAY8, RAW16 -> GRAY16_BE. RGB16
//   (48-bit RGB, Format 7 only) has no GStreamer format and is left out.
//
// A mode behind a colour filter (bayer_filter.h) is offered first as
// video/x-bayer in the image's own phase (rggb, gbrg, grbg, bggr; for 16-bit
// samples rggb16be ..., the camera's big-endian words as they come), then as
// grey; with a demosaicing method, first of all as BGR and RGB (16-bit
// mosaics by their high bytes). The phase of a Format 7 area follows its
// position: the caps assume the offset properties, or the area at 0, 0; a
// centred area steps back by an odd position step to keep the phase fixed
// caps ask for, and caps whose phase the area cannot have are refused.
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
// Where a Format 7 area lies on the sensor: -1 centres it (on the mode's
// position steps).
struct AreaOffset {
  int nLeft = -1, nTop = -1;
};
// What the source makes of mosaics: the sensor's filter of each catalogue
// entry (nothing: grey), and the method that demosaics them (nothing: the
// mosaic goes as it is).
struct MosaicSettings {
  std::vector<std::optional<BayerFilter>> filters;
  std::optional<DemosaicMethod> method;
};
// What a catalogue offers, in its order.
GstCaps* CapsOfCatalogue(const std::vector<iidccam::FormatEntry>& formats, const MosaicSettings& mosaics = {},
                         AreaOffset offset = {});
// Fixes caps (taking them) on their first structure: the largest picture at
// the fastest rate.
GstCaps* FixateCaps(GstCaps* caps);
// The catalogue entry that fixed caps describe, with a Format 7 area at
// offset. Nothing when no entry fits; Settings when the offset does not fit
// the mode that does, or gives the area another phase than the caps.
std::optional<StreamChoice> ChooseStream(const std::vector<iidccam::FormatEntry>& formats, const GstCaps* caps,
                                         AreaOffset offset = {}, const MosaicSettings& mosaics = {});

// How a camera frame becomes a buffer of fixed caps: the camera packs its
// rows (and sends Mono8 of Format 7 bottom row first); GStreamer's layout,
// from GstVideoInfo or a buffer's GstVideoMeta, may pad them.
struct FrameLayout {
  GstVideoInfo info;       // x-bayer: the grey layout of the same samples
  std::size_t cbRow = 0;   // one row of the camera's frame
  bool bBottomUp = false;  // the frame holds its bottom row first
  StreamChoice choice;     // demosaiced when it has a method

  std::size_t FrameBytes() const { return cbRow * std::size_t(GST_VIDEO_INFO_HEIGHT(&info)); }
  // Whether the frame can go downstream as it lies.
  bool InPlace() const
  {
      return !bBottomUp && !choice.method && std::size_t(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0)) == cbRow
             && GST_VIDEO_INFO_SIZE(&info) == FrameBytes();
  }
};
std::optional<FrameLayout> LayoutOf(const GstCaps* caps, const StreamChoice& choice, bool bBottomUp);
// Copies (or demosaics) the frame's rows top row first into a mapped video
// frame, at its strides.
void CopyRows(const uint8_t* pFrame, const FrameLayout& layout, GstVideoFrame* pTarget);

}  // namespace iidcgst
