// The emulated DirectShow against its documented behaviour where the library
// and the behaviour suite do not reach: membership and references of the
// filter graph, connection rules, state changes, events and completion; the
// pin and filter bases and the memory allocator; the capture graph builder's
// searches; and the Sample Grabber and the renderers
// in whole graphs. The virtual camera's capture filter is the source.
#include <atomic>

#include "base/media_type.h"
#include "dshow_support.h"

namespace {

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

TEST_F(GraphTest, FinalReleaseStopsAndDisconnectsWithoutFaultPoints) {
  ComPtr<IGraphBuilder> pGraph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
  ASSERT_EQ(pGraph->AddFilter(m_pSource.Get(), L"Source"), S_OK);
  ASSERT_EQ(pGraph->AddFilter(m_pRenderer.Get(), L"Renderer"), S_OK);
  ASSERT_EQ(pGraph->Connect(m_pOut.Get(), m_pIn.Get()), S_OK);
  ASSERT_EQ(Query<IMediaControl>(pGraph.Get(), IID_IMediaControl)->Run(), S_OK);
  emul::ResetFaults();
  EXPECT_EQ(pGraph.Get()->Release(), 0u);
  (void)pGraph.Detach();
  EXPECT_TRUE(emul::CallLog().empty());
  EXPECT_EQ(StateOf(m_pSource.Get()), State_Stopped);
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), nullptr);
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
    EXPECT_EQ(m_pEvent->WaitForCompletion(INFINITE, &lCode), S_OK);
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

TEST_F(GraphTest, CaptureGraphBuilderFindsPinsAndRendersStreams) {
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

  ASSERT_EQ(pBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_pSource.Get(), pGrabber.Get(),
                                   m_pRenderer.Get()),
            S_OK);
  EXPECT_EQ(PeerOf(PinOf(pGrabber.Get(), PINDIR_OUTPUT).Get()).Get(), m_pIn.Get());
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), PinOf(pGrabber.Get(), PINDIR_INPUT).Get());
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

TEST_F(GraphTest, GrabberCallsBackOnTheStreamingThreadAndKeepsTheLastSample) {
  BuildCaptureGraph();
  ComPtr<CFrameRecorder> pRecorder(new CFrameRecorder());
  LONG cbBuffer = 0;
  EXPECT_EQ(m_pGrabber->GetCurrentBuffer(&cbBuffer, nullptr), E_INVALIDARG) << "not buffering";
  ASSERT_EQ(m_pGrabber->SetBufferSamples(TRUE), S_OK);
  EXPECT_EQ(m_pGrabber->GetCurrentBuffer(&cbBuffer, nullptr), VFW_E_WRONG_STATE) << "nothing yet";
  EXPECT_EQ(m_pGrabber->SetCallback(pRecorder.Get(), 2), E_INVALIDARG);
  ASSERT_EQ(m_pGrabber->SetCallback(pRecorder.Get(), 1), S_OK);
  EXPECT_EQ(RefCount(pRecorder.Get()), 2u) << "the grabber holds the callback";
  ASSERT_EQ(m_pControl->Run(), S_OK);
  m_clocks[COLOR_CAMERA]->Step(2);
  ASSERT_TRUE(pRecorder->WaitFrames(2));
  ASSERT_EQ(m_pGrabber->SetCallback(pRecorder.Get(), 0), S_OK);
  m_clocks[COLOR_CAMERA]->Step(1);
  ASSERT_TRUE(pRecorder->WaitFrames(3));
  ASSERT_EQ(m_pControl->Stop(), S_OK);
  EXPECT_EQ(pRecorder->Sequence(), (std::vector<uint32_t>{0, 1, 2}));
  for (const CFrameRecorder::CFrame& frame : pRecorder->Frames()) {
    EXPECT_EQ(frame.cbData, COLOR_FRAME_BYTES);
    EXPECT_NE(frame.thread, std::this_thread::get_id());
  }
  EXPECT_TRUE(pRecorder->Frames()[2].bSample);

  ASSERT_EQ(m_pGrabber->GetCurrentBuffer(&cbBuffer, nullptr), S_OK);
  ASSERT_EQ(cbBuffer, COLOR_FRAME_BYTES);
  std::vector<LONG> buffer(COLOR_FRAME_BYTES / sizeof(LONG));
  LONG cbSmall = cbBuffer - 1;
  EXPECT_EQ(m_pGrabber->GetCurrentBuffer(&cbSmall, buffer.data()), E_OUTOFMEMORY);
  ASSERT_EQ(m_pGrabber->GetCurrentBuffer(&cbBuffer, buffer.data()), S_OK);
  EXPECT_EQ(vcam::SampleSequence(reinterpret_cast<BYTE*>(buffer.data()), COLOR_FRAME_BYTES, ShapeOf(COLOR_CAMERA), false),
            2u);
  ASSERT_EQ(m_pGrabber->SetCallback(nullptr, 0), S_OK);
  EXPECT_EQ(RefCount(pRecorder.Get()), 1u);
}

// Taken apart while it still runs, as after a failed stop: the renderer goes
// first, and the grabber is stopped and cut off from it only once the sample
// in its hands has been passed on and the end of the stream after it.
TEST_F(GraphTest, RemovingARunningFilterWaitsForTheSampleInItsHands) {
  BuildCaptureGraph();
  ComPtr<CFrameRecorder> pRecorder(new CFrameRecorder());
  ASSERT_EQ(m_pGrabber->SetOneShot(TRUE), S_OK);
  ASSERT_EQ(m_pGrabber->SetCallback(pRecorder.Get(), 1), S_OK);
  pRecorder->Hold(true);
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
  pRecorder->Hold(false);
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

}  // namespace
