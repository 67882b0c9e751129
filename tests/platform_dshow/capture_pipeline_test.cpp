// Whole graphs as the library builds them: source -> Sample Grabber -> Null
// Renderer for capture, source -> Sample Grabber -> video renderer for
// display.
#include <atomic>

#include "base/media_type.h"
#include "dshow_test_support.h"
#include "emul/fault.h"

namespace {

class CapturePipelineTest : public CDshowTest {
 protected:
  void SetUp() override {
    CDshowTest::SetUp();
    m_pGraph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    m_pControl = Query<IMediaControl>(m_pGraph.Get(), IID_IMediaControl);
    m_pEvent = Query<IMediaEvent>(m_pGraph.Get(), IID_IMediaEvent);
    m_pSourceFilter = CreateTestSource(&m_pSource);
    m_pGrabber = Create<ISampleGrabber>(CLSID_SampleGrabber, IID_ISampleGrabber);
    m_pGrabberFilter = Query<IBaseFilter>(m_pGrabber.Get(), IID_IBaseFilter);
    m_pRecorder = CreateRecorder();
    ASSERT_EQ(m_pGraph->AddFilter(m_pSourceFilter.Get(), L"Camera"), S_OK);
    ASSERT_EQ(m_pGraph->AddFilter(m_pGrabberFilter.Get(), L"Sample Grabber Origin"), S_OK);
  }
  void TearDown() override {
    if (m_pControl) {
      m_pControl->Stop();
    }
    m_pRecorder.Reset();
    m_pGrabberFilter.Reset();
    m_pGrabber.Reset();
    m_pSourceFilter.Reset();
    m_pEvent.Reset();
    m_pControl.Reset();
    m_pGraph.Reset();
    CDshowTest::TearDown();
  }

  // The grabber's accepted type as the library sets it: any video.
  void AcceptVideo(const GUID& subtype = GUID_NULL) {
    CMediaType mt;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = 1;
    ASSERT_EQ(m_pGrabber->SetMediaType(&mt), S_OK);
  }

  HRESULT ConnectSourceToGrabber() {
    return m_pGraph->Connect(PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT).Get(),
                             PinOf(m_pGrabberFilter.Get(), PINDIR_INPUT).Get());
  }

  void BuildCaptureGraph() {
    AcceptVideo();
    ASSERT_EQ(ConnectSourceToGrabber(), S_OK);
    ComPtr<IBaseFilter> pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
    ASSERT_EQ(m_pGraph->AddFilter(pRenderer.Get(), L"Null Renderer"), S_OK);
    ASSERT_EQ(m_pGraph->Connect(PinOf(m_pGrabberFilter.Get(), PINDIR_OUTPUT).Get(),
                                PinOf(pRenderer.Get(), PINDIR_INPUT).Get()),
              S_OK);
  }

  ComPtr<IGraphBuilder> m_pGraph;
  ComPtr<IMediaControl> m_pControl;
  ComPtr<IMediaEvent> m_pEvent;
  CTestSource* m_pSource = nullptr;
  ComPtr<IBaseFilter> m_pSourceFilter;
  ComPtr<ISampleGrabber> m_pGrabber;
  ComPtr<IBaseFilter> m_pGrabberFilter;
  ComPtr<CFrameRecorder> m_pRecorder;
};

TEST_F(CapturePipelineTest, BufferCallbackGetsEveryFrameInOrderOnTheStreamingThread) {
  BuildCaptureGraph();
  ASSERT_EQ(m_pGrabber->SetCallback(m_pRecorder.Get(), 1), S_OK);
  EXPECT_EQ(RefCount(m_pRecorder.Get()), 2u);  // the grabber holds the callback
  ASSERT_EQ(m_pControl->Run(), S_OK);
  m_pSource->Push(5);
  ASSERT_TRUE(m_pRecorder->WaitFrames(5));
  EXPECT_EQ(m_pRecorder->Sequence(), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  for (const CFrameRecorder::CFrame& frame : m_pRecorder->Frames()) {
    EXPECT_EQ(frame.dTime, frame.nSequence);  // the source's start times, in seconds
    EXPECT_EQ(frame.cbData, FRAME_BYTES);
    EXPECT_FALSE(frame.bSample);
    EXPECT_EQ(frame.thread, m_pSource->StreamingThreadId());
    EXPECT_NE(frame.thread, std::this_thread::get_id());
  }
  ASSERT_EQ(m_pControl->Stop(), S_OK);
  ASSERT_EQ(m_pGrabber->SetCallback(nullptr, 0), S_OK);
  EXPECT_EQ(RefCount(m_pRecorder.Get()), 1u);
}

TEST_F(CapturePipelineTest, RunsAndStopsWhileFramesFlowAndCallbacksChange) {
  BuildCaptureGraph();
  ComPtr<CFrameRecorder> pOther = CreateRecorder();
  size_t nExpected = 0;
  for (int nRun = 0; nRun < 10; ++nRun) {
    ASSERT_EQ(m_pControl->Run(), S_OK);
    ASSERT_EQ(m_pGrabber->SetCallback(m_pRecorder.Get(), 1), S_OK);
    m_pSource->SetFreeRunning(true);
    nExpected += 3;
    ASSERT_TRUE(m_pRecorder->WaitFrames(nExpected));
    // Replaced while the streaming thread may be calling it.
    ASSERT_EQ(m_pGrabber->SetCallback(pOther.Get(), 1), S_OK);
    ASSERT_EQ(m_pControl->Stop(), S_OK);
    nExpected = m_pRecorder->Sequence().size();
  }
  // Stopped: the streaming thread is gone, so the counts stand still.
  const size_t nOther = pOther->Sequence().size();
  ASSERT_EQ(m_pGrabber->SetCallback(nullptr, 0), S_OK);
  EXPECT_EQ(pOther->Sequence().size(), nOther);
  EXPECT_EQ(m_pRecorder->Sequence().size(), nExpected);
  EXPECT_EQ(RefCount(pOther.Get()), 1u);
}

TEST_F(CapturePipelineTest, SampleCallbackGetsTheSample) {
  BuildCaptureGraph();
  ASSERT_EQ(m_pGrabber->SetCallback(m_pRecorder.Get(), 0), S_OK);
  EXPECT_EQ(m_pGrabber->SetCallback(m_pRecorder.Get(), 2), E_INVALIDARG);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  m_pSource->Push(2);
  ASSERT_TRUE(m_pRecorder->WaitFrames(2));
  EXPECT_TRUE(m_pRecorder->Frames()[1].bSample);
  EXPECT_EQ(m_pRecorder->Sequence(), (std::vector<uint32_t>{0, 1}));
}

TEST_F(CapturePipelineTest, OneShotEndsTheStreamAndAgainOnTheNextRun) {
  BuildCaptureGraph();
  ASSERT_EQ(m_pGrabber->SetOneShot(TRUE), S_OK);
  ASSERT_EQ(m_pGrabber->SetBufferSamples(FALSE), S_OK);
  ASSERT_EQ(m_pGrabber->SetCallback(m_pRecorder.Get(), 1), S_OK);
  for (uint32_t nRun = 0; nRun < 2; ++nRun) {
    ASSERT_EQ(m_pControl->Run(), S_OK);
    m_pSource->Push(3);
    LONG lCode = 0;
    ASSERT_EQ(m_pEvent->WaitForCompletion(INFINITE, &lCode), S_OK);
    EXPECT_EQ(lCode, EC_COMPLETE);
    ASSERT_EQ(m_pControl->Stop(), S_OK);
    // One frame per run; the grabber turned the others away and the source
    // stopped sending.
    EXPECT_EQ(m_pRecorder->Sequence().size(), nRun + 1);
    EXPECT_EQ(m_pSource->LastRefusal(), S_FALSE);
  }
  EXPECT_EQ(m_pRecorder->Sequence(), (std::vector<uint32_t>{0, 1}));
}

// The graph taken apart while it still runs, as after a failed stop: the
// renderer goes first, and the grabber is stopped and cut off from it only
// once the sample in its hands has been passed on and the end of the stream
// after it.
TEST_F(CapturePipelineTest, RemovingARunningFilterWaitsForTheSampleInItsHands) {
  BuildCaptureGraph();
  ASSERT_EQ(m_pGrabber->SetOneShot(TRUE), S_OK);
  ASSERT_EQ(m_pGrabber->SetCallback(m_pRecorder.Get(), 1), S_OK);
  m_pRecorder->Hold(true);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  m_pSource->Push(1);
  ASSERT_TRUE(m_pRecorder->WaitFrames(1));
  ComPtr<IBaseFilter> pRenderer;
  ASSERT_EQ(m_pGraph->FindFilterByName(L"Null Renderer", pRenderer.ReleaseAndGetAddressOf()), S_OK);
  ASSERT_EQ(m_pGraph->RemoveFilter(pRenderer.Get()), S_OK);
  pRenderer.Reset();  // now only the grabber's connection keeps it

  std::atomic<bool> bRemoved{false};
  std::thread remover([&] {
    EXPECT_EQ(m_pGraph->RemoveFilter(m_pGrabberFilter.Get()), S_OK);
    bRemoved = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(bRemoved);
  m_pRecorder->Hold(false);
  remover.join();
  EXPECT_EQ(PeerOf(PinOf(m_pGrabberFilter.Get(), PINDIR_OUTPUT).Get()).Get(), nullptr);
}

TEST_F(CapturePipelineTest, GrabberKeepsTheLastSampleWhenAsked) {
  BuildCaptureGraph();
  LONG cbBuffer = 0;
  EXPECT_EQ(m_pGrabber->GetCurrentBuffer(&cbBuffer, nullptr), E_INVALIDARG);  // not buffering
  ASSERT_EQ(m_pGrabber->SetBufferSamples(TRUE), S_OK);
  EXPECT_EQ(m_pGrabber->GetCurrentBuffer(&cbBuffer, nullptr), VFW_E_WRONG_STATE);  // nothing yet
  ASSERT_EQ(m_pGrabber->SetCallback(m_pRecorder.Get(), 1), S_OK);
  ASSERT_EQ(m_pControl->Run(), S_OK);
  m_pSource->Push(2);
  ASSERT_TRUE(m_pRecorder->WaitFrames(2));
  ASSERT_EQ(m_pGrabber->GetCurrentBuffer(&cbBuffer, nullptr), S_OK);
  ASSERT_EQ(cbBuffer, FRAME_BYTES);
  std::vector<LONG> buffer(FRAME_BYTES / sizeof(LONG));
  LONG cbSmall = cbBuffer - 1;
  EXPECT_EQ(m_pGrabber->GetCurrentBuffer(&cbSmall, buffer.data()), E_OUTOFMEMORY);
  ASSERT_EQ(m_pGrabber->GetCurrentBuffer(&cbBuffer, buffer.data()), S_OK);
  EXPECT_EQ(buffer[0], 1);  // the second frame's sequence number
}

TEST_F(CapturePipelineTest, GrabberTakesOnlyItsMediaType) {
  CMediaType mtConnected;
  EXPECT_EQ(m_pGrabber->GetConnectedMediaType(&mtConnected), VFW_E_NOT_CONNECTED);
  AcceptVideo(MEDIASUBTYPE_RGB24);  // the source's second choice
  ASSERT_EQ(ConnectSourceToGrabber(), S_OK);
  ASSERT_EQ(m_pGrabber->GetConnectedMediaType(&mtConnected), S_OK);
  EXPECT_EQ(mtConnected.subtype, MEDIASUBTYPE_RGB24);
  EXPECT_EQ(mtConnected.lSampleSize, static_cast<ULONG>(FRAME_WIDTH * FRAME_HEIGHT * 3));
  ASSERT_NE(mtConnected.VideoInfo(), nullptr);
  EXPECT_EQ(mtConnected.VideoInfo()->bmiHeader.biWidth, FRAME_WIDTH);

  ComPtr<IPin> pOut = PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT);
  m_pGraph->Disconnect(PeerOf(pOut.Get()).Get());
  m_pGraph->Disconnect(pOut.Get());
  AcceptVideo(MEDIASUBTYPE_YUY2);  // nothing the source offers
  EXPECT_EQ(ConnectSourceToGrabber(), VFW_E_CANNOT_CONNECT);
  EXPECT_EQ(PeerOf(pOut.Get()).Get(), nullptr);

  // The output connects only once the input has a type to pass on.
  ComPtr<IBaseFilter> pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
  ASSERT_EQ(m_pGraph->AddFilter(pRenderer.Get(), L"Null Renderer"), S_OK);
  EXPECT_TRUE(FAILED(m_pGraph->Connect(PinOf(m_pGrabberFilter.Get(), PINDIR_OUTPUT).Get(),
                                       PinOf(pRenderer.Get(), PINDIR_INPUT).Get())));
}

TEST_F(CapturePipelineTest, RenderedVideoCountsFramesDrawnOnlyWhileRunning) {
  if (!HaveDisplay()) {
    GTEST_SKIP() << NO_DISPLAY;
  }
  AcceptVideo();
  ASSERT_EQ(ConnectSourceToGrabber(), S_OK);
  ComPtr<IVideoWindow> pWindow = Query<IVideoWindow>(m_pGraph.Get(), IID_IVideoWindow);
  EXPECT_EQ(pWindow->put_Owner(0x1234), E_NOINTERFACE);  // no renderer yet

  ASSERT_EQ(m_pGraph->Render(PinOf(m_pGrabberFilter.Get(), PINDIR_OUTPUT).Get()), S_OK);
  ComPtr<IBaseFilter> pRenderer;
  ASSERT_EQ(m_pGraph->FindFilterByName(L"Video Renderer", pRenderer.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IQualProp> pQuality = Query<IQualProp>(pRenderer.Get(), IID_IQualProp);
  ASSERT_EQ(m_pGrabber->SetCallback(m_pRecorder.Get(), 1), S_OK);

  int nDrawn = -1;
  ASSERT_EQ(pQuality->get_FramesDrawn(&nDrawn), S_OK);
  EXPECT_EQ(nDrawn, 0);
  ASSERT_EQ(m_pControl->Pause(), S_OK);
  m_pSource->Push(2);
  ASSERT_TRUE(m_pSource->WaitDelivered(2));
  pQuality->get_FramesDrawn(&nDrawn);
  EXPECT_EQ(nDrawn, 0);
  int nDropped = 0;
  pQuality->get_FramesDroppedInRenderer(&nDropped);
  EXPECT_EQ(nDropped, 2);

  ASSERT_EQ(m_pControl->Run(), S_OK);
  m_pSource->Push(3);
  ASSERT_TRUE(m_pSource->WaitDelivered(5));
  pQuality->get_FramesDrawn(&nDrawn);
  EXPECT_EQ(nDrawn, 3);
  EXPECT_EQ(m_pRecorder->Sequence().size(), 5u);  // the grabber saw all of them

  ASSERT_EQ(m_pControl->Stop(), S_OK);
  pQuality->get_FramesDrawn(&nDrawn);
  EXPECT_EQ(nDrawn, 3);
}

// Placement and auto-show through the library are checked by the display's
// tests; these are the refusals and the graph's forwarding.
TEST_F(CapturePipelineTest, GraphVideoWindowReachesTheRenderer) {
  if (!HaveDisplay()) {
    GTEST_SKIP() << NO_DISPLAY;
  }
  AcceptVideo();
  ASSERT_EQ(ConnectSourceToGrabber(), S_OK);
  ASSERT_EQ(m_pGraph->Render(PinOf(m_pGrabberFilter.Get(), PINDIR_OUTPUT).Get()), S_OK);
  ComPtr<IVideoWindow> pWindow = Query<IVideoWindow>(m_pGraph.Get(), IID_IVideoWindow);
  LONG nLeft = 0;
  LONG nTop = 0;
  LONG nWidth = 0;
  LONG nHeight = 0;
  ASSERT_EQ(pWindow->GetWindowPosition(&nLeft, &nTop, &nWidth, &nHeight), S_OK);
  EXPECT_EQ(nWidth, FRAME_WIDTH);  // the video's size until placed
  EXPECT_EQ(nHeight, FRAME_HEIGHT);
  EXPECT_EQ(pWindow->put_Owner(0x1234), S_OK);
  OAHWND hOwner = 0;
  ASSERT_EQ(pWindow->get_Owner(&hOwner), S_OK);
  EXPECT_EQ(hOwner, 0x1234);
  EXPECT_EQ(pWindow->put_Visible(2), E_INVALIDARG);
  emul::FailOperation("IVideoWindow::put_Owner", E_FAIL, 1);
  EXPECT_EQ(pWindow->put_Owner(0x5678), E_FAIL);
}

TEST_F(CapturePipelineTest, RenderRefusesWhatTheVideoRendererCannotShow) {
  EXPECT_EQ(m_pGraph->Render(PinOf(m_pGrabberFilter.Get(), PINDIR_INPUT).Get()), VFW_E_INVALID_DIRECTION);
  // The grabber's output has no type before its input is connected.
  EXPECT_EQ(m_pGraph->Render(PinOf(m_pGrabberFilter.Get(), PINDIR_OUTPUT).Get()), VFW_E_CANNOT_RENDER);
  ComPtr<IBaseFilter> pRenderer;
  EXPECT_EQ(m_pGraph->FindFilterByName(L"Video Renderer", pRenderer.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);
}

}  // namespace
