// What a front end can tell of each frame it takes from a running capture,
// from the library's transfer figures: the camera's number for it (frames
// since capture started, from 0), when it arrived on the host's monotonic
// clock, and how many frames the camera delivered that were never taken.
#pragma once

#include <cstdint>

namespace iidccam {

struct FrameStamp {
  int64_t nNumber = 0;
  int64_t nArrivalNs = 0;  // the monotonic clock (MonotonicNs)
  int64_t nDropped = 0;    // frames passed over since capture started, this one's gap included
};

// Nanoseconds on the host's monotonic clock (CLOCK_MONOTONIC on Linux).
int64_t MonotonicNs();

class CFrameTally {
 public:
  // The newest frame, taken when the transfer figures counted nFrameCount
  // frames. The count includes a frame still being copied into the ring but
  // may miss one that came as capture started, so numbers only grow.
  FrameStamp Take(int32_t nFrameCount, int64_t nArrivalNs);
  int64_t Dropped() const { return m_nDropped; }

 private:
  int64_t m_nNumber = -1;  // the last frame taken
  int64_t m_nDropped = 0;
};

}  // namespace iidccam
