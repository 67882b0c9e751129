// A camera filter's streaming thread, as the filter (camera_filter.h) drives
// it: each driver brings frames its own way (the virtual camera paints them
// on its clock, libdc1394's driver takes them from the bus) and counts them
// here for IAMDroppedFrames.
#pragma once

#include <atomic>

#include "winapi.h"

namespace vcam {

class CCameraStream {
 public:
  virtual ~CCameraStream() = default;
  CCameraStream(const CCameraStream&) = delete;
  CCameraStream& operator=(const CCameraStream&) = delete;

  // Application thread, under the filter's state lock. Start begins a thread
  // that delivers until Stop (a failure is returned and nothing runs); Stop
  // returns once the thread has ended, also while it waits for a frame or a
  // buffer (the pin's allocator must have been decommitted first, which the
  // filter base does).
  virtual HRESULT Start() = 0;
  virtual void Stop() = 0;
  // Asks the thread to end without waiting for it: it may be held in a
  // paused downstream filter until the graph stops or runs that filter.
  virtual void RequestStop() = 0;
  // Counters start again with each stream (stopped -> paused).
  virtual void ResetCounters() {
    m_nDelivered.store(0, std::memory_order_release);
    m_nDropped.store(0, std::memory_order_release);
  }

  LONG Delivered() const { return m_nDelivered.load(std::memory_order_acquire); }
  LONG Dropped() const { return m_nDropped.load(std::memory_order_acquire); }

 protected:
  CCameraStream() = default;

  // Written by the streaming thread, read by any. A frame sent downstream
  // counts as delivered whatever downstream makes of it.
  std::atomic<LONG> m_nDelivered{0};
  std::atomic<LONG> m_nDropped{0};
};

}  // namespace vcam
