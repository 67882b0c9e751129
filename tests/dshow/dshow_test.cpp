// The emulated DirectShow and the virtual camera's filter where neither the
// library nor the behaviour suite (which also runs on Wine's DirectShow)
// reaches: the graph's connection refusals and the pin record's bounds, the
// allocator's refusals, its samples' reset and its release of a waiting
// thread, a running filter taken out of its graph, and the filter's answers to
// malformed requests of any client (property set, stream configuration,
// video control, device bag) and the devices' names.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "base/com_ptr.h"
#include "base/media_type.h"
#include "base/unknown.h"
#include "emul/fault.h"
#include "tests/support/emul_env.h"
#include "vcam/filter/capture_filter.h"
#include "drivers/face/property_set.h"
#include "vcam/filter/test_support.h"
#include "vcam/model/offsets.h"

namespace {

constexpr std::size_t COLOR_CAMERA = 0;  // Format 0 mode 3 (640 x 480 UYVY) at 30 fps at power-up
constexpr std::size_t MONO_CAMERA = 1;
constexpr auto WAIT_LIMIT = std::chrono::seconds(10);

class CDshowTest : public CEmulTest {
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

  // A new capture filter of camera n, with one reference.
  static ComPtr<IBaseFilter> CameraFilter(std::size_t nCamera) {
    ComPtr<IBaseFilter> pFilter;
    EXPECT_EQ(vcam::CVcamFilter::Create(vcam::GetCameraModel(nCamera), vcam::GetDriverLog(nCamera), &pFilter), S_OK);
    return pFilter;
  }

  CComApartment m_apartment;
  std::vector<std::shared_ptr<vcam::CSteppedClock>> m_clocks;
};

template <class T>
ComPtr<T> Create(REFCLSID clsid, REFIID iid) {
  ComPtr<T> p;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, p.ReleaseAndGetVoidAddressOf()), S_OK);
  return p;
}

template <class T>
ComPtr<T> Query(IUnknown* pUnk, REFIID iid) {
  ComPtr<T> p;
  EXPECT_EQ(pUnk->QueryInterface(iid, p.ReleaseAndGetVoidAddressOf()), S_OK);
  return p;
}

// The n-th pin of the filter in the given direction.
inline ComPtr<IPin> PinOf(IBaseFilter* pFilter, PIN_DIRECTION dir, int n = 0) {
  ComPtr<IEnumPins> pEnum;
  EXPECT_EQ(pFilter->EnumPins(pEnum.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IPin> pPin;
  while (pEnum->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION pinDir;
    pPin->QueryDirection(&pinDir);
    if (pinDir == dir && n-- == 0) return pPin;
  }
  return ComPtr<IPin>();
}

inline ComPtr<IPin> PeerOf(IPin* pPin) {
  ComPtr<IPin> pPeer;
  pPin->ConnectedTo(pPeer.ReleaseAndGetAddressOf());
  return pPeer;
}

// Register requests as a library sends them: one 64-byte block, read by Set
// then Get with the read property, written by Set with the write property.
inline HRESULT ReadRegister(IKsPropertySet* pProps, std::uint32_t dwOffset, std::uint32_t* pdwValue) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  vcam::StoreQuadlet(block, vcam::REGISTER_OFFSET_AT, dwOffset);
  const GUID& set = vcam::PROPSETID_IIDC_CAMERA;
  HRESULT hr = pProps->Set(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, sizeof block, block, sizeof block);
  DWORD cbReturned = 0;
  if (SUCCEEDED(hr)) {
    hr = pProps->Get(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, sizeof block, block, sizeof block, &cbReturned);
  }
  if (SUCCEEDED(hr)) *pdwValue = vcam::LoadQuadlet(block, vcam::REGISTER_VALUE_AT);
  return hr;
}

inline HRESULT WriteRegister(IKsPropertySet* pProps, std::uint32_t dwOffset, std::uint32_t dwValue) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  vcam::StoreQuadlet(block, vcam::REGISTER_OFFSET_AT, dwOffset);
  vcam::StoreQuadlet(block, vcam::REGISTER_VALUE_AT, dwValue);
  return pProps->Set(vcam::PROPSETID_IIDC_CAMERA, vcam::IIDC_PROPERTY_WRITE_QUADLET, block, sizeof block, block,
                     sizeof block);
}

// A grabber callback that holds each sample on the streaming thread until
// the test lets it go.
class CHoldingCallback final : public CComBase<ISampleGrabberCB> {
 public:
  CHoldingCallback() : CComBase("CHoldingCallback") {}
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_ISampleGrabberCB) return GetInterface(static_cast<ISampleGrabberCB*>(this), ppv);
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP SampleCB(double, IMediaSample*) override { return E_NOTIMPL; }
  STDMETHODIMP BufferCB(double, BYTE*, LONG) override {
    std::unique_lock lock(m_mx);
    ++m_nFrames;
    m_cv.notify_all();
    m_cv.wait(lock, [&] { return !m_bHold; });
    return S_OK;
  }
  bool WaitFrames(int nFrames) {
    std::unique_lock lock(m_mx);
    return m_cv.wait_for(lock, WAIT_LIMIT, [&] { return m_nFrames >= nFrames; });
  }
  void LetGo() {
    std::lock_guard lock(m_mx);
    m_bHold = false;
    m_cv.notify_all();
  }

 private:
  std::mutex m_mx;
  std::condition_variable m_cv;
  int m_nFrames = 0;
  bool m_bHold = true;
};

class GraphTest : public CDshowTest {};

// The graph joins an output to an input of its own filters, once; what a pin
// says of itself stays within its record.
TEST_F(GraphTest, ConnectsOnlyAnOutputToAnInputOfItsFilters) {
  ComPtr<IGraphBuilder> pGraph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
  ComPtr<IBaseFilter> pSource = CameraFilter(COLOR_CAMERA);
  ComPtr<IBaseFilter> pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
  ComPtr<IPin> pOut = PinOf(pSource.Get(), PINDIR_OUTPUT);
  ComPtr<IPin> pIn = PinOf(pRenderer.Get(), PINDIR_INPUT);
  EXPECT_EQ(pGraph->Connect(pOut.Get(), pIn.Get()), VFW_E_NOT_IN_GRAPH);
  ASSERT_EQ(pGraph->AddFilter(pSource.Get(), nullptr), S_OK);
  ASSERT_EQ(pGraph->AddFilter(pRenderer.Get(), nullptr), S_OK);
  EXPECT_EQ(pGraph->Connect(pIn.Get(), pOut.Get()), VFW_E_INVALID_DIRECTION);
  ASSERT_EQ(pGraph->Connect(pOut.Get(), pIn.Get()), S_OK);
  EXPECT_EQ(pGraph->Connect(pOut.Get(), pIn.Get()), VFW_E_ALREADY_CONNECTED);
  struct {
    PIN_INFO info;
    BYTE guard[16];
  } pin;
  std::memset(&pin, 0xA5, sizeof pin);
  ASSERT_EQ(pOut->QueryPinInfo(&pin.info), S_OK);
  pin.info.pFilter->Release();
  const auto* pPast = reinterpret_cast<const BYTE*>(std::end(pin.info.achName));
  const BYTE* pEnd = std::end(pin.guard);
  EXPECT_TRUE(std::all_of(pPast, pEnd, [](BYTE b) { return b == 0xA5; })) << "written past the pin's name";
}

class MemAllocatorTest : public CDshowTest {
 protected:
  static ComPtr<IMemAllocator> Committed(LONG cBuffers) {
    ComPtr<IMemAllocator> p = Create<IMemAllocator>(CLSID_MemoryAllocator, IID_IMemAllocator);
    ALLOCATOR_PROPERTIES request{cBuffers, 100, 16, 0};
    ALLOCATOR_PROPERTIES actual{};
    EXPECT_EQ(p->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(p->Commit(), S_OK);
    return p;
  }
};

TEST_F(MemAllocatorTest, RoundsToAlignmentAndRefusesBadRequests) {
  ComPtr<IMemAllocator> p = Create<IMemAllocator>(CLSID_MemoryAllocator, IID_IMemAllocator);
  ALLOCATOR_PROPERTIES actual{};
  for (const ALLOCATOR_PROPERTIES& bad : {ALLOCATOR_PROPERTIES{2, 100, 3, 0}, ALLOCATOR_PROPERTIES{2, 100, 0, 0},
                                          ALLOCATOR_PROPERTIES{2, 0, 16, 0},
                                          ALLOCATOR_PROPERTIES{-1, 100, 16, 0}, ALLOCATOR_PROPERTIES{2, 100, 16, -1}}) {
    ALLOCATOR_PROPERTIES request = bad;
    EXPECT_TRUE(FAILED(p->SetProperties(&request, &actual))) << request.cBuffers << " " << request.cbBuffer;
  }
  EXPECT_EQ(p->Commit(), VFW_E_SIZENOTSET);
  ALLOCATOR_PROPERTIES request{2, 100, 64, 0};
  ASSERT_EQ(p->SetProperties(&request, &actual), S_OK);
  EXPECT_EQ(actual.cbBuffer, 128);
  EXPECT_EQ(actual.cBuffers, 2);
  ASSERT_EQ(p->Commit(), S_OK);
  EXPECT_TRUE(FAILED(p->SetProperties(&request, &actual))) << "committed";
  ComPtr<IMediaSample> pSample;
  ASSERT_EQ(p->GetBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  BYTE* pData = nullptr;
  pSample->GetPointer(&pData);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pData) % 64, 0u);
  EXPECT_EQ(pSample->SetActualDataLength(129), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(pSample->SetActualDataLength(128), S_OK);
  // A sample back in the pool carries nothing of its last use.
  REFERENCE_TIME tStart = 10;
  REFERENCE_TIME tStop = 20;
  pSample->SetTime(&tStart, &tStop);
  pSample->SetSyncPoint(TRUE);
  pSample->SetPreroll(TRUE);
  pSample->SetDiscontinuity(TRUE);
  pSample.Reset();
  ComPtr<IMediaSample> samples[2];
  for (ComPtr<IMediaSample>& pAgain : samples) {
    ASSERT_EQ(p->GetBuffer(pAgain.ReleaseAndGetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    EXPECT_EQ(pAgain->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(pAgain->IsPreroll(), S_FALSE);
    EXPECT_EQ(pAgain->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(pAgain->GetActualDataLength(), 0);
    EXPECT_EQ(pAgain->GetTime(&tStart, &tStop), VFW_E_SAMPLE_TIME_NOT_SET);
  }
}

TEST_F(MemAllocatorTest, DecommitReleasesAWaitingThreadAndSamplesKeepTheAllocator) {
  ComPtr<IMemAllocator> p = Committed(1);
  ComPtr<IMediaSample> pHeld;
  ASSERT_EQ(p->GetBuffer(pHeld.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  std::atomic<HRESULT> hrWaiter{S_OK};
  std::atomic<bool> bDone{false};
  std::thread waiter([&] {
    IMediaSample* pSample = nullptr;
    hrWaiter = p->GetBuffer(&pSample, nullptr, nullptr, 0);
    bDone = true;
  });
  EXPECT_EQ(p->Decommit(), S_OK);
  for (auto deadline = std::chrono::steady_clock::now() + WAIT_LIMIT;
       !bDone && std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!bDone) {
    ADD_FAILURE() << "the waiter was not released";
    pHeld.Reset();  // a buffer back frees it
  }
  waiter.join();
  EXPECT_EQ(hrWaiter, VFW_E_NOT_COMMITTED);

  p = Committed(1);
  ASSERT_EQ(p->GetBuffer(pHeld.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(p->Decommit(), S_OK);
  ALLOCATOR_PROPERTIES request{1, 100, 16, 0};
  ALLOCATOR_PROPERTIES actual{};
  EXPECT_TRUE(FAILED(p->SetProperties(&request, &actual))) << "a sample is still out";
  EXPECT_EQ(p.Get()->Release(), 1u) << "the sample's reference remains";
  (void)p.Detach();
  BYTE* pData = nullptr;
  ASSERT_EQ(pHeld->GetPointer(&pData), S_OK);
  pData[0] = 1;
  EXPECT_EQ(pHeld.Get()->Release(), 0u) << "the allocator goes with it";
  (void)pHeld.Detach();
}

// Taken apart while it still runs, as after a failed stop: the renderer goes
// first, and the grabber is stopped and cut off from it only once the sample
// in its hands has been passed on and the end of the stream after it.
TEST_F(GraphTest, RemovingARunningFilterWaitsForTheSampleInItsHands) {
  // camera -> Sample Grabber (any video, as the library sets it) -> null renderer
  ComPtr<IGraphBuilder> pGraph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
  ComPtr<IBaseFilter> pSource = CameraFilter(COLOR_CAMERA);
  ComPtr<IBaseFilter> pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
  ComPtr<ISampleGrabber> pGrabber = Create<ISampleGrabber>(CLSID_SampleGrabber, IID_ISampleGrabber);
  ComPtr<IBaseFilter> pGrabberFilter = Query<IBaseFilter>(pGrabber.Get(), IID_IBaseFilter);
  CMediaType mt;
  mt.majortype = MEDIATYPE_Video;
  ASSERT_EQ(pGrabber->SetMediaType(&mt), S_OK);
  for (IBaseFilter* pFilter : {pSource.Get(), pGrabberFilter.Get(), pRenderer.Get()}) {
    ASSERT_EQ(pGraph->AddFilter(pFilter, nullptr), S_OK);
  }
  ASSERT_EQ(pGraph->Connect(PinOf(pSource.Get(), PINDIR_OUTPUT).Get(), PinOf(pGrabberFilter.Get(), PINDIR_INPUT).Get()),
            S_OK);
  ASSERT_EQ(
      pGraph->Connect(PinOf(pGrabberFilter.Get(), PINDIR_OUTPUT).Get(), PinOf(pRenderer.Get(), PINDIR_INPUT).Get()),
      S_OK);
  ComPtr<CHoldingCallback> pRecorder(new CHoldingCallback());
  ASSERT_EQ(pGrabber->SetOneShot(TRUE), S_OK);
  ASSERT_EQ(pGrabber->SetCallback(pRecorder.Get(), 1), S_OK);
  ComPtr<IMediaControl> pControl = Query<IMediaControl>(pGraph.Get(), IID_IMediaControl);
  ASSERT_EQ(pControl->Run(), S_OK);
  FILTER_STATE state = State_Stopped;
  EXPECT_EQ(pSource->GetState(0, &state), S_OK) << "only a paused source cannot cue";
  EXPECT_EQ(state, State_Running);
  m_clocks[COLOR_CAMERA]->Step(1);
  ASSERT_TRUE(pRecorder->WaitFrames(1));
  ASSERT_EQ(pGraph->RemoveFilter(pRenderer.Get()), S_OK);
  std::atomic<bool> bRemoved{false};
  std::thread remover([&] {
    EXPECT_EQ(pGraph->RemoveFilter(pGrabberFilter.Get()), S_OK);
    bRemoved = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(bRemoved);
  pRecorder->LetGo();
  remover.join();
  EXPECT_EQ(PeerOf(PinOf(pGrabberFilter.Get(), PINDIR_OUTPUT).Get()).Get(), nullptr);
  ASSERT_EQ(pGrabber->SetCallback(nullptr, 0), S_OK);
  pControl->Stop();
}

class VcamFilterTest : public CDshowTest {
 protected:
  void SetUp() override {
    CDshowTest::SetUp();
    m_pFilter = CameraFilter(COLOR_CAMERA);
    m_pPin = PinOf(m_pFilter.Get(), PINDIR_OUTPUT);
    ASSERT_TRUE(m_pPin);
    m_pProps = Query<IKsPropertySet>(m_pFilter.Get(), IID_IKsPropertySet);
    m_pConfig = Query<IAMStreamConfig>(m_pPin.Get(), IID_IAMStreamConfig);
  }
  void TearDown() override {
    m_pConfig.Reset();
    m_pProps.Reset();
    m_pPin.Reset();
    m_pFilter.Reset();
    CDshowTest::TearDown();
  }

  std::uint32_t Read(std::uint32_t dwOffset) {
    std::uint32_t dwValue = 0xDEADBEEF;
    EXPECT_EQ(ReadRegister(m_pProps.Get(), dwOffset, &dwValue), S_OK) << std::hex << dwOffset;
    return dwValue;
  }

  // Capability i's media type (owned).
  CMediaTypePtr Caps(int i) {
    VIDEO_STREAM_CONFIG_CAPS caps{};
    CMediaTypePtr pmt;
    EXPECT_EQ(m_pConfig->GetStreamCaps(i, &pmt, reinterpret_cast<BYTE*>(&caps)), S_OK);
    return pmt;
  }

  // The capability of Format f mode m.
  static int CapsIndexOf(std::uint32_t nFormat, std::uint32_t nMode) {
    const auto modes = vcam::GetCameraModel(COLOR_CAMERA)->EnumerateStandardModes();
    for (std::size_t i = 0; i < modes.size(); ++i) {
      if (modes[i].nFormat == nFormat && modes[i].nMode == nMode) return static_cast<int>(i);
    }
    return -1;
  }

  HRESULT SetFormatWithInterval(int iCaps, REFERENCE_TIME llInterval) {
    CMediaTypePtr pmt = Caps(iCaps);
    pmt.VideoInfo()->AvgTimePerFrame = llInterval;
    return m_pConfig->SetFormat(pmt.Get());
  }

  ComPtr<IBaseFilter> m_pFilter;
  ComPtr<IPin> m_pPin;
  ComPtr<IKsPropertySet> m_pProps;
  ComPtr<IAMStreamConfig> m_pConfig;
};

// Flipping (which the behaviour suite sees in monochrome frames) takes the
// vertical flag on its own pin only.
TEST_F(VcamFilterTest, VideoControlFlipsVerticallyOnlyAndListsRatesOfAMode) {
  ComPtr<IAMVideoControl> pControl = Query<IAMVideoControl>(m_pFilter.Get(), IID_IAMVideoControl);
  EXPECT_EQ(pControl->SetMode(m_pPin.Get(), VideoControlFlag_FlipHorizontal), E_INVALIDARG);
  EXPECT_EQ(pControl->SetMode(nullptr, 0), E_POINTER);
  ComPtr<IBaseFilter> pOther = CameraFilter(MONO_CAMERA);
  EXPECT_EQ(pControl->SetMode(PinOf(pOther.Get(), PINDIR_OUTPUT).Get(), 0), E_INVALIDARG) << "another filter's pin";
  // Capability 3 is Format 0 mode 3, 640 x 480 at 1.875 to 30 fps; sizes
  // other than the mode's have no rates.
  LONG nRates = 0;
  LONGLONG* pRates = nullptr;
  ASSERT_EQ(pControl->GetFrameRateList(m_pPin.Get(), 3, SIZE{640, 480}, &nRates, &pRates), S_OK);
  ASSERT_EQ(nRates, 5);
  EXPECT_EQ(pRates[0], 333333);
  EXPECT_EQ(pRates[4], 5333333);
  CoTaskMemFree(pRates);
  for (const SIZE size : {SIZE{640, 240}, SIZE{320, 480}}) {
    EXPECT_TRUE(FAILED(pControl->GetFrameRateList(m_pPin.Get(), 3, size, &nRates, &pRates))) << size.cx;
  }
  // Its capability gives the same range and the bits per second at either
  // end; every field the pin does not describe is 0.
  VIDEO_STREAM_CONFIG_CAPS caps;
  std::memset(&caps, 0xEE, sizeof caps);
  CMediaTypePtr pmt;
  ASSERT_EQ(m_pConfig->GetStreamCaps(3, &pmt, reinterpret_cast<BYTE*>(&caps)), S_OK);
  EXPECT_EQ(caps.MinFrameInterval, 333333);
  EXPECT_EQ(caps.MaxFrameInterval, 5333333);
  EXPECT_EQ(caps.MaxBitsPerSecond, 147456147);  // 640 x 480 x 16 bits x 10^7 / 333333
  EXPECT_EQ(caps.MinBitsPerSecond, 9216000);
  EXPECT_EQ(caps.VideoStandard, 0u);
  // A camera whose rate inquiry of the mode reads 0 gives neither.
  vcam::Profile noRates = vcam::BuiltInCameraSet()[COLOR_CAMERA];
  noRates.rawRegisters[vcam::VRateInq(0, 3)] = 0;
  vcam::GetCameraModel(COLOR_CAMERA)->Replace(noRates);
  ASSERT_EQ(m_pConfig->GetStreamCaps(3, &pmt, reinterpret_cast<BYTE*>(&caps)), S_OK);
  EXPECT_EQ(caps.MaxFrameInterval, 0);
  EXPECT_EQ(caps.MaxBitsPerSecond, 0);
}

// Two requests in flight each carry their own offset; malformed requests and
// faults are refused, leaving the value as it was.
TEST_F(VcamFilterTest, PropertySetAnswersWellFormedRequestsOnly) {
  BYTE first[vcam::IIDC_PROPERTY_BYTES] = {};
  BYTE second[vcam::IIDC_PROPERTY_BYTES] = {};
  vcam::StoreQuadlet(first, vcam::REGISTER_OFFSET_AT, vcam::CUR_V_MODE);
  vcam::StoreQuadlet(second, vcam::REGISTER_OFFSET_AT, vcam::CUR_V_FORMAT);
  const GUID& set = vcam::PROPSETID_IIDC_CAMERA;
  ASSERT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_READ_QUADLET, first, 64, first, 64), S_OK);
  ASSERT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_READ_QUADLET, second, 64, second, 64), S_OK);
  DWORD cbReturned = 0;
  ASSERT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_READ_QUADLET, first, 64, first, 64, &cbReturned), S_OK);
  EXPECT_EQ(cbReturned, 64u);
  EXPECT_EQ(vcam::LoadQuadlet(first, vcam::REGISTER_VALUE_AT) >> 29, 3u);

  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  EXPECT_EQ(m_pProps->Set(AMPROPSETID_Pin, vcam::IIDC_PROPERTY_READ_QUADLET, block, 64, block, 64),
            E_PROP_SET_UNSUPPORTED);
  EXPECT_EQ(m_pProps->Set(set, 7, block, 64, block, 64), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_WRITE_QUADLET, block, 63, block, 63), E_INVALIDARG);
  EXPECT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_AREA, block, 63, block, 63), E_INVALIDARG);
  EXPECT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_WRITE_QUADLET, nullptr, 0, nullptr, 0), E_POINTER);
  EXPECT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, 64, nullptr, 0, nullptr), E_POINTER);
  EXPECT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_WRITE_QUADLET, block, 64, block, 64, nullptr), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_AREA, block, 64, block, 64, nullptr), E_PROP_ID_UNSUPPORTED);
  vcam::StoreQuadlet(block, vcam::REGISTER_OFFSET_AT, 0x0FFC);
  EXPECT_TRUE(FAILED(m_pProps->Set(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, 64, block, 64))) << "no register";
  DWORD dwSupport = 0;
  ASSERT_EQ(m_pProps->QuerySupported(set, vcam::IIDC_PROPERTY_READ_QUADLET, &dwSupport), S_OK);
  EXPECT_EQ(dwSupport, KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET);
  ASSERT_EQ(m_pProps->QuerySupported(set, vcam::IIDC_PROPERTY_AREA, &dwSupport), S_OK);
  EXPECT_EQ(dwSupport, KSPROPERTY_SUPPORT_SET);

  vcam::CameraFaults& faults = *vcam::GetCameraFaults(COLOR_CAMERA);
  faults.readFailure.Set(vcam::CUR_V_FRM_RATE, vcam::CUR_V_FORMAT);
  std::uint32_t dwValue = 0x12345678;
  EXPECT_TRUE(FAILED(ReadRegister(m_pProps.Get(), vcam::CUR_V_MODE, &dwValue)));
  EXPECT_EQ(dwValue, 0x12345678u);
  EXPECT_EQ(ReadRegister(m_pProps.Get(), vcam::V_FORMAT_INQ, &dwValue), S_OK);
  faults.readFailure.Clear();
  faults.writeFailure.SetAll();
  EXPECT_TRUE(FAILED(WriteRegister(m_pProps.Get(), vcam::CUR_V_FRM_RATE, 2u << 29)));
  faults.writeFailure.Clear();
  EXPECT_EQ(Read(vcam::CUR_V_FRM_RATE) >> 29, 4u);
  emul::FailOperation("IKsPropertySet::Get", E_FAIL, 1);
  EXPECT_EQ(ReadRegister(m_pProps.Get(), vcam::V_FORMAT_INQ, &dwValue), E_FAIL);
  // The pin answers the camera's set as the filter does.
  ComPtr<IKsPropertySet> pPinProps = Query<IKsPropertySet>(m_pPin.Get(), IID_IKsPropertySet);
  EXPECT_EQ(ReadRegister(pPinProps.Get(), vcam::CUR_V_FRM_RATE, &dwValue), S_OK);
  EXPECT_EQ(dwValue >> 29, 4u);
}

TEST_F(VcamFilterTest, PinAndStreamConfigurationCheckTheirArguments) {
  ComPtr<IKsPropertySet> pPinProps = Query<IKsPropertySet>(m_pPin.Get(), IID_IKsPropertySet);
  GUID category{};
  EXPECT_EQ(pPinProps->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category),
            E_PROP_ID_UNSUPPORTED);
  DWORD cbCategory = 0;  // exactly a GUID's room
  ASSERT_EQ(pPinProps->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 16, &cbCategory), S_OK);
  EXPECT_TRUE(IsEqualGUID(category, PIN_CATEGORY_CAPTURE));
  DWORD dwSupport = 0;
  EXPECT_EQ(pPinProps->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &dwSupport), S_OK);
  EXPECT_EQ(dwSupport, KSPROPERTY_SUPPORT_GET);
  EXPECT_EQ(pPinProps->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, &dwSupport), E_PROP_ID_UNSUPPORTED);
  CMediaTypePtr pmt = Caps(CapsIndexOf(0, 3));
  EXPECT_EQ(m_pPin->QueryAccept(pmt.Get()), S_OK);
  pmt.VideoInfo()->bmiHeader.biWidth = 320;
  EXPECT_NE(m_pPin->QueryAccept(pmt.Get()), S_OK);
  EXPECT_EQ(Query<IAMDroppedFrames>(m_pFilter.Get(), IID_IAMDroppedFrames)->GetNumNotDropped(nullptr), E_POINTER);
  VIDEO_STREAM_CONFIG_CAPS caps{};
  AM_MEDIA_TYPE* pNone = nullptr;
  int nCount = 0;
  EXPECT_EQ(m_pConfig->GetStreamCaps(11, &pNone, reinterpret_cast<BYTE*>(&caps)), S_FALSE) << "one past the 11 modes";
  EXPECT_EQ(pNone, nullptr);
  EXPECT_EQ(m_pConfig->GetStreamCaps(-1, &pNone, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);
  EXPECT_EQ(m_pConfig->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE*>(&caps)), E_POINTER);
  EXPECT_EQ(m_pConfig->GetStreamCaps(0, &pNone, nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->GetNumberOfCapabilities(&nCount, nullptr), E_POINTER);
  vcam::GetCameraFaults(COLOR_CAMERA)->nExtraCaps = 0xFFFFFFFF;  // a count past any int stops at the largest
  int cbCaps = 0;
  ASSERT_EQ(m_pConfig->GetNumberOfCapabilities(&nCount, &cbCaps), S_OK);
  EXPECT_EQ(nCount, std::numeric_limits<int>::max());
  EXPECT_EQ(m_pConfig->SetFormat(nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->GetFormat(nullptr), E_POINTER);
  LONG nCopied = 0;
  EXPECT_EQ(Query<IAMDroppedFrames>(m_pFilter.Get(), IID_IAMDroppedFrames)->GetDroppedInfo(0, &nCopied, &nCopied),
            E_INVALIDARG);
  FILTER_STATE state = State_Running;
  EXPECT_EQ(m_pFilter->GetState(0, &state), S_OK) << "a stopped source cues nothing";
  // Registers that select a mode at no rate the camera offers give no format.
  vcam::Profile noRates = vcam::BuiltInCameraSet()[COLOR_CAMERA];
  noRates.rawRegisters[vcam::VRateInq(0, 3)] = 0;
  vcam::GetCameraModel(COLOR_CAMERA)->Replace(noRates);
  EXPECT_EQ(m_pConfig->GetFormat(&pNone), E_FAIL);
}

// The camera's loss reaches the graph once, naming the filter.
TEST_F(VcamFilterTest, DeviceLossIsToldOnce) {
  ComPtr<IGraphBuilder> pGraph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
  ASSERT_EQ(pGraph->AddFilter(m_pFilter.Get(), L"camera"), S_OK);
  auto* pCamera = static_cast<vcam::CVcamFilter*>(m_pFilter.Get());
  pCamera->NoteDeviceLost();
  pCamera->NoteDeviceLost();
  ComPtr<IMediaEvent> pEvent = Query<IMediaEvent>(pGraph.Get(), IID_IMediaEvent);
  LONG lCode = 0;
  LONG_PTR lParam1 = 0, lParam2 = 0;
  ASSERT_EQ(pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), S_OK);
  EXPECT_EQ(lCode, EC_DEVICE_LOST);
  EXPECT_EQ(lParam1, reinterpret_cast<LONG_PTR>(m_pFilter.Get()));
  EXPECT_EQ(pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), E_ABORT);
}

// A type no mode matches, or the refuse switch: the request fails and the
// mode and rate in force stay (refused rates are the behaviour suite's).
TEST_F(VcamFilterTest, RefusedFormatRequestsChangeNothing) {
  const std::function<void(CMediaTypePtr&)> mismatches[] = {
      [](CMediaTypePtr& pmt) { pmt->subtype = MEDIASUBTYPE_YUY2; },
      [](CMediaTypePtr& pmt) { pmt.VideoInfo()->bmiHeader.biWidth = 800; },  // no UYVY mode is 800 x 480
      [](CMediaTypePtr& pmt) { pmt->formattype = FORMAT_None; },
  };
  for (const auto& mismatch : mismatches) {
    CMediaTypePtr pmt = Caps(CapsIndexOf(0, 3));
    mismatch(pmt);
    EXPECT_EQ(m_pConfig->SetFormat(pmt.Get()), VFW_E_INVALIDMEDIATYPE);
  }
  vcam::GetCameraFaults(COLOR_CAMERA)->bRefuseSetFormat = true;
  EXPECT_TRUE(FAILED(SetFormatWithInterval(CapsIndexOf(0, 1), 0)));
  EXPECT_EQ(Read(vcam::CUR_V_FORMAT) >> 29, 0u);
  EXPECT_EQ(Read(vcam::CUR_V_MODE) >> 29, 3u);
  EXPECT_EQ(Read(vcam::CUR_V_FRM_RATE) >> 29, 4u);
  vcam::GetCameraFaults(COLOR_CAMERA)->bRefuseSetFormat = false;
  EXPECT_EQ(SetFormatWithInterval(CapsIndexOf(0, 1), 0), S_OK);
  EXPECT_EQ(Read(vcam::CUR_V_MODE) >> 29, 1u);
}

// The devices are the active set, named by their profiles' UTF-8 friendly
// names; which camera each binds to is the behaviour suite's.
TEST_F(VcamFilterTest, DevicesAreNamedByTheirProfiles) {
  std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
  set.resize(1);
  set[0].strFriendlyName = "Bench camera \xC3\xA9";  // UTF-8 e-acute
  m_clocks = vcam::InstallSteppedCameraSet(set);
  ComPtr<ICreateDevEnum> pDevEnum = Create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
  ComPtr<IEnumMoniker> pEnum;
  ASSERT_EQ(pDevEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &pEnum, 0), S_OK);
  ComPtr<IMoniker> pMoniker;
  ASSERT_EQ(pEnum->Next(1, &pMoniker, nullptr), S_OK);
  ComPtr<IUnknown> pOther;
  EXPECT_EQ(pMoniker->BindToObject(nullptr, nullptr, IID_IMediaControl, pOther.ReleaseAndGetVoidAddressOf()),
            E_NOINTERFACE);
  LPOLESTR pszDisplayName = nullptr;
  ASSERT_EQ(pMoniker->GetDisplayName(nullptr, nullptr, &pszDisplayName), S_OK);
  EXPECT_TRUE(std::wstring_view(pszDisplayName).ends_with(L"Bench camera \u00E9")) << "and ends there";
  CoTaskMemFree(pszDisplayName);
  ComPtr<IPropertyBag> pBag;
  ASSERT_EQ(pMoniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, pBag.ReleaseAndGetVoidAddressOf()), S_OK);
  VARIANT var;
  VariantInit(&var);
  ASSERT_EQ(pBag->Read(L"FriendlyName", &var, nullptr), S_OK);
  ASSERT_EQ(var.vt, VT_BSTR);
  EXPECT_STREQ(var.bstrVal, L"Bench camera \u00E9");
  VariantClear(&var);
  EXPECT_EQ(pBag->Read(L"DevicePath", &var, nullptr), E_INVALIDARG);
  EXPECT_EQ(var.vt, VT_EMPTY);
  EXPECT_EQ(pEnum->Next(1, &pMoniker, nullptr), S_FALSE);
}

// The property bag of a registered device, holding what the test puts in.
class CBag final : public IPropertyBag {
 public:
  explicit CBag(LONG nIndex, bool bHasIndex = true) : m_nIndex(nIndex), m_bHasIndex(bHasIndex) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = riid == IID_IUnknown || riid == IID_IPropertyBag ? static_cast<IPropertyBag*>(this) : nullptr;
    return *ppv != nullptr ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }  // lives on the test's stack
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog*) override {
    if (std::wstring(pszPropName) != vcam::CAMERA_INDEX_PROPERTY || !m_bHasIndex) return E_INVALIDARG;
    pVar->vt = VT_I4;
    pVar->lVal = m_nIndex;
    return S_OK;
  }
  STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  LONG m_nIndex;
  bool m_bHasIndex;
};

// Registered as a system device, one filter class serves every camera: the
// device's bag names the camera, until the filter is connected.
TEST_F(VcamFilterTest, TheDeviceBagBindsTheFilterToItsCamera) {
  ComPtr<IBaseFilter> pFilter = CameraFilter(MONO_CAMERA);
  ComPtr<IPersistPropertyBag> pPersist = Query<IPersistPropertyBag>(pFilter.Get(), IID_IPersistPropertyBag);
  CBag colour(static_cast<LONG>(COLOR_CAMERA));
  ASSERT_EQ(pPersist->Load(&colour, nullptr), S_OK);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(COLOR_CAMERA));
  CBag mono(static_cast<LONG>(MONO_CAMERA));
  ASSERT_EQ(pPersist->Load(&mono, nullptr), S_OK);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA));
  AM_MEDIA_TYPE* pmt = nullptr;
  ASSERT_EQ(Query<IAMStreamConfig>(PinOf(pFilter.Get(), PINDIR_OUTPUT).Get(), IID_IAMStreamConfig)->GetFormat(&pmt), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_RGB8) << "Mono8 travels as RGB8";
  DeleteMediaType(pmt);
  CBag none(0, false);
  EXPECT_EQ(pPersist->Load(&none, nullptr), S_OK);
  CBag missing(2);
  CBag negative(-1);
  EXPECT_EQ(pPersist->Load(&missing, nullptr), E_INVALIDARG);
  EXPECT_EQ(pPersist->Load(&negative, nullptr), E_INVALIDARG);
  EXPECT_EQ(pPersist->Load(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA));
  ComPtr<IBaseFilter> pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
  ComPtr<IPin> pOut = PinOf(pFilter.Get(), PINDIR_OUTPUT);
  ComPtr<IPin> pIn = PinOf(pRenderer.Get(), PINDIR_INPUT);
  ASSERT_EQ(pOut->Connect(pIn.Get(), nullptr), S_OK);
  EXPECT_EQ(pPersist->Load(&colour, nullptr), VFW_E_WRONG_STATE);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA)) << "a connected filter keeps its camera";
  pIn->Disconnect();
  pOut->Disconnect();
}

}  // namespace
