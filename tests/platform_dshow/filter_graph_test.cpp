// The filter graph manager: membership and references, connection, state
// changes, events and completion.
#include "base/media_type.h"
#include "dshow_test_support.h"
#include "emul/fault.h"

namespace {

class FilterGraphTest : public CDshowTest {
 protected:
  void SetUp() override {
    CDshowTest::SetUp();
    m_pGraph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    m_pControl = Query<IMediaControl>(m_pGraph.Get(), IID_IMediaControl);
    m_pEvent = Query<IMediaEvent>(m_pGraph.Get(), IID_IMediaEvent);
    m_pSourceFilter = CreateTestSource(&m_pSource);
    m_pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
  }
  void TearDown() override {
    m_pRenderer.Reset();
    m_pSourceFilter.Reset();
    m_pEvent.Reset();
    m_pControl.Reset();
    EXPECT_EQ(m_pGraph.Get()->Release(), 0u);  // the final release returns 0
    (void)m_pGraph.Detach();
    CDshowTest::TearDown();
  }

  // source -> null renderer
  void BuildChain() {
    ASSERT_EQ(m_pGraph->AddFilter(m_pSourceFilter.Get(), L"Source"), S_OK);
    ASSERT_EQ(m_pGraph->AddFilter(m_pRenderer.Get(), L"Null Renderer"), S_OK);
    ASSERT_EQ(m_pGraph->Connect(PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT).Get(),
                                PinOf(m_pRenderer.Get(), PINDIR_INPUT).Get()),
              S_OK);
  }

  static FILTER_STATE StateOf(IBaseFilter* pFilter) {
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(pFilter->GetState(0, &state), S_OK);
    return state;
  }

  OAFilterState GraphState() {
    OAFilterState state = -1;
    EXPECT_EQ(m_pControl->GetState(0, &state), S_OK);
    return state;
  }

  ComPtr<IGraphBuilder> m_pGraph;
  ComPtr<IMediaControl> m_pControl;
  ComPtr<IMediaEvent> m_pEvent;
  CTestSource* m_pSource = nullptr;
  ComPtr<IBaseFilter> m_pSourceFilter;
  ComPtr<IBaseFilter> m_pRenderer;
};

TEST_F(FilterGraphTest, HoldsItsFiltersAndLetsGoOnRemovalAndDestruction) {
  const ULONG cBefore = RefCount(m_pGraph.Get());
  ASSERT_EQ(m_pGraph->AddFilter(m_pSourceFilter.Get(), L"Source"), S_OK);
  EXPECT_EQ(RefCount(m_pSourceFilter.Get()), 2u);
  EXPECT_EQ(RefCount(m_pGraph.Get()), cBefore);  // the filter's pointer back is uncounted

  FILTER_INFO info{};
  ASSERT_EQ(m_pSourceFilter->QueryFilterInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"Source");
  ComPtr<IFilterGraph> pFilterGraph = Query<IFilterGraph>(m_pGraph.Get(), IID_IFilterGraph);
  EXPECT_EQ(info.pGraph, pFilterGraph.Get());
  info.pGraph->Release();

  EXPECT_EQ(m_pGraph->RemoveFilter(m_pSourceFilter.Get()), S_OK);
  EXPECT_EQ(RefCount(m_pSourceFilter.Get()), 1u);
  ASSERT_EQ(m_pSourceFilter->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, nullptr);
  EXPECT_EQ(m_pGraph->RemoveFilter(m_pSourceFilter.Get()), VFW_E_NOT_FOUND);

  BuildChain();
  EXPECT_EQ(RefCount(m_pSourceFilter.Get()), 3u);  // ours, the graph's, the renderer pin's
}

TEST_F(FilterGraphTest, FinalReleaseStopsAndDisconnectsWithoutFaultPoints) {
  ComPtr<IGraphBuilder> pGraph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
  ASSERT_EQ(pGraph->AddFilter(m_pSourceFilter.Get(), L"Source"), S_OK);
  ASSERT_EQ(pGraph->AddFilter(m_pRenderer.Get(), L"Renderer"), S_OK);
  ComPtr<IPin> pOut = PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT);
  ASSERT_EQ(pGraph->Connect(pOut.Get(), PinOf(m_pRenderer.Get(), PINDIR_INPUT).Get()), S_OK);
  ASSERT_EQ(Query<IMediaControl>(pGraph.Get(), IID_IMediaControl)->Run(), S_OK);
  emul::ResetFaults();
  EXPECT_EQ(pGraph.Get()->Release(), 0u);
  (void)pGraph.Detach();
  EXPECT_TRUE(emul::CallLog().empty());
  EXPECT_EQ(StateOf(m_pSourceFilter.Get()), State_Stopped);
  EXPECT_EQ(PeerOf(pOut.Get()).Get(), nullptr);
  EXPECT_EQ(RefCount(m_pRenderer.Get()), 1u);
}

TEST_F(FilterGraphTest, NamesAreUniqueAndFindable) {
  ASSERT_EQ(m_pGraph->AddFilter(m_pSourceFilter.Get(), L"Same"), S_OK);
  ASSERT_EQ(m_pGraph->AddFilter(m_pRenderer.Get(), L"Same"), S_OK);
  EXPECT_EQ(m_pGraph->AddFilter(m_pRenderer.Get(), L"Again"), E_INVALIDARG);
  EXPECT_EQ(m_pGraph->AddFilter(nullptr, L"None"), E_POINTER);
  ComPtr<IBaseFilter> pFound;
  ASSERT_EQ(m_pGraph->FindFilterByName(L"Same", pFound.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(pFound.Get(), m_pSourceFilter.Get());
  ASSERT_EQ(m_pGraph->FindFilterByName(L"Same 0001", pFound.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(pFound.Get(), m_pRenderer.Get());
  EXPECT_EQ(m_pGraph->FindFilterByName(L"Other", pFound.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);
  EXPECT_EQ(pFound.Get(), nullptr);

  ComPtr<IEnumFilters> pEnum;
  ASSERT_EQ(m_pGraph->EnumFilters(pEnum.ReleaseAndGetAddressOf()), S_OK);
  int nFilters = 0;
  while (pEnum->Next(1, pFound.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ++nFilters;
  }
  EXPECT_EQ(nFilters, 2);
}

TEST_F(FilterGraphTest, ConnectsOnlyPinsOfItsFiltersWhileStopped) {
  ComPtr<IPin> pOut = PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT);
  ComPtr<IPin> pIn = PinOf(m_pRenderer.Get(), PINDIR_INPUT);
  EXPECT_EQ(m_pGraph->Connect(pOut.Get(), pIn.Get()), VFW_E_NOT_IN_GRAPH);
  BuildChain();
  EXPECT_EQ(m_pGraph->Connect(pOut.Get(), pIn.Get()), VFW_E_ALREADY_CONNECTED);

  // One end at a time, as callers of IFilterGraph::Disconnect do.
  EXPECT_EQ(m_pGraph->Disconnect(pIn.Get()), S_OK);
  EXPECT_EQ(PeerOf(pOut.Get()).Get(), pIn.Get());
  EXPECT_EQ(m_pGraph->Disconnect(pOut.Get()), S_OK);
  EXPECT_EQ(PeerOf(pOut.Get()).Get(), nullptr);

  EXPECT_EQ(m_pGraph->Connect(pIn.Get(), pOut.Get()), VFW_E_INVALID_DIRECTION);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  EXPECT_EQ(m_pGraph->Connect(pOut.Get(), pIn.Get()), VFW_E_NOT_STOPPED);
  ASSERT_EQ(m_pControl->Stop(), S_OK);
  ASSERT_EQ(m_pGraph->ConnectDirect(pOut.Get(), pIn.Get(), nullptr), S_OK);
}

TEST_F(FilterGraphTest, RemovingAFilterBreaksItsConnections) {
  BuildChain();
  ComPtr<IPin> pOut = PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT);
  ASSERT_EQ(m_pGraph->RemoveFilter(m_pRenderer.Get()), S_OK);
  EXPECT_EQ(PeerOf(pOut.Get()).Get(), nullptr);
  EXPECT_EQ(PeerOf(PinOf(m_pRenderer.Get(), PINDIR_INPUT).Get()).Get(), nullptr);
  EXPECT_EQ(RefCount(m_pRenderer.Get()), 1u);
}

TEST_F(FilterGraphTest, MovesEveryFilterThroughTheStates) {
  BuildChain();
  EXPECT_EQ(GraphState(), State_Stopped);
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
    EXPECT_EQ(GraphState(), step.state);
    EXPECT_EQ(StateOf(m_pSourceFilter.Get()), step.state);
    EXPECT_EQ(StateOf(m_pRenderer.Get()), step.state);
  }
}

TEST_F(FilterGraphTest, AFailingFilterLeavesEveryFilterWhereItWas) {
  BuildChain();
  m_pSource->FailNextStart(E_OUTOFMEMORY);
  EXPECT_EQ(m_pControl->Run(), E_OUTOFMEMORY);
  EXPECT_EQ(GraphState(), State_Stopped);
  EXPECT_EQ(StateOf(m_pRenderer.Get()), State_Stopped);  // paused before the source, stopped again

  emul::FailOperation("IMediaControl::Run", E_FAIL, 1);
  EXPECT_EQ(m_pControl->Run(), E_FAIL);
  EXPECT_EQ(StateOf(m_pRenderer.Get()), State_Stopped);
  EXPECT_EQ(m_pControl->Run(), S_OK);
  EXPECT_EQ(StateOf(m_pRenderer.Get()), State_Running);
}

TEST_F(FilterGraphTest, StopJoinsAFreeRunningStreamingThread) {
  BuildChain();
  ASSERT_EQ(m_pControl->Run(), S_OK);
  m_pSource->SetFreeRunning(true);
  ASSERT_TRUE(m_pSource->WaitDelivered(50));
  ASSERT_EQ(m_pControl->Stop(), S_OK);
  const uint32_t nDelivered = m_pSource->Delivered();
  EXPECT_EQ(m_pSource->Delivered(), nDelivered);  // nothing streams after Stop
  // A frame refused during the stop may have ended the free run: ask again.
  m_pSource->SetFreeRunning(true);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  ASSERT_TRUE(m_pSource->WaitDelivered(nDelivered + 50));
}

TEST_F(FilterGraphTest, CompletesOnceEveryRendererHadEndOfStream) {
  BuildChain();
  LONG lCode = -1;
  EXPECT_EQ(m_pEvent->WaitForCompletion(0, &lCode), VFW_E_WRONG_STATE);  // not running
  ASSERT_EQ(m_pControl->Run(), S_OK);
  EXPECT_EQ(m_pEvent->WaitForCompletion(0, &lCode), E_ABORT);
  EXPECT_EQ(lCode, 0);

  ASSERT_EQ(PinOf(m_pRenderer.Get(), PINDIR_INPUT)->EndOfStream(), S_OK);
  EXPECT_EQ(m_pEvent->WaitForCompletion(INFINITE, &lCode), S_OK);
  EXPECT_EQ(lCode, EC_COMPLETE);
  LONG_PTR lParam1 = 0;
  LONG_PTR lParam2 = 0;
  ASSERT_EQ(m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), S_OK);
  EXPECT_EQ(lCode, EC_COMPLETE);
  EXPECT_EQ(m_pEvent->FreeEventParams(lCode, lParam1, lParam2), S_OK);
  EXPECT_EQ(m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), E_ABORT);

  // A new run waits for a new end of stream.
  ASSERT_EQ(m_pControl->Stop(), S_OK);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  EXPECT_EQ(m_pEvent->WaitForCompletion(0, &lCode), E_ABORT);
}

TEST_F(FilterGraphTest, EndOfStreamWhilePausedCompletesWhenRunning) {
  BuildChain();
  ASSERT_EQ(m_pControl->Pause(), S_OK);
  ASSERT_EQ(PinOf(m_pRenderer.Get(), PINDIR_INPUT)->EndOfStream(), S_OK);
  LONG lCode = 0;
  LONG_PTR lParam1 = 0;
  LONG_PTR lParam2 = 0;
  EXPECT_EQ(m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), E_ABORT);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  EXPECT_EQ(m_pEvent->WaitForCompletion(INFINITE, &lCode), S_OK);
  EXPECT_EQ(lCode, EC_COMPLETE);
}

TEST_F(FilterGraphTest, AbortingEventsEndTheWaitAtOnce) {
  BuildChain();
  ComPtr<IMediaEventSink> pSink = Query<IMediaEventSink>(m_pGraph.Get(), IID_IMediaEventSink);
  for (LONG lAbort : {EC_DEVICE_LOST, EC_ERRORABORT, EC_USERABORT}) {
    ASSERT_EQ(m_pControl->Run(), S_OK);
    ASSERT_EQ(pSink->Notify(lAbort, E_FAIL, 0), S_OK);
    LONG lCode = 0;
    EXPECT_EQ(m_pEvent->WaitForCompletion(INFINITE, &lCode), S_OK);
    EXPECT_EQ(lCode, lAbort);
    EXPECT_EQ(GraphState(), State_Running);  // the graph does not stop itself
    LONG_PTR lParam1 = 0;
    LONG_PTR lParam2 = 0;
    ASSERT_EQ(m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), S_OK);
    EXPECT_EQ(lCode, lAbort);
    EXPECT_EQ(lParam1, E_FAIL);
    ASSERT_EQ(m_pControl->Stop(), S_OK);
  }
}

TEST_F(FilterGraphTest, EventHandleIsSignalledWhileEventsWait) {
  ComPtr<IMediaEventSink> pSink = Query<IMediaEventSink>(m_pGraph.Get(), IID_IMediaEventSink);
  OAEVENT hEvent = 0;
  ASSERT_EQ(m_pEvent->GetEventHandle(&hEvent), S_OK);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(hEvent), 0), WAIT_TIMEOUT);
  pSink->Notify(EC_PAUSED, 0, 0);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(hEvent), 0), WAIT_OBJECT_0);
  LONG lCode = 0;
  LONG_PTR lParam1 = 0;
  LONG_PTR lParam2 = 0;
  ASSERT_EQ(m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0), S_OK);
  EXPECT_EQ(lCode, EC_PAUSED);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(hEvent), 0), WAIT_TIMEOUT);
}

TEST_F(FilterGraphTest, InterfacesShareOneIdentityAndHonourFailInterface) {
  ComPtr<IUnknown> pUnk1 = Query<IUnknown>(m_pControl.Get(), IID_IUnknown);
  ComPtr<IUnknown> pUnk2 = Query<IUnknown>(m_pEvent.Get(), IID_IUnknown);
  EXPECT_EQ(pUnk1.Get(), pUnk2.Get());
  const ULONG cRef = RefCount(m_pGraph.Get());
  ComPtr<IMediaEventEx> pEventEx = Query<IMediaEventEx>(m_pGraph.Get(), IID_IMediaEventEx);
  EXPECT_EQ(RefCount(m_pGraph.Get()), cRef + 1);
  pEventEx.Reset();
  EXPECT_EQ(RefCount(m_pGraph.Get()), cRef);

  emul::FailInterface(IID_IMediaControl);
  ComPtr<IMediaControl> pControl;
  EXPECT_EQ(m_pGraph->QueryInterface(IID_IMediaControl, pControl.ReleaseAndGetVoidAddressOf()), E_NOINTERFACE);
  EXPECT_EQ(pControl.Get(), nullptr);
  EXPECT_EQ(RefCount(m_pGraph.Get()), cRef);
}

}  // namespace
