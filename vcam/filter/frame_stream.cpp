#include "vcam/filter/frame_stream.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "base/barrier.h"
#include "base/com_ptr.h"
#include "drivers/face/camera_pin.h"
#include "vcam/filter/capture_filter.h"
#include "vcam/model/clock.h"
#include "vcam/model/camera_model.h"
#include "vcam/model/pattern.h"

namespace vcam {
namespace {

// When the registers select no stream at all the thread still paces itself,
// at the slowest standard rate, until a valid mode returns or Stop.
constexpr std::int64_t IDLE_INTERVAL = 5333333;

}  // namespace

CFrameStream::CFrameStream(CVcamFilter* pFilter, CCameraPin* pPin) : m_pFilter(pFilter), m_pPin(pPin) {}

CFrameStream::~CFrameStream() { Stop(); }

void CFrameStream::ResetCounters() {
  CCameraStream::ResetCounters();
  m_nSequence.store(0, std::memory_order_release);
}

HRESULT CFrameStream::Start() {
  Stop();
  if (!m_pFilter->Camera().ClaimStream()) {
    return VCAM_E_BUSY;
  }
  m_pClaimed = m_pFilter->CameraShared();
  m_thread = std::jthread([this](std::stop_token stop) {
    // Nothing thrown on the streaming thread may end the process: an
    // exception ends the stream as a failed delivery does, and the graph is
    // told that the stream broke off.
    const HRESULT hr = ComBarrier([&] {
      Run(std::move(stop));
      return S_OK;
    });
    if (FAILED(hr)) {
      m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
    }
  });
  return S_OK;
}

void CFrameStream::RequestStop() {
  if (m_thread.joinable()) {
    m_thread.request_stop();
  }
}

// The clock's waits and WaitUntilStopped end on the stop request; a wait for
// a buffer ends because the pin's allocator was decommitted before this.
void CFrameStream::Stop() {
  if (m_thread.joinable()) {
    m_thread.request_stop();
    m_thread.join();
  }
  if (m_pClaimed) {
    m_pClaimed->ReleaseStream();
    m_pClaimed.reset();
  }
}

void CFrameStream::Run(std::stop_token stop) {
  // The filter's camera cannot change while it streams.
  CCameraModel& camera = m_pFilter->Camera();
  const std::shared_ptr<CFrameClock>& pClock = camera.Clock();
  const std::int64_t llOrigin = pClock->Now();
  std::int64_t llDue = llOrigin;
  while (!stop.stop_requested()) {
    if (camera.Faults()->bUnplugged) {
      m_pFilter->NoteDeviceLost();
      WaitUntilStopped(stop);
      return;
    }
    const StreamInfo stream = camera.GetStream();
    const std::int64_t llInterval = stream.bValid && stream.llInterval > 0 ? stream.llInterval : IDLE_INTERVAL;
    if (camera.TriggerIsOn()) {
      // One frame per release, exposed when it comes; the clock's pace
      // resumes from there once the trigger is off.
      const bool bReleased = camera.AwaitTriggerRelease(stop);
      llDue = std::max(llDue, pClock->Now());
      if (!bReleased) {
        continue;
      }
    } else if (!pClock->WaitForFrame(llDue, stop)) {
      return;
    }
    if (!DeliverFrame(camera, llDue, llOrigin)) {
      WaitUntilStopped(stop);
      return;
    }
    llDue += llInterval;
  }
}

bool CFrameStream::DeliverFrame(CCameraModel& camera, std::int64_t llDue, std::int64_t llOrigin) {
  // The camera may have been pulled while the thread waited for the clock.
  if (camera.Faults()->bUnplugged) {
    m_pFilter->NoteDeviceLost();
    return false;
  }
  const StreamInfo stream = camera.GetStream();
  const ULONG cbConnected = m_pPin->ConnectedSampleSize();
  if (!stream.bValid || stream.cbFrame == 0 || stream.cbFrame > cbConnected) {
    // No frame the connection could carry: the camera skips it.
    m_nDropped.fetch_add(1, std::memory_order_acq_rel);
    return true;
  }
  ComPtr<IMediaSample> pSample;
  if (FAILED(m_pPin->GetDeliveryBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0)) || !pSample) {
    return false;  // decommitted: the filter is stopping
  }
  BYTE* pData = nullptr;
  if (FAILED(pSample->GetPointer(&pData)) || pData == nullptr) {
    return false;
  }
  const auto cbBuffer = static_cast<std::uint64_t>(std::max<LONG>(pSample->GetSize(), 0));
  const std::uint64_t cbFrame = std::min<std::uint64_t>(stream.cbFrame, cbBuffer);
  const std::uint32_t nSequence = m_nSequence.fetch_add(1, std::memory_order_acq_rel);
  const bool bBottomUp = stream.nColor == COLOR_MONO8;
  m_painter.Draw(stream.nColor, stream.nWidth, stream.nHeight, nSequence,
                 std::span<std::uint8_t>(pData, static_cast<std::size_t>(cbFrame)),
                 bBottomUp != m_pFilter->FlipVertical(), stream.nFilter);
  // An oversized sample carries zero bytes after the frame.
  const std::uint64_t cbSample = std::min<std::uint64_t>(cbFrame + camera.Faults()->cbOversize.load(), cbBuffer);
  std::memset(pData + cbFrame, 0, static_cast<std::size_t>(cbSample - cbFrame));
  pSample->SetActualDataLength(static_cast<LONG>(cbSample));
  // Sample times count from the first frame of this run, on the camera's clock.
  REFERENCE_TIME tSampleStart = llDue - llOrigin;
  REFERENCE_TIME tSampleStop = tSampleStart + stream.llInterval;
  pSample->SetTime(&tSampleStart, &tSampleStop);
  pSample->SetSyncPoint(TRUE);
  pSample->SetDiscontinuity(nSequence == 0 ? TRUE : FALSE);

  // A frame sent downstream counts as not dropped whatever downstream makes
  // of it: during Stop a sample may reach the grabber and then meet a
  // renderer that has already stopped.
  m_nDelivered.fetch_add(1, std::memory_order_acq_rel);
  const HRESULT hr = m_pPin->Deliver(pSample.Get());
  pSample.Reset();
  camera.NoteFrameSent();
  // S_FALSE: downstream wants no more samples in this run (a one-shot
  // grabber that has its frame); a failure ends the stream too.
  return hr == S_OK;
}

void CFrameStream::WaitUntilStopped(std::stop_token stop) {
  SleepUntil(std::chrono::steady_clock::time_point::max(), std::move(stop));
}

}  // namespace vcam
