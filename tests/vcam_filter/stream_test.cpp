// Frames through capture filter -> Sample Grabber -> Null Renderer in the
// emulated graph, on the cameras' stepped clocks.
#include "tests/vcam_filter/vcam_test.h"

namespace vcam_test {
namespace {

constexpr DWORD COMPLETION_WAIT_MS = 20000;

class CStreamTest : public CVcamTest {
 protected:
  void TearDown() override {
    m_graph.Release();
    m_pRecorder.reset();
    CVcamTest::TearDown();
  }

  // Builds the capture graph on a new filter of camera nCamera, its grabber
  // calling a recorder that expects the camera's shape.
  CFrameRecorder& Build(std::size_t nCamera) {
    m_pRecorder = std::make_unique<CFrameRecorder>(Shape(nCamera));
    EXPECT_EQ(m_graph.Build(CreateFilter(nCamera).Get()), S_OK);
    if (m_graph.pGrabber) {
      EXPECT_EQ(m_graph.pGrabber->SetCallback(m_pRecorder.get(), 1), S_OK);
    }
    return *m_pRecorder;
  }
  vcam::VideoShape Shape(std::size_t nCamera) {
    const vcam::StreamInfo stream = vcam::GetCameraModel(nCamera)->GetStream();
    return vcam::VideoShape{stream.nColor, stream.nWidth, stream.nHeight, stream.llInterval};
  }

  CCaptureGraph m_graph;
  std::unique_ptr<CFrameRecorder> m_pRecorder;  // outlives the graph that calls it
};

TEST_F(CStreamTest, StopEndsTheStreamWhileTheClockHoldsTheNextFrame) {
  CFrameRecorder& recorder = Build(COLOR_CAMERA);
  for (int nRun = 0; nRun < 3; ++nRun) {
    ASSERT_EQ(m_graph.pControl->Run(), S_OK);
    ASSERT_EQ(m_graph.pControl->Stop(), S_OK);  // the thread waits for a step that never comes
  }
  ASSERT_EQ(m_graph.pControl->Run(), S_OK);
  m_clocks[COLOR_CAMERA]->Step(1);
  ASSERT_TRUE(recorder.WaitForFrames(1));
  ASSERT_EQ(m_graph.pControl->Pause(), S_OK);
  ASSERT_EQ(m_graph.pControl->Run(), S_OK);
  m_clocks[COLOR_CAMERA]->Step(1);
  ASSERT_TRUE(recorder.WaitForFrames(2));
  ASSERT_EQ(m_graph.pControl->Stop(), S_OK);
  EXPECT_EQ(recorder.Sequences(), (std::vector<std::uint32_t>{0, 1}));
}

TEST_F(CStreamTest, LettingGoOfARunningGraphEndsTheStream) {
  CFrameRecorder& recorder = Build(COLOR_CAMERA);
  ASSERT_EQ(m_graph.pControl->Run(), S_OK);
  m_clocks[COLOR_CAMERA]->Step(1);
  ASSERT_TRUE(recorder.WaitForFrames(1));
  m_graph.pControl.Reset();  // nobody stops it: the last references go while it runs
  m_graph.Release();
  EXPECT_EQ(recorder.Lengths().size(), 1u);
}

TEST_F(CStreamTest, AOneShotGrabberEndsTheStreamAfterOneFrame) {
  CFrameRecorder& recorder = Build(COLOR_CAMERA);
  ASSERT_EQ(m_graph.pGrabber->SetOneShot(TRUE), S_OK);
  ASSERT_EQ(m_graph.pControl->Run(), S_OK);
  m_clocks[COLOR_CAMERA]->Step(3);
  LONG lEvent = 0;
  ASSERT_EQ(m_graph.pEvent->WaitForCompletion(COMPLETION_WAIT_MS, &lEvent), S_OK);
  EXPECT_EQ(lEvent, EC_COMPLETE);
  ASSERT_EQ(m_graph.pControl->Stop(), S_OK);
  EXPECT_EQ(recorder.Lengths().size(), 1u);
  EXPECT_EQ(m_clocks[COLOR_CAMERA]->FramesTaken(), 1u);
}

TEST_F(CStreamTest, AnOversizeMakesEverySampleLongerThanNegotiated) {
  vcam::GetCameraFaults(COLOR_CAMERA)->cbOversize = 100;
  CFrameRecorder& recorder = Build(COLOR_CAMERA);
  AM_MEDIA_TYPE mt{};
  ASSERT_EQ(m_graph.pGrabber->GetConnectedMediaType(&mt), S_OK);
  EXPECT_EQ(mt.lSampleSize, 614400u);
  FreeMediaType(mt);
  ASSERT_EQ(m_graph.pControl->Run(), S_OK);
  m_clocks[COLOR_CAMERA]->Step(2);
  ASSERT_TRUE(recorder.WaitForFrames(2));
  ASSERT_EQ(m_graph.pControl->Stop(), S_OK);
  EXPECT_EQ(recorder.Lengths(), std::vector<LONG>(2, 614400 + 100));
  EXPECT_EQ(recorder.Sequences(), (std::vector<std::uint32_t>{0, 1}));
}

}  // namespace
}  // namespace vcam_test
