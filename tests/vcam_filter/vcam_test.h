// Shared pieces of the capture filter tests: a fixture on the built-in camera
// pair with stepped clocks, register requests through the property set, and
// a grabber callback that records what arrives.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "base/com_ptr.h"
#include "tests/support/emul_env.h"
#include "vcam/filter/capture_filter.h"
#include "vcam/filter/property_set.h"
#include "vcam/filter/test_support.h"
#include "winapi.h"

namespace vcam_test {

constexpr std::size_t COLOR_CAMERA = 0;  // Format 0, 1 and 7, starts in Format 0 mode 3 at 30 fps
constexpr std::size_t MONO_CAMERA = 1;   // Mono8/Mono16, starts in Format 0 mode 5 at 30 fps

// Long enough never to end a passing test; a failing one ends instead of hanging.
constexpr auto WAIT_LIMIT = std::chrono::seconds(20);

class CVcamTest : public CEmulTest {
 protected:
  void SetUp() override {
    CEmulTest::SetUp();
    m_clocks = vcam::InstallSteppedCameraSet();
  }
  void TearDown() override {
    m_clocks.clear();
    vcam::ResetActiveCameraSet();
    CEmulTest::TearDown();
  }

  ComPtr<IBaseFilter> CreateFilter(std::size_t nCamera) {
    ComPtr<IBaseFilter> pFilter;
    auto pCamera = vcam::GetCameraModel(nCamera);
    EXPECT_EQ(vcam::CVcamFilter::Create(pCamera, vcam::GetDriverLog(nCamera), &pFilter), S_OK);
    return pFilter;
  }

  CComApartment m_apartment;
  std::vector<std::shared_ptr<vcam::CSteppedClock>> m_clocks;
};

// The capture filter's output pin and its stream configuration.
ComPtr<IPin> OutputPin(IBaseFilter* pFilter);
ComPtr<IAMStreamConfig> StreamConfig(IBaseFilter* pFilter);

// capture filter -> Sample Grabber -> Null Renderer in an emulated filter
// graph, as the library builds it for capturing.
struct CCaptureGraph {
  HRESULT Build(IBaseFilter* pCaptureFilter);
  // Stops the graph and lets everything go, the graph last.
  void Release();

  ComPtr<IGraphBuilder> pGraph;
  ComPtr<IBaseFilter> pCapture;
  ComPtr<IBaseFilter> pGrabberFilter;
  ComPtr<ISampleGrabber> pGrabber;
  ComPtr<IBaseFilter> pRenderer;
  ComPtr<IMediaControl> pControl;
  ComPtr<IMediaEvent> pEvent;
};

// Register requests as a library sends them: one 64-byte block, read by Set
// then Get with property id 5, written by Set with id 6.
HRESULT ReadRegister(IKsPropertySet* pProps, std::uint32_t dwOffset, std::uint32_t* pdwValue);
HRESULT WriteRegister(IKsPropertySet* pProps, std::uint32_t dwOffset, std::uint32_t dwValue);
HRESULT RequestArea(IKsPropertySet* pProps, LONG nLeft, LONG nTop, LONG nWidth, LONG nHeight);

// An ISampleGrabberCB that keeps the length and sequence number of every
// buffer it is shown (rows as the camera sends them) and lets a test wait for
// a number of them.
class CFrameRecorder final : public ISampleGrabberCB {
 public:
  explicit CFrameRecorder(vcam::VideoShape shape = {}) : m_shape(shape) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
  STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }  // lives on the test's stack
  STDMETHODIMP SampleCB(double, IMediaSample*) override { return E_NOTIMPL; }
  STDMETHODIMP BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen) override;

  bool WaitForFrames(std::size_t nFrames);
  std::vector<std::uint32_t> Sequences();
  std::vector<LONG> Lengths();

 private:
  const vcam::VideoShape m_shape;
  std::atomic<ULONG> m_cRef{0};
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::vector<std::uint32_t> m_sequences;
  std::vector<LONG> m_lengths;
};

}  // namespace vcam_test
