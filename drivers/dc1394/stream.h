// The dc1394 capture filter's streaming thread: frames from libdc1394's DMA
// ring, one sample each, in the bytes and row order the virtual camera's
// filter sends (vcam/filter/frame_stream.h: Mono8 bottom row first unless
// VideoControlFlag_FlipVertical, every other coding in the camera's order).
//
// The thread waits in poll() on the ring's file and on a stop event, so no
// wait outlasts a stop, and a camera that leaves the bus ends the wait too:
// the filter then reports EC_DEVICE_LOST once and sends nothing more.
//
// Frames dropped are frames the camera sent that never became samples:
// skipped on the bus (a gap in the frames' time stamps while the trigger is
// off), or too large for the connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "winapi.h"
#include "drivers/face/camera_stream.h"

namespace vcam {
class CCameraPin;
}

namespace dc1394drv {

class CDc1394Filter;

class CDc1394Stream final : public vcam::CCameraStream {
 public:
  CDc1394Stream(CDc1394Filter* pFilter, vcam::CCameraPin* pPin);
  ~CDc1394Stream() override;

  // CCameraStream. Start sets up capture (a failure is returned and nothing
  // runs) and starts the thread; Stop ends the thread, then switches
  // transmission off and gives the ring, channel and bandwidth back.
  HRESULT Start() override;
  void Stop() override;
  void RequestStop() override;
  void ResetCounters() override;

  // Frames taken from the ring while the next one was already waiting.
  LONG Behind() const { return m_nBehind.load(std::memory_order_acquire); }

 private:
  void Run();
  // One frame from the ring into a sample: false when the stream must end.
  bool DeliverFrame();
  void CountGap(std::uint64_t qwTimestamp, std::int64_t llInterval);
  // Waits for the stop event; true when it came, false when fd came first.
  bool WaitForStop(int fd);

  CDc1394Filter* const m_pFilter;  // uncounted: the filter owns this object
  vcam::CCameraPin* const m_pPin;  // uncounted: part of the filter
  const int m_nStopEvent;          // an eventfd, readable once a stop is asked

  std::thread m_thread;  // application thread only
  // Streaming thread only (set by Start before the thread begins).
  std::uint64_t m_qwFirstTimestamp = 0, m_qwLastTimestamp = 0;
  bool m_bFirst = true;
  std::int64_t m_llInterval = 0;  // the frame period of the mode at Start
  // Written by the streaming thread, read by any.
  std::atomic<LONG> m_nBehind{0};
};

}  // namespace dc1394drv
