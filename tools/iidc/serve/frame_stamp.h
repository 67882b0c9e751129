// Each frame's number and capture time on the wire: every RTP packet of a
// served frame carries them in a one-byte-header extension (RFC 8285) of
// id FRAME_STAMP_ID, 16 bytes: the camera's frame number, then the capture
// time in nanoseconds since the Unix epoch, both unsigned 64-bit big-endian.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <optional>

namespace iidctool {

constexpr guint8 FRAME_STAMP_ID = 1;

struct FrameStamp {
  uint64_t nNumber = 0;
  uint64_t nCaptureNs = 0;  // Unix time
};

// Stamps every RTP packet that pay0 of a media's bin sends with the number
// and capture time of the frame from "src" it carries (matched by running time).
void StampFrames(GstElement* bin);

// The stamp of an RTP packet; none when it has none.
std::optional<FrameStamp> ReadFrameStamp(GstBuffer* rtp);

}  // namespace iidctool
