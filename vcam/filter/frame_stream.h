// The virtual camera's streaming thread: one sample per frame, paced by the
// camera's frame clock, filled with the camera's test pattern and sent
// through the output pin.
//
// Row order. The pattern is drawn in the camera's order, top row first. Mono8
// travels as MEDIASUBTYPE_RGB8, which DirectShow reads as a bottom-up bitmap,
// so without VideoControlFlag_FlipVertical Mono8 rows are sent bottom row
// first and with the flag in the camera's order. Every other coding is sent
// in the camera's order, and the flag reverses its rows as well.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <thread>

#include "drivers/face/camera_stream.h"
#include "vcam/model/pattern.h"
#include "winapi.h"

namespace vcam {

class CCameraModel;
class CCameraPin;
class CVcamFilter;

class CFrameStream final : public CCameraStream {
 public:
  CFrameStream(CVcamFilter* pFilter, CCameraPin* pPin);
  ~CFrameStream() override;

  // CCameraStream: Start fails (VCAM_E_BUSY) only while another process
  // streams the camera; the clock's waits and a wait for a trigger end on a
  // stop request. The camera is held from Start to Stop.
  HRESULT Start() override;
  void Stop() override;
  void RequestStop() override;
  void ResetCounters() override;

  // The sequence number the next frame will carry.
  std::uint32_t NextSequence() const { return m_nSequence.load(std::memory_order_acquire); }

 private:
  void Run(std::stop_token stop);
  // One frame due at llDue: false when the stream must end.
  bool DeliverFrame(CCameraModel& camera, std::int64_t llDue, std::int64_t llOrigin);
  void WaitUntilStopped(std::stop_token stop);

  CVcamFilter* const m_pFilter;  // uncounted: the filter owns this object
  CCameraPin* const m_pPin;      // uncounted: part of the filter

  std::jthread m_thread;  // application thread only
  std::shared_ptr<CCameraModel> m_pClaimed;  // the camera whose stream is ours; application thread only
  // Streaming thread only.
  CPatternPainter m_painter;
  // Written by the streaming thread, read by any.
  std::atomic<std::uint32_t> m_nSequence{0};
};

}  // namespace vcam
