#include "drivers/dc1394/stream.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/barrier.h"
#include "base/com_ptr.h"
#include "drivers/dc1394/camera.h"
#include "drivers/dc1394/filter.h"
#include "drivers/face/camera_pin.h"
#include "vcam/model/formats.h"

namespace dc1394drv {
namespace {

// Frames in libdc1394's ring: enough to ride out a slow sample downstream.
constexpr std::uint32_t RING_FRAMES = 8;
// TRIGGER_MODE and its ON_OFF bit: a triggered camera's frames come when
// released, so gaps between them are no loss.
constexpr std::uint32_t TRIGGER_MODE = 0x830, TRIGGER_ON = 0x02000000;

}  // namespace

CDc1394Stream::CDc1394Stream(CDc1394Filter* pFilter, vcam::CCameraPin* pPin)
    : m_pFilter(pFilter), m_pPin(pPin), m_nStopEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CDc1394Stream::~CDc1394Stream() {
  Stop();
  if (m_nStopEvent >= 0) close(m_nStopEvent);
}

void CDc1394Stream::ResetCounters() {
  CCameraStream::ResetCounters();
  m_nBehind.store(0, std::memory_order_release);
}

HRESULT CDc1394Stream::Start() {
  Stop();
  if (m_nStopEvent < 0) return E_OUTOFMEMORY;
  eventfd_t value = 0;
  eventfd_read(m_nStopEvent, &value);  // a stop asked of the last run is spent
  const vcam::Result r = m_pFilter->Camera().StartCapture(RING_FRAMES);
  if (vcam::Failed(r)) {
    if (r == vcam::VCAM_E_NOT_CONNECTED) m_pFilter->NoteDeviceLost();
    return static_cast<HRESULT>(r);
  }
  m_bFirst = true;
  m_llInterval = m_pFilter->Camera().GetStream().llInterval;
  m_thread = std::thread([this] {
    // Nothing thrown on the streaming thread may end the process: the graph
    // is told that the stream broke off.
    const HRESULT hr = ComBarrier([&] {
      Run();
      return S_OK;
    });
    if (FAILED(hr)) m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
  });
  return S_OK;
}

void CDc1394Stream::RequestStop() {
  if (m_nStopEvent >= 0) eventfd_write(m_nStopEvent, 1);
}

void CDc1394Stream::Stop() {
  if (m_thread.joinable()) {
    RequestStop();
    m_thread.join();
  }
  m_pFilter->Camera().StopCapture();
}

bool CDc1394Stream::WaitForStop(int fd) {
  pollfd fds[2] = {{m_nStopEvent, POLLIN, 0}, {fd, POLLIN, 0}};
  while (poll(fds, fd >= 0 ? 2 : 1, -1) < 0) {
    if (errno != EINTR) return true;  // nothing more to wait for: end the stream
  }
  return (fds[0].revents & POLLIN) != 0;
}

void CDc1394Stream::Run() {
  CDc1394Camera& camera = m_pFilter->Camera();
  const int fd = camera.CaptureFile();
  while (!WaitForStop(fd)) {
    const bool bGoOn = DeliverFrame();
    if (camera.IsLost()) {
      m_pFilter->NoteDeviceLost();
    } else if (bGoOn) {
      continue;
    }
    WaitForStop(-1);
    return;
  }
}

bool CDc1394Stream::DeliverFrame() {
  CDc1394Camera& camera = m_pFilter->Camera();
  dc1394video_frame_t* pFrame = nullptr;
  if (camera.Dequeue(&pFrame) != DC1394_SUCCESS) {
    return false;  // the ring's file failed: the camera left the bus
  }
  if (pFrame == nullptr) {
    return true;  // woken by an event that was no frame
  }
  // The frame goes back to the ring on every path out.
  struct CRequeue {
    CDc1394Camera& camera;
    dc1394video_frame_t* pFrame;
    ~CRequeue() { camera.Enqueue(pFrame); }
  } requeue{camera, pFrame};

  const std::uint32_t nColor = vcam::StreamColor(static_cast<std::uint32_t>(pFrame->color_coding - DC1394_COLOR_CODING_MIN));
  const std::uint32_t nWidth = pFrame->size[0], nHeight = pFrame->size[1];
  const std::uint64_t cbFrame = vcam::FrameBytes(nColor, nWidth, nHeight);
  const std::int64_t llInterval = m_llInterval;
  CountGap(pFrame->timestamp, llInterval);
  pollfd more{camera.CaptureFile(), POLLIN, 0};
  if (poll(&more, 1, 0) > 0 && (more.revents & POLLIN)) m_nBehind.fetch_add(1, std::memory_order_acq_rel);
  if (cbFrame == 0 || nHeight == 0 || cbFrame > pFrame->image_bytes || cbFrame > m_pPin->ConnectedSampleSize()) {
    m_nDropped.fetch_add(1, std::memory_order_acq_rel);  // no frame the connection could carry
    return true;
  }
  ComPtr<IMediaSample> pSample;
  if (FAILED(m_pPin->GetDeliveryBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0)) || !pSample) {
    return false;  // decommitted: the filter is stopping
  }
  BYTE* pData = nullptr;
  if (FAILED(pSample->GetPointer(&pData)) || pData == nullptr ||
      static_cast<std::uint64_t>(std::max<LONG>(pSample->GetSize(), 0)) < cbFrame) {
    return false;
  }
  const bool bReverse = (nColor == vcam::COLOR_MONO8) != m_pFilter->FlipVertical();
  const std::size_t cbRow = static_cast<std::size_t>(cbFrame / nHeight);
  if (!bReverse) {
    std::memcpy(pData, pFrame->image, static_cast<std::size_t>(cbFrame));
  } else {
    for (std::uint32_t y = 0; y < nHeight; ++y)
      std::memcpy(pData + (nHeight - 1 - y) * cbRow, pFrame->image + y * cbRow, cbRow);
  }
  pSample->SetActualDataLength(static_cast<LONG>(cbFrame));
  // Sample times count from the first frame of this run, by the bus's clock.
  if (m_bFirst) m_qwFirstTimestamp = pFrame->timestamp;
  REFERENCE_TIME tSampleStart = static_cast<REFERENCE_TIME>(pFrame->timestamp - m_qwFirstTimestamp) * 10;
  REFERENCE_TIME tSampleStop = tSampleStart + llInterval;
  pSample->SetTime(&tSampleStart, &tSampleStop);
  pSample->SetSyncPoint(TRUE);
  pSample->SetDiscontinuity(m_bFirst ? TRUE : FALSE);
  m_bFirst = false;

  m_nDelivered.fetch_add(1, std::memory_order_acq_rel);
  const HRESULT hr = m_pPin->Deliver(pSample.Get());
  // S_FALSE: downstream wants no more samples in this run; a failure ends
  // the stream too.
  return hr == S_OK;
}

void CDc1394Stream::CountGap(std::uint64_t qwTimestamp, std::int64_t llInterval) {
  const std::uint64_t qwLast = m_qwLastTimestamp;
  m_qwLastTimestamp = qwTimestamp;
  if (m_bFirst || llInterval <= 0 || qwTimestamp <= qwLast) return;
  const auto llGap = static_cast<std::int64_t>(qwTimestamp - qwLast) * 10;
  if (2 * llGap < 3 * llInterval) return;
  std::uint32_t dwTrigger = 0;
  if (vcam::Succeeded(m_pFilter->Camera().ReadQuadlet(TRIGGER_MODE, &dwTrigger)) && (dwTrigger & TRIGGER_ON)) return;
  m_nDropped.fetch_add(static_cast<LONG>((llGap + llInterval / 2) / llInterval - 1), std::memory_order_acq_rel);
}

}  // namespace dc1394drv
