// The emulated DirectShow against its documented behaviour where the library
// and the behaviour suite do not reach: membership and references of the
// filter graph, connection rules, state changes, events and completion; the
// pin and filter bases and the memory allocator; the capture graph builder's
// searches; and the Sample Grabber in whole graphs. The virtual camera's
// capture filter is the source of every graph. Then that filter as any
// DirectShow client sees it: the pin's category and formats, vertical
// flipping, the dropped-frame counters, the register and area property set,
// stream configuration, and the devices it is listed as.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/com_ptr.h"
#include "base/media_type.h"
#include "base/unknown.h"
#include "emul/fault.h"
#include "tests/support/emul_env.h"
#include "vcam/filter/capture_filter.h"
#include "vcam/filter/property_set.h"
#include "vcam/filter/test_support.h"
#include "vcam/model/offsets.h"

namespace {

constexpr std::size_t COLOR_CAMERA = 0;  // Format 0 mode 3 (640 x 480 UYVY) at 30 fps at power-up
constexpr std::size_t MONO_CAMERA = 1;
constexpr LONG COLOR_FRAME_BYTES = 640 * 480 * 2;
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

// The current reference count, read through AddRef and Release.
inline ULONG RefCount(IUnknown* pUnk) {
  pUnk->AddRef();
  return pUnk->Release();
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

inline HRESULT RequestArea(IKsPropertySet* pProps, LONG nLeft, LONG nTop, LONG nWidth, LONG nHeight) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  const LONG fields[] = {nLeft, nTop, nWidth, nHeight, 1};
  std::memcpy(block + 24, fields, sizeof fields);
  return pProps->Set(vcam::PROPSETID_IIDC_CAMERA, vcam::IIDC_PROPERTY_AREA, block, sizeof block, block, sizeof block);
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


class GraphTest : public CDshowTest {
 protected:
  void SetUp() override {
    CDshowTest::SetUp();
    m_pGraph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    m_pControl = Query<IMediaControl>(m_pGraph.Get(), IID_IMediaControl);
    m_pEvent = Query<IMediaEvent>(m_pGraph.Get(), IID_IMediaEvent);
    m_pSource = CameraFilter(COLOR_CAMERA);
    m_pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
    m_pOut = PinOf(m_pSource.Get(), PINDIR_OUTPUT);
    m_pIn = PinOf(m_pRenderer.Get(), PINDIR_INPUT);
  }

  void TearDown() override {
    m_pControl->Stop();
    m_pGrabberFilter.Reset();
    m_pGrabber.Reset();
    m_pIn.Reset();
    m_pOut.Reset();
    m_pRenderer.Reset();
    m_pSource.Reset();
    m_pEvent.Reset();
    m_pControl.Reset();
    EXPECT_EQ(m_pGraph.Get()->Release(), 0u) << "the final release returns 0";
    (void)m_pGraph.Detach();
    CDshowTest::TearDown();
  }

  // source -> null renderer
  void BuildChain() {
    ASSERT_EQ(m_pGraph->AddFilter(m_pSource.Get(), L"Source"), S_OK);
    ASSERT_EQ(m_pGraph->AddFilter(m_pRenderer.Get(), L"Null Renderer"), S_OK);
    ASSERT_EQ(m_pGraph->Connect(m_pOut.Get(), m_pIn.Get()), S_OK);
  }

  // source -> Sample Grabber (any video, as the library sets it) -> null renderer
  void BuildCaptureGraph(const GUID& subtype = GUID_NULL) {
    m_pGrabber = Create<ISampleGrabber>(CLSID_SampleGrabber, IID_ISampleGrabber);
    m_pGrabberFilter = Query<IBaseFilter>(m_pGrabber.Get(), IID_IBaseFilter);
    CMediaType mt;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = 1;
    ASSERT_EQ(m_pGrabber->SetMediaType(&mt), S_OK);
    ASSERT_EQ(m_pGraph->AddFilter(m_pSource.Get(), L"Camera"), S_OK);
    ASSERT_EQ(m_pGraph->AddFilter(m_pGrabberFilter.Get(), L"Sample Grabber"), S_OK);
    ASSERT_EQ(m_pGraph->Connect(m_pOut.Get(), PinOf(m_pGrabberFilter.Get(), PINDIR_INPUT).Get()), S_OK);
    if (subtype != GUID_NULL) return;
    ASSERT_EQ(m_pGraph->AddFilter(m_pRenderer.Get(), L"Null Renderer"), S_OK);
    ASSERT_EQ(m_pGraph->Connect(PinOf(m_pGrabberFilter.Get(), PINDIR_OUTPUT).Get(), m_pIn.Get()), S_OK);
  }

  static FILTER_STATE StateOf(IBaseFilter* pFilter) {
    FILTER_STATE state = State_Stopped;
    EXPECT_TRUE(SUCCEEDED(pFilter->GetState(0, &state)));
    return state;
  }

  ComPtr<IGraphBuilder> m_pGraph;
  ComPtr<IMediaControl> m_pControl;
  ComPtr<IMediaEvent> m_pEvent;
  ComPtr<IBaseFilter> m_pSource;
  ComPtr<IBaseFilter> m_pRenderer;
  ComPtr<IPin> m_pOut;
  ComPtr<IPin> m_pIn;
  ComPtr<ISampleGrabber> m_pGrabber;
  ComPtr<IBaseFilter> m_pGrabberFilter;
};

TEST_F(GraphTest, HoldsItsFiltersByUniqueNamesAndLetsGoOnRemoval) {
  const ULONG cBefore = RefCount(m_pGraph.Get());
  const ULONG cSource = RefCount(m_pSource.Get());
  ASSERT_EQ(m_pGraph->AddFilter(m_pSource.Get(), L"Same"), S_OK);
  EXPECT_EQ(RefCount(m_pSource.Get()), cSource + 1);
  EXPECT_EQ(RefCount(m_pGraph.Get()), cBefore) << "the filter's pointer back is uncounted";
  FILTER_INFO info{};
  ASSERT_EQ(m_pSource->QueryFilterInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"Same");
  EXPECT_EQ(info.pGraph, Query<IFilterGraph>(m_pGraph.Get(), IID_IFilterGraph).Get());
  info.pGraph->Release();

  ASSERT_EQ(m_pGraph->AddFilter(m_pRenderer.Get(), L"Same"), S_OK);
  EXPECT_EQ(m_pGraph->AddFilter(m_pRenderer.Get(), L"Again"), E_INVALIDARG);
  EXPECT_EQ(m_pGraph->AddFilter(nullptr, L"None"), E_POINTER);
  ComPtr<IBaseFilter> pFound;
  ASSERT_EQ(m_pGraph->FindFilterByName(L"Same 0001", pFound.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(pFound.Get(), m_pRenderer.Get());
  EXPECT_EQ(m_pGraph->FindFilterByName(L"Other", pFound.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);
  EXPECT_EQ(pFound.Get(), nullptr);

  // Removing a filter breaks its connections and lets it go.
  ASSERT_EQ(m_pGraph->Connect(m_pOut.Get(), m_pIn.Get()), S_OK);
  ASSERT_EQ(m_pGraph->RemoveFilter(m_pRenderer.Get()), S_OK);
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), nullptr);
  EXPECT_EQ(PeerOf(m_pIn.Get()).Get(), nullptr);
  EXPECT_EQ(RefCount(m_pRenderer.Get()), 2u);  // ours and m_pIn's
  EXPECT_EQ(m_pGraph->RemoveFilter(m_pSource.Get()), S_OK);
  ASSERT_EQ(m_pSource->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, nullptr);
  EXPECT_EQ(m_pGraph->RemoveFilter(m_pSource.Get()), VFW_E_NOT_FOUND);
}

TEST_F(GraphTest, ConnectsOnlyPinsOfItsFiltersWhileStoppedOneEndAtATime) {
  EXPECT_EQ(m_pGraph->Connect(m_pOut.Get(), m_pIn.Get()), VFW_E_NOT_IN_GRAPH);
  BuildChain();
  EXPECT_EQ(m_pGraph->Connect(m_pOut.Get(), m_pIn.Get()), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(PeerOf(m_pIn.Get()).Get(), m_pOut.Get());
  EXPECT_EQ(m_pGraph->Disconnect(m_pIn.Get()), S_OK);
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), m_pIn.Get());
  EXPECT_EQ(m_pIn->Disconnect(), S_FALSE);
  EXPECT_EQ(m_pGraph->Disconnect(m_pOut.Get()), S_OK);
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), nullptr);
  EXPECT_EQ(m_pGraph->Connect(m_pIn.Get(), m_pOut.Get()), VFW_E_INVALID_DIRECTION);
  EXPECT_EQ(m_pOut->Connect(PinOf(m_pSource.Get(), PINDIR_OUTPUT).Get(), nullptr), VFW_E_INVALID_DIRECTION);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  EXPECT_EQ(m_pGraph->Connect(m_pOut.Get(), m_pIn.Get()), VFW_E_NOT_STOPPED);
  ASSERT_EQ(m_pControl->Stop(), S_OK);
  ASSERT_EQ(m_pGraph->ConnectDirect(m_pOut.Get(), m_pIn.Get(), nullptr), S_OK);
  // Neither end lets go while its filter runs.
  ASSERT_EQ(m_pRenderer->Pause(), S_OK);
  EXPECT_EQ(m_pIn->Disconnect(), VFW_E_NOT_STOPPED);
  ASSERT_EQ(m_pRenderer->Stop(), S_OK);
  ASSERT_EQ(m_pSource->Pause(), S_OK);
  EXPECT_EQ(m_pOut->Disconnect(), VFW_E_NOT_STOPPED);
  ASSERT_EQ(m_pSource->Stop(), S_OK);
}

TEST_F(GraphTest, MovesEveryFilterThroughTheStates) {
  BuildChain();
  const struct {
    HRESULT (STDMETHODCALLTYPE IMediaControl::*pfnChange)();
    FILTER_STATE state;
  } steps[] = {{&IMediaControl::Pause, State_Paused},
               {&IMediaControl::Run, State_Running},
               {&IMediaControl::Stop, State_Stopped},
               {&IMediaControl::Run, State_Running},  // straight from stopped
               {&IMediaControl::StopWhenReady, State_Stopped}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.state);
    ASSERT_EQ((m_pControl.Get()->*step.pfnChange)(), S_OK);
    OAFilterState state = -1;
    EXPECT_TRUE(SUCCEEDED(m_pControl->GetState(0, &state)));
    EXPECT_EQ(state, step.state);
    EXPECT_EQ(StateOf(m_pSource.Get()), step.state);
    EXPECT_EQ(StateOf(m_pRenderer.Get()), step.state);
  }
  // A failed run leaves every filter where it was.
  emul::FailOperation("IMediaControl::Run", E_FAIL, 1);
  EXPECT_EQ(m_pControl->Run(), E_FAIL);
  EXPECT_EQ(StateOf(m_pRenderer.Get()), State_Stopped);
}

TEST_F(GraphTest, CompletesOnceEveryRendererHadEndOfStream) {
  BuildChain();
  LONG lCode = -1;
  LONG_PTR lParam1 = 0;
  LONG_PTR lParam2 = 0;
  EXPECT_EQ(m_pEvent->WaitForCompletion(0, &lCode), VFW_E_WRONG_STATE) << "not running";
  // An end of stream while paused completes once the graph runs.
  ASSERT_EQ(m_pControl->Pause(), S_OK);
  ASSERT_EQ(m_pIn->EndOfStream(), S_OK);
  EXPECT_EQ(m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), E_ABORT);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  EXPECT_EQ(m_pEvent->WaitForCompletion(5000, &lCode), S_OK);
  EXPECT_EQ(lCode, EC_COMPLETE);
  ASSERT_EQ(m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), S_OK);
  EXPECT_EQ(lCode, EC_COMPLETE);
  EXPECT_EQ(m_pEvent->FreeEventParams(lCode, lParam1, lParam2), S_OK);
  EXPECT_EQ(m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), E_ABORT) << "completion is reported once";
  // A new run waits for a new end of stream.
  ASSERT_EQ(m_pControl->Stop(), S_OK);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  EXPECT_EQ(m_pEvent->WaitForCompletion(0, &lCode), E_ABORT);
  EXPECT_EQ(lCode, 0);
}

TEST_F(GraphTest, AbortingEventsEndTheWaitAndSignalTheEventHandle) {
  BuildChain();
  ComPtr<IMediaEventSink> pSink = Query<IMediaEventSink>(m_pGraph.Get(), IID_IMediaEventSink);
  OAEVENT hEvent = 0;
  ASSERT_EQ(m_pEvent->GetEventHandle(&hEvent), S_OK);
  EXPECT_EQ(m_pEvent->GetEventHandle(nullptr), E_POINTER);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(hEvent), 0), WAIT_TIMEOUT);
  for (LONG lAbort : {EC_DEVICE_LOST, EC_ERRORABORT, EC_USERABORT}) {
    ASSERT_EQ(m_pControl->Run(), S_OK);
    ASSERT_EQ(pSink->Notify(lAbort, E_FAIL, 0), S_OK);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(hEvent), 0), WAIT_OBJECT_0);
    LONG lCode = 0;
    EXPECT_EQ(m_pEvent->WaitForCompletion(5000, &lCode), S_OK);
    EXPECT_EQ(lCode, lAbort);
    OAFilterState state = -1;
    m_pControl->GetState(0, &state);
    EXPECT_EQ(state, State_Running) << "the graph does not stop itself";
    LONG_PTR lParam1 = 0;
    LONG_PTR lParam2 = 0;
    ASSERT_EQ(m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), S_OK);
    EXPECT_EQ(lCode, lAbort);
    EXPECT_EQ(lParam1, E_FAIL);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(hEvent), 0), WAIT_TIMEOUT);
    ASSERT_EQ(m_pControl->Stop(), S_OK);
  }
}

TEST_F(GraphTest, PinsNameTheirFilterAndConnectBothEnds) {
  PIN_INFO info{};
  const ULONG cSource = RefCount(m_pSource.Get());
  ASSERT_EQ(m_pOut->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.pFilter, m_pSource.Get());
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  EXPECT_EQ(RefCount(m_pSource.Get()), cSource + 1) << "pins share their filter's count";
  info.pFilter->Release();
  LPWSTR pszId = nullptr;
  ASSERT_EQ(m_pOut->QueryId(&pszId), S_OK);
  ComPtr<IPin> pFound;
  EXPECT_EQ(m_pSource->FindPin(pszId, pFound.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(pFound.Get(), m_pOut.Get());
  CoTaskMemFree(pszId);
  EXPECT_EQ(m_pSource->FindPin(L"Nothing", pFound.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);
  EXPECT_EQ(pFound.Get(), nullptr);
  ComPtr<IMemInputPin> pMemInput;
  EXPECT_EQ(m_pOut->QueryInterface(IID_IMemInputPin, pMemInput.ReleaseAndGetVoidAddressOf()), E_NOINTERFACE);

  // Both ends hold each other, and one the type of the connection.
  const ULONG cRenderer = RefCount(m_pRenderer.Get());
  ASSERT_EQ(m_pOut->Connect(m_pIn.Get(), nullptr), S_OK);
  EXPECT_EQ(PeerOf(m_pIn.Get()).Get(), m_pOut.Get());
  CMediaType mtIn;
  ASSERT_EQ(m_pIn->ConnectionMediaType(&mtIn), S_OK);
  EXPECT_EQ(mtIn.subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(mtIn.cbFormat, sizeof(VIDEOINFOHEADER));
  // The output pin holds the input pin as IPin and as IMemInputPin.
  EXPECT_EQ(RefCount(m_pRenderer.Get()), cRenderer + 2);
  EXPECT_EQ(m_pOut->Connect(m_pIn.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(m_pIn->Disconnect(), S_OK);
  EXPECT_EQ(m_pOut->Disconnect(), S_OK);
  ComPtr<IPin> pPeer;
  EXPECT_EQ(m_pOut->ConnectedTo(pPeer.ReleaseAndGetAddressOf()), VFW_E_NOT_CONNECTED);
  CMediaType mtNone;
  EXPECT_EQ(m_pOut->ConnectionMediaType(&mtNone), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(mtNone.pbFormat, nullptr);
  EXPECT_EQ(RefCount(m_pRenderer.Get()), cRenderer);

  // A type the source does not have is refused at both ends.
  CMediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = MEDIASUBTYPE_YUY2;
  mt.formattype = FORMAT_VideoInfo;
  EXPECT_TRUE(FAILED(m_pOut->Connect(m_pIn.Get(), &mt)));
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), nullptr);
  EXPECT_EQ(PeerOf(m_pIn.Get()).Get(), nullptr);

  // The pins' own calls while connecting are part of IPin::Connect; a
  // fault point fails the caller's operation only.
  emul::ResetFaults();
  ASSERT_EQ(m_pOut->Connect(m_pIn.Get(), nullptr), S_OK);
  EXPECT_EQ(emul::CallCount("IPin::Connect"), 1);
  EXPECT_EQ(emul::CallCount("IPin::ReceiveConnection"), 0);
  emul::FailOperation("IPin::ConnectedTo", E_UNEXPECTED, 1);
  EXPECT_EQ(m_pOut->ConnectedTo(pPeer.ReleaseAndGetAddressOf()), E_UNEXPECTED);
  EXPECT_EQ(pPeer.Get(), nullptr);
  EXPECT_EQ(m_pOut->ConnectedTo(pPeer.ReleaseAndGetAddressOf()), S_OK);
  m_pIn->Disconnect();
  m_pOut->Disconnect();
}

TEST_F(GraphTest, InputRefusesSamplesWhileStoppedAndAfterTheEndOfStream) {
  ASSERT_EQ(m_pOut->Connect(m_pIn.Get(), nullptr), S_OK);
  ComPtr<IMemInputPin> pMemInput = Query<IMemInputPin>(m_pIn.Get(), IID_IMemInputPin);
  ComPtr<IMemAllocator> pAllocator;
  ASSERT_EQ(pMemInput->GetAllocator(pAllocator.ReleaseAndGetAddressOf()), S_OK);
  ALLOCATOR_PROPERTIES props{};
  ASSERT_EQ(pAllocator->GetProperties(&props), S_OK);
  EXPECT_GE(props.cbBuffer, COLOR_FRAME_BYTES) << "agreed at connection time";
  ASSERT_EQ(pAllocator->Commit(), S_OK);
  ComPtr<IMediaSample> pSample;
  ASSERT_EQ(pAllocator->GetBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(pMemInput->Receive(pSample.Get()), VFW_E_WRONG_STATE);
  EXPECT_EQ(m_pIn->EndOfStream(), VFW_E_WRONG_STATE);
  ASSERT_EQ(m_pRenderer->Run(0), S_OK);
  EXPECT_EQ(pMemInput->Receive(pSample.Get()), S_OK);
  EXPECT_EQ(m_pIn->EndOfStream(), S_OK);
  EXPECT_TRUE(FAILED(pMemInput->Receive(pSample.Get())));
  EXPECT_EQ(m_pRenderer->Stop(), S_OK);
  pSample.Reset();
  pAllocator.Reset();
  m_pIn->Disconnect();
  m_pOut->Disconnect();
}

TEST_F(GraphTest, EnumeratorsWalkSkipResetAndCloneAndKeepTheirFilter) {
  ComPtr<IEnumPins> pEnum;
  ASSERT_EQ(m_pRenderer->EnumPins(pEnum.ReleaseAndGetAddressOf()), S_OK);
  IPin* apPins[3] = {};
  ULONG cFetched = 0;
  EXPECT_EQ(pEnum->Next(3, apPins, nullptr), E_POINTER);
  EXPECT_EQ(pEnum->Next(3, apPins, &cFetched), S_FALSE);
  ASSERT_EQ(cFetched, 1u);
  EXPECT_EQ(apPins[0], m_pIn.Get());
  apPins[0]->Release();
  EXPECT_EQ(pEnum->Reset(), S_OK);
  EXPECT_EQ(pEnum->Skip(1), S_OK) << "exactly the pins there are";
  EXPECT_EQ(pEnum->Next(1, apPins, nullptr), S_FALSE);
  EXPECT_EQ(pEnum->Reset(), S_OK);
  ComPtr<IEnumPins> pClone;
  ASSERT_EQ(pEnum->Clone(pClone.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(pEnum->Skip(2), S_FALSE);
  ComPtr<IPin> pPin;
  EXPECT_EQ(pClone->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr), S_OK) << "a clone keeps its own place";
  // The enumerator keeps the filter alive after the caller lets it go.
  pPin.Reset();
  m_pIn.Reset();
  m_pRenderer.Reset();
  EXPECT_EQ(pEnum->Reset(), S_OK);
  EXPECT_EQ(pEnum->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr), S_OK);
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
  for (const ALLOCATOR_PROPERTIES& bad : {ALLOCATOR_PROPERTIES{2, 100, 3, 0}, ALLOCATOR_PROPERTIES{2, 0, 16, 0},
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
}

TEST_F(MemAllocatorTest, HandsOutEachBufferOnceUntilItComesBackCleared) {
  ComPtr<IMemAllocator> p = Committed(2);
  ComPtr<IMediaSample> pA;
  ComPtr<IMediaSample> pB;
  ComPtr<IMediaSample> pC;
  ASSERT_EQ(p->GetBuffer(pA.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(p->GetBuffer(pB.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  EXPECT_NE(pA.Get(), pB.Get());
  EXPECT_EQ(p->GetBuffer(pC.ReleaseAndGetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
  REFERENCE_TIME tStart = 10;
  REFERENCE_TIME tStop = 20;
  pA->SetTime(&tStart, &tStop);
  LONGLONG llStart = 1;
  LONGLONG llStop = 2;
  EXPECT_TRUE(FAILED(pA->GetMediaTime(&llStart, &llStop)));
  EXPECT_EQ(pA->SetMediaTime(&llStart, nullptr), S_OK);
  EXPECT_TRUE(FAILED(pA->GetMediaTime(&llStart, &llStop))) << "a half time is none";
  EXPECT_EQ(pA->SetMediaTime(&llStart, &llStop), S_OK);
  EXPECT_EQ(pA->GetMediaTime(&llStart, &llStop), S_OK);
  pA->SetSyncPoint(TRUE);
  IMediaSample* pRaw = pA.Get();
  pA.Reset();  // back to the pool, its properties cleared
  ASSERT_EQ(p->GetBuffer(pC.ReleaseAndGetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
  EXPECT_EQ(pC.Get(), pRaw);
  EXPECT_EQ(pC->IsSyncPoint(), S_FALSE);
  EXPECT_EQ(pC->GetTime(&tStart, &tStop), VFW_E_SAMPLE_TIME_NOT_SET);
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
  EXPECT_EQ(p.Get()->Release(), 1u) << "the sample's reference remains";
  (void)p.Detach();
  BYTE* pData = nullptr;
  ASSERT_EQ(pHeld->GetPointer(&pData), S_OK);
  pData[0] = 1;
  EXPECT_EQ(pHeld.Get()->Release(), 0u) << "the allocator goes with it";
  (void)pHeld.Detach();
}

TEST_F(GraphTest, CaptureGraphBuilderFindsPinsAndInterfaces) {
  ComPtr<ICaptureGraphBuilder2> pBuilder =
      Create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2);
  ComPtr<IGraphBuilder> pGraph;
  EXPECT_EQ(pBuilder->GetFiltergraph(pGraph.ReleaseAndGetAddressOf()), E_UNEXPECTED);
  ASSERT_EQ(pBuilder->SetFiltergraph(m_pGraph.Get()), S_OK);
  EXPECT_EQ(pBuilder->SetFiltergraph(m_pGraph.Get()), E_UNEXPECTED);
  ASSERT_EQ(pBuilder->GetFiltergraph(pGraph.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(pGraph.Get(), m_pGraph.Get());

  ComPtr<IBaseFilter> pGrabber = Create<IBaseFilter>(CLSID_SampleGrabber, IID_IBaseFilter);
  ASSERT_EQ(m_pGraph->AddFilter(m_pSource.Get(), L"Camera"), S_OK);
  ASSERT_EQ(m_pGraph->AddFilter(pGrabber.Get(), L"Sample Grabber"), S_OK);
  ASSERT_EQ(m_pGraph->AddFilter(m_pRenderer.Get(), L"Null Renderer"), S_OK);
  const auto Find = [&](IUnknown* pFrom, PIN_DIRECTION dir, const GUID* pCategory, const GUID* pType,
                        BOOL fUnconnected, int num) {
    ComPtr<IPin> pPin;
    const HRESULT hr = pBuilder->FindPin(pFrom, dir, pCategory, pType, fUnconnected, num, pPin.ReleaseAndGetAddressOf());
    EXPECT_EQ(SUCCEEDED(hr), pPin.Get() != nullptr);
    return pPin;
  };
  EXPECT_EQ(Find(m_pSource.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0).Get(), m_pOut.Get());
  EXPECT_FALSE(Find(m_pSource.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, nullptr, FALSE, 0));
  EXPECT_FALSE(Find(m_pSource.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 1));
  EXPECT_FALSE(Find(m_pSource.Get(), PINDIR_INPUT, nullptr, nullptr, FALSE, 0));
  EXPECT_FALSE(Find(m_pSource.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Stream, FALSE, 0));
  EXPECT_FALSE(Find(pGrabber.Get(), PINDIR_INPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 0)) << "no category there";
  EXPECT_EQ(Find(m_pOut.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0).Get(), m_pOut.Get()) << "a pin is itself";
  IPin* pNull = nullptr;
  EXPECT_EQ(pBuilder->FindPin(nullptr, PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0, &pNull), E_POINTER);

  ASSERT_EQ(m_pGraph->Connect(m_pOut.Get(), PinOf(pGrabber.Get(), PINDIR_INPUT).Get()), S_OK);
  ASSERT_EQ(m_pGraph->Connect(PinOf(pGrabber.Get(), PINDIR_OUTPUT).Get(), m_pIn.Get()), S_OK);
  EXPECT_FALSE(Find(m_pSource.Get(), PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0)) << "unconnected only";

  // Interfaces: on the filter's own pins, downstream, and upstream only
  // when asked; what a search hands out carries one reference.
  ComPtr<IUnknown> pFound;
  const auto Search = [&](const GUID* pCategory, IBaseFilter* pFilter, REFIID iid) {
    return pBuilder->FindInterface(pCategory, nullptr, pFilter, iid, pFound.ReleaseAndGetVoidAddressOf());
  };
  EXPECT_EQ(Search(nullptr, m_pSource.Get(), IID_ISampleGrabber), S_OK);
  EXPECT_EQ(Search(nullptr, m_pSource.Get(), IID_IAMStreamConfig), S_OK);
  EXPECT_EQ(Search(&LOOK_UPSTREAM_ONLY, m_pRenderer.Get(), IID_IAMStreamConfig), S_OK);
  EXPECT_EQ(Search(&LOOK_DOWNSTREAM_ONLY, m_pRenderer.Get(), IID_ISampleGrabber), E_NOINTERFACE);
  EXPECT_EQ(pFound.Get(), nullptr);
  EXPECT_EQ(Search(nullptr, m_pSource.Get(), IID_IQualProp), E_NOINTERFACE);
  ASSERT_EQ(Search(&PIN_CATEGORY_CAPTURE, m_pSource.Get(), IID_ISampleGrabber), S_OK);
  const ULONG cRef = RefCount(pFound.Get());
  ComPtr<IUnknown> pAgain;
  ASSERT_EQ(pBuilder->FindInterface(nullptr, nullptr, m_pSource.Get(), IID_ISampleGrabber,
                                    pAgain.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_EQ(RefCount(pFound.Get()), cRef + 1);
}

// Taken apart while it still runs, as after a failed stop: the renderer goes
// first, and the grabber is stopped and cut off from it only once the sample
// in its hands has been passed on and the end of the stream after it.
TEST_F(GraphTest, RemovingARunningFilterWaitsForTheSampleInItsHands) {
  BuildCaptureGraph();
  ComPtr<CHoldingCallback> pRecorder(new CHoldingCallback());
  ASSERT_EQ(m_pGrabber->SetOneShot(TRUE), S_OK);
  ASSERT_EQ(m_pGrabber->SetCallback(pRecorder.Get(), 1), S_OK);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  m_clocks[COLOR_CAMERA]->Step(1);
  ASSERT_TRUE(pRecorder->WaitFrames(1));
  ASSERT_EQ(m_pGraph->RemoveFilter(m_pRenderer.Get()), S_OK);
  std::atomic<bool> bRemoved{false};
  std::thread remover([&] {
    EXPECT_EQ(m_pGraph->RemoveFilter(m_pGrabberFilter.Get()), S_OK);
    bRemoved = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(bRemoved);
  pRecorder->LetGo();
  remover.join();
  EXPECT_EQ(PeerOf(PinOf(m_pGrabberFilter.Get(), PINDIR_OUTPUT).Get()).Get(), nullptr);
  ASSERT_EQ(m_pGrabber->SetCallback(nullptr, 0), S_OK);
}

TEST_F(GraphTest, GrabberTakesOnlyItsMediaType) {
  m_pGrabber = Create<ISampleGrabber>(CLSID_SampleGrabber, IID_ISampleGrabber);
  CMediaType mtConnected;
  EXPECT_EQ(m_pGrabber->GetConnectedMediaType(&mtConnected), VFW_E_NOT_CONNECTED);
  BuildCaptureGraph(MEDIASUBTYPE_UYVY);
  ASSERT_EQ(m_pGrabber->GetConnectedMediaType(&mtConnected), S_OK);
  EXPECT_EQ(mtConnected.subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(mtConnected.lSampleSize, static_cast<ULONG>(COLOR_FRAME_BYTES));
  ASSERT_NE(mtConnected.VideoInfo(), nullptr);
  EXPECT_EQ(mtConnected.VideoInfo()->bmiHeader.biWidth, 640);
  m_pGraph->Disconnect(PeerOf(m_pOut.Get()).Get());
  m_pGraph->Disconnect(m_pOut.Get());
  CMediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = MEDIASUBTYPE_YUY2;  // nothing the source offers
  ASSERT_EQ(m_pGrabber->SetMediaType(&mt), S_OK);
  EXPECT_EQ(m_pGraph->Connect(m_pOut.Get(), PinOf(m_pGrabberFilter.Get(), PINDIR_INPUT).Get()), VFW_E_CANNOT_CONNECT);
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), nullptr);
  // The output connects only once the input has a type to pass on, and
  // nothing renders it before.
  ASSERT_EQ(m_pGraph->AddFilter(m_pRenderer.Get(), L"Null Renderer"), S_OK);
  ComPtr<IPin> pGrabberOut = PinOf(m_pGrabberFilter.Get(), PINDIR_OUTPUT);
  EXPECT_TRUE(FAILED(m_pGraph->Connect(pGrabberOut.Get(), m_pIn.Get())));
  EXPECT_EQ(m_pGraph->Render(pGrabberOut.Get()), VFW_E_CANNOT_RENDER);
  EXPECT_EQ(m_pGraph->Render(PinOf(m_pGrabberFilter.Get(), PINDIR_INPUT).Get()), VFW_E_INVALID_DIRECTION);
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

  // Capability i's media type (owned) and capability block.
  CMediaTypePtr Caps(int i, VIDEO_STREAM_CONFIG_CAPS* pCaps = nullptr) {
    VIDEO_STREAM_CONFIG_CAPS caps{};
    CMediaTypePtr pmt;
    EXPECT_EQ(m_pConfig->GetStreamCaps(i, &pmt, reinterpret_cast<BYTE*>(&caps)), S_OK);
    if (pCaps != nullptr) *pCaps = caps;
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

TEST_F(VcamFilterTest, ThePinIsACapturePinOfTheFormatInForce) {
  ComPtr<IKsPropertySet> pPinProps = Query<IKsPropertySet>(m_pPin.Get(), IID_IKsPropertySet);
  GUID category{};
  DWORD cbReturned = 0;
  ASSERT_EQ(pPinProps->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &cbReturned),
            S_OK);
  EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
  EXPECT_EQ(cbReturned, sizeof(GUID));
  EXPECT_EQ(pPinProps->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category),
            E_PROP_ID_UNSUPPORTED);
  std::uint32_t dwValue = 0;
  EXPECT_EQ(ReadRegister(pPinProps.Get(), 0x608, &dwValue), S_OK) << "the camera's own set passes through";

  ComPtr<IEnumMediaTypes> pEnum;
  ASSERT_EQ(m_pPin->EnumMediaTypes(&pEnum), S_OK);
  CMediaTypePtr pmt;
  ASSERT_EQ(pEnum->Next(1, &pmt, nullptr), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(pmt->lSampleSize, static_cast<ULONG>(COLOR_FRAME_BYTES));
  EXPECT_EQ(m_pPin->QueryAccept(pmt.Get()), S_OK);
  CMediaTypePtr pNext;
  EXPECT_EQ(pEnum->Next(1, &pNext, nullptr), S_FALSE);
  pmt.VideoInfo()->bmiHeader.biWidth = 320;
  EXPECT_NE(m_pPin->QueryAccept(pmt.Get()), S_OK);

  // A paused live source cannot cue; the counters start at zero.
  ASSERT_EQ(m_pFilter->Pause(), S_OK);
  FILTER_STATE state{};
  EXPECT_EQ(m_pFilter->GetState(0, &state), VFW_S_CANT_CUE);
  EXPECT_EQ(state, State_Paused);
  ASSERT_EQ(m_pFilter->Stop(), S_OK);
  EXPECT_EQ(m_pFilter->GetState(0, &state), S_OK);
  ComPtr<IAMDroppedFrames> pDropped = Query<IAMDroppedFrames>(m_pFilter.Get(), IID_IAMDroppedFrames);
  LONG n = -1;
  ASSERT_EQ(pDropped->GetNumNotDropped(&n), S_OK);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(pDropped->GetNumDropped(&n), S_OK);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(pDropped->GetAverageFrameSize(&n), S_OK);
  EXPECT_EQ(n, COLOR_FRAME_BYTES);
  EXPECT_EQ(pDropped->GetNumNotDropped(nullptr), E_POINTER);
}

TEST_F(VcamFilterTest, VideoControlFlipsVerticallyOnlyAndListsRatesOfAMode) {
  ComPtr<IAMVideoControl> pControl = Query<IAMVideoControl>(m_pFilter.Get(), IID_IAMVideoControl);
  LONG nFlags = 0;
  ASSERT_EQ(pControl->GetCaps(m_pPin.Get(), &nFlags), S_OK);
  EXPECT_EQ(nFlags, VideoControlFlag_FlipVertical);
  EXPECT_EQ(pControl->SetMode(m_pPin.Get(), VideoControlFlag_FlipVertical), S_OK);
  LONG nMode = 0;
  ASSERT_EQ(pControl->GetMode(m_pPin.Get(), &nMode), S_OK);
  EXPECT_EQ(nMode, VideoControlFlag_FlipVertical);
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
}

TEST_F(VcamFilterTest, StreamConfigurationChecksItsArguments) {
  VIDEO_STREAM_CONFIG_CAPS caps{};
  AM_MEDIA_TYPE* pNone = nullptr;
  int nCount = 0;
  EXPECT_EQ(m_pConfig->GetStreamCaps(11, &pNone, reinterpret_cast<BYTE*>(&caps)), S_FALSE) << "one past the 11 modes";
  EXPECT_EQ(pNone, nullptr);
  EXPECT_EQ(m_pConfig->GetStreamCaps(-1, &pNone, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);
  EXPECT_EQ(m_pConfig->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE*>(&caps)), E_POINTER);
  EXPECT_EQ(m_pConfig->GetStreamCaps(0, &pNone, nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->GetNumberOfCapabilities(&nCount, nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->SetFormat(nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->GetFormat(nullptr), E_POINTER);
}

// A rate the mode lacks (Format 1 mode 0 has no 30 fps; 10 fps is no IIDC
// rate), a type no mode matches, or the refuse switch: the request fails,
// is logged as failed, and the mode and rate in force stay.
TEST_F(VcamFilterTest, RefusedFormatRequestsChangeNothing) {
  EXPECT_TRUE(FAILED(SetFormatWithInterval(CapsIndexOf(1, 0), 333333)));
  EXPECT_TRUE(FAILED(SetFormatWithInterval(CapsIndexOf(0, 3), 1000000)));
  const auto request = vcam::GetDriverLog(COLOR_CAMERA)->LastFormatRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->shape.llInterval, 1000000);
  EXPECT_TRUE(FAILED(request->hrResult));
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

TEST_F(VcamFilterTest, FormatInFormat7FollowsImageSizeAndColorCoding) {
  ASSERT_EQ(WriteRegister(m_pProps.Get(), vcam::CUR_V_FORMAT, 7u << 29), S_OK);
  ASSERT_EQ(WriteRegister(m_pProps.Get(), vcam::CUR_V_MODE, 1u << 29), S_OK);  // binned: YUV422
  ASSERT_EQ(RequestArea(m_pProps.Get(), 0, 0, 320, 240), S_OK);
  CMediaTypePtr pmt;
  ASSERT_EQ(m_pConfig->GetFormat(&pmt), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(pmt.VideoInfo()->bmiHeader.biWidth, 320);
  EXPECT_EQ(pmt.VideoInfo()->bmiHeader.biHeight, 240);
  EXPECT_EQ(pmt->lSampleSize, 320u * 240 * 2);
  const std::uint32_t dwBlock = vcam::CsrQuadletToOffset(Read(vcam::VCsrInq7(1)));
  ASSERT_EQ(WriteRegister(m_pProps.Get(), dwBlock + vcam::F7_COLOR_CODING_ID, vcam::COLOR_MONO8 << 24), S_OK);
  ASSERT_EQ(m_pConfig->GetFormat(&pmt), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_RGB8);
  EXPECT_EQ(pmt->lSampleSize, 320u * 240);
  EXPECT_EQ(m_pConfig->SetFormat(pmt.Get()), S_OK) << "a rate request in Format 7 hands back the type in force";
}

// The device enumerator's monikers for the active set, which it asks for
// afresh at every enumeration, and their friendly names.
std::vector<ComPtr<IMoniker>> Monikers(HRESULT hrExpected = S_OK) {
  ComPtr<ICreateDevEnum> pDevEnum = Create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
  ComPtr<IEnumMoniker> pEnum;
  EXPECT_EQ(pDevEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &pEnum, 0), hrExpected);
  std::vector<ComPtr<IMoniker>> monikers;
  ComPtr<IMoniker> pMoniker;
  while (pEnum && pEnum->Next(1, &pMoniker, nullptr) == S_OK) monikers.push_back(pMoniker);
  return monikers;
}

std::wstring FriendlyName(IMoniker* pMoniker) {
  ComPtr<IPropertyBag> pBag;
  EXPECT_EQ(pMoniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, pBag.ReleaseAndGetVoidAddressOf()), S_OK);
  VARIANT var;
  VariantInit(&var);
  EXPECT_EQ(pBag->Read(L"FriendlyName", &var, nullptr), S_OK);
  const std::wstring name = var.vt == VT_BSTR ? var.bstrVal : L"";
  VariantClear(&var);
  EXPECT_EQ(pBag->Read(L"DevicePath", &var, nullptr), E_INVALIDARG);
  EXPECT_EQ(var.vt, VT_EMPTY);
  return name;
}

TEST_F(VcamFilterTest, DevicesAreTheActiveSetByFriendlyNameAndBindToTheirCameras) {
  std::vector<ComPtr<IMoniker>> monikers = Monikers();
  ASSERT_EQ(monikers.size(), 2u);
  EXPECT_EQ(RefCount(monikers[0].Get()), 1u) << "the enumerator is gone; only ours remains";
  EXPECT_EQ(FriendlyName(monikers[0].Get()), L"Virtual Optics VC-1280C");
  EXPECT_EQ(FriendlyName(monikers[1].Get()), L"Virtual Optics VM-1024M");
  const long nLive = emul::LiveComObjects();
  for (std::size_t i = 0; i < monikers.size(); ++i) {
    ComPtr<IBaseFilter> pFilter;
    ASSERT_EQ(monikers[i]->BindToObject(nullptr, nullptr, IID_IBaseFilter, pFilter.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(i));
    EXPECT_EQ(pFilter.Get()->Release(), 0u) << "made with one reference";
    (void)pFilter.Detach();
  }
  EXPECT_EQ(emul::LiveComObjects(), nLive);
  ComPtr<IUnknown> pOther;
  EXPECT_EQ(monikers[0]->BindToObject(nullptr, nullptr, IID_IMediaControl, pOther.ReleaseAndGetVoidAddressOf()),
            E_NOINTERFACE);
  monikers.clear();

  std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
  set.resize(1);
  set[0].strFriendlyName = "Bench camera \xC3\xA9";  // UTF-8 e-acute
  m_clocks = vcam::InstallSteppedCameraSet(set);
  monikers = Monikers();
  ASSERT_EQ(monikers.size(), 1u);
  EXPECT_EQ(FriendlyName(monikers[0].Get()), L"Bench camera \u00E9");
  monikers.clear();
  vcam::SetActiveCameraSet({});
  EXPECT_TRUE(Monikers(S_FALSE).empty()) << "an empty category gives no enumerator";
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
