// Frames through capture filter -> Sample Grabber -> Null Renderer in the
// emulated graph, on the cameras' stepped clocks.
#include <cstring>
#include <span>

#include "tests/vcam_filter/vcam_test.h"
#include "vcam/model/offsets.h"
#include "vcam/model/pattern.h"

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
  // calling a recorder that expects the camera's shape in the given row order.
  CFrameRecorder& Build(std::size_t nCamera, bool bFlip = false) {
    m_pRecorder = std::make_unique<CFrameRecorder>(Shape(nCamera), bFlip);
    EXPECT_EQ(m_graph.Build(CreateFilter(nCamera).Get()), S_OK);
    if (m_graph.pGrabber) {
      EXPECT_EQ(m_graph.pGrabber->SetCallback(m_pRecorder.get(), 1), S_OK);
    }
    return *m_pRecorder;
  }
  void SetVideoMode(LONG nMode) {
    ComPtr<IAMVideoControl> pControl;
    ASSERT_EQ(m_graph.pCapture.As(IID_IAMVideoControl, pControl), S_OK);
    ASSERT_EQ(pControl->SetMode(OutputPin(m_graph.pCapture.Get()).Get(), nMode), S_OK);
  }
  LONG Delivered() {
    ComPtr<IAMDroppedFrames> pDropped;
    EXPECT_EQ(m_graph.pCapture.As(IID_IAMDroppedFrames, pDropped), S_OK);
    LONG n = -1;
    EXPECT_EQ(pDropped->GetNumNotDropped(&n), S_OK);
    return n;
  }
  vcam::VideoShape Shape(std::size_t nCamera) {
    const vcam::StreamInfo stream = vcam::GetCameraModel(nCamera)->GetStream();
    return vcam::VideoShape{stream.nColor, stream.nWidth, stream.nHeight, stream.llInterval};
  }

  CCaptureGraph m_graph;
  std::unique_ptr<CFrameRecorder> m_pRecorder;  // outlives the graph that calls it
};

// Every stream starts its sequence numbers and its delivered count at zero.
TEST_F(CStreamTest, DeliversOneSamplePerSteppedFrameWithRisingSequenceNumbers) {
  CFrameRecorder& recorder = Build(COLOR_CAMERA);
  AM_MEDIA_TYPE mt{};
  ASSERT_EQ(m_graph.pGrabber->GetConnectedMediaType(&mt), S_OK);
  EXPECT_EQ(mt.subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(mt.lSampleSize, 614400u);
  FreeMediaType(mt);

  ASSERT_EQ(m_graph.pControl->Run(), S_OK);
  m_clocks[COLOR_CAMERA]->Step(5);
  ASSERT_TRUE(recorder.WaitForFrames(5));
  ASSERT_EQ(m_graph.pControl->Stop(), S_OK);
  EXPECT_EQ(recorder.Sequences(), (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(recorder.Lengths(), std::vector<LONG>(5, 614400));
  EXPECT_EQ(Delivered(), 5);
  EXPECT_EQ(m_clocks[COLOR_CAMERA]->FramesTaken(), 5u);

  ASSERT_EQ(m_graph.pControl->Run(), S_OK);
  m_clocks[COLOR_CAMERA]->Step(1);
  ASSERT_TRUE(recorder.WaitForFrames(6));
  ASSERT_EQ(m_graph.pControl->Stop(), S_OK);
  EXPECT_EQ(Delivered(), 1);
  EXPECT_EQ(recorder.Sequences().back(), 0u);
}

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

// The pattern as the camera draws it, top row first.
std::vector<BYTE> CameraFrame(const vcam::VideoShape& shape, std::uint32_t nSequence) {
  std::vector<BYTE> frame(static_cast<std::size_t>(shape.FrameBytes()));
  vcam::DrawTestPattern(shape.nColor, shape.nWidth, shape.nHeight, nSequence, frame);
  return frame;
}

std::vector<BYTE> RowsReversed(const std::vector<BYTE>& frame, std::uint32_t nRows) {
  const std::size_t cbRow = frame.size() / nRows;
  std::vector<BYTE> reversed;
  for (std::uint32_t r = nRows; r-- > 0;) {
    reversed.insert(reversed.end(), frame.begin() + static_cast<std::ptrdiff_t>(cbRow * r),
                    frame.begin() + static_cast<std::ptrdiff_t>(cbRow * (r + 1)));
  }
  return reversed;
}

// Mono8 arrives bottom row first, every other coding top row first; the
// vertical flip turns either round (and the sequence number is read where
// the flip put it).
TEST_F(CStreamTest, RowOrderOfEachCodingAndTheFlip) {
  for (const std::size_t nCamera : {MONO_CAMERA, COLOR_CAMERA}) {
    SCOPED_TRACE(nCamera);
    const vcam::VideoShape shape = Shape(nCamera);
    const bool bBottomUp = shape.nColor == vcam::COLOR_MONO8;
    for (const bool bFlip : {false, true}) {
      CFrameRecorder& recorder = Build(nCamera, bFlip);
      if (bFlip) SetVideoMode(VideoControlFlag_FlipVertical);
      ASSERT_EQ(m_graph.pControl->Run(), S_OK);
      m_clocks[nCamera]->Step(2);
      ASSERT_TRUE(recorder.WaitForFrames(2));
      ASSERT_EQ(m_graph.pControl->Stop(), S_OK);
      const std::vector<BYTE> frame = CameraFrame(shape, 1);
      EXPECT_EQ(recorder.LastFrame(), bBottomUp != bFlip ? RowsReversed(frame, shape.nHeight) : frame);
      EXPECT_EQ(recorder.Sequences(), (std::vector<std::uint32_t>{0, 1}));
      m_graph.Release();
    }
  }
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
