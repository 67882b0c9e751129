// The frame clocks a camera streams by, and the model's registers written
// while a streaming thread reads them.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "vcam/model/camera_model.h"
#include "vcam/model/clock.h"
#include "vcam/model/offsets.h"
#include "vcam/model/pattern.h"

namespace vcam::test {
namespace {

using namespace std::chrono_literals;

// A streaming loop as the capture filter runs it, counting the frames it got.
class CStreamer {
public:
  CStreamer(CFrameClock& clock, std::int64_t llInterval)
      : m_thread([&clock, llInterval, this](std::stop_token stop) {
          std::int64_t t = clock.Now();
          while (clock.WaitForFrame(t, stop)) {
            ++m_nFrames;
            t += llInterval;
          }
        }) {}
  void Stop() {
    m_thread.request_stop();
    m_thread.join();
  }
  int Frames() const { return m_nFrames; }

private:
  std::atomic<int> m_nFrames{0};
  std::jthread m_thread;
};

TEST(SteppedClock, ReleasesExactlyTheFramesStepped) {
  CSteppedClock clock;
  CStreamer streamer(clock, 100);
  clock.Step(3);
  ASSERT_TRUE(clock.WaitForTaken(3, 10s));
  clock.Step(2);
  ASSERT_TRUE(clock.WaitForTaken(5, 10s));
  streamer.Stop();  // wakes the waiting streamer
  EXPECT_EQ(streamer.Frames(), 5);
  EXPECT_EQ(clock.FramesTaken(), 5u);
  EXPECT_EQ(clock.FramesPending(), 0u);
  EXPECT_EQ(clock.Now(), 400);  // the fifth frame was due at 4 intervals

  clock.Step(4);
  clock.DropPending();
  EXPECT_EQ(clock.FramesPending(), 0u);
  std::stop_source source;
  source.request_stop();
  EXPECT_FALSE(clock.WaitForFrame(500, source.get_token()));  // nothing left to take
}

TEST(SteppedClock, TimeMovesOnlyForward) {
  CSteppedClock clock;
  clock.Advance(1000);
  clock.Step(2);
  std::stop_source source;
  EXPECT_TRUE(clock.WaitForFrame(500, source.get_token()));
  EXPECT_EQ(clock.Now(), 1000);
  EXPECT_TRUE(clock.WaitForFrame(1500, source.get_token()));
  EXPECT_EQ(clock.Now(), 1500);
  source.request_stop();
  EXPECT_FALSE(clock.WaitForFrame(2000, source.get_token()));
  EXPECT_FALSE(clock.WaitForTaken(3, 0ms));
}

TEST(FrameClocks, StopEndsEveryWaitAndDueFramesGoAtOnce) {
  for (ClockKind kind : {ClockKind::Real, ClockKind::FreeRun, ClockKind::Stepped}) {
    const auto pClock = CreateClock(kind);
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_FALSE(pClock->WaitForFrame(pClock->Now(), stopped.get_token())) << ClockKindName(kind);
  }
  // A real-time wait for a frame an hour away ends when stop is requested.
  CRealClock clock;
  std::atomic<bool> bResult{true};
  std::jthread waiter([&](std::stop_token stop) { bResult = clock.WaitForFrame(clock.Now() + 36000000000, stop); });
  waiter.request_stop();
  waiter.join();
  EXPECT_FALSE(bResult);
  // Frames already due go at once; a free-running clock has every frame due.
  std::stop_source source;
  EXPECT_TRUE(clock.WaitForFrame(clock.Now() - 1, source.get_token()));
  CFreeRunClock free;
  EXPECT_TRUE(free.WaitForFrame(free.Now() + 36000000000, source.get_token()));
}

// The capture filter's streaming thread reads the stream and draws frames while
// the application writes registers; the model serialises them.
TEST(CameraModelThreads, RegisterTrafficAlongsideStreaming) {
  Profile profile = BuiltInCameraSet()[0];
  const auto pClock = std::make_shared<CSteppedClock>();
  profile.pClock = pClock;
  CCameraModel camera(profile);
  std::atomic<int> nBadFrames{0};
  std::jthread streamer([&](std::stop_token stop) {
    std::vector<std::uint8_t> frame;
    std::uint32_t nSequence = 0;
    while (pClock->WaitForFrame(pClock->Now(), stop)) {
      const StreamInfo s = camera.GetStream();
      frame.resize(static_cast<std::size_t>(s.cbFrame));
      if (!s.bValid || !DrawTestPattern(s.nColor, s.nWidth, s.nHeight, nSequence, frame) ||
          FrameSequence(frame) != nSequence)
        ++nBadFrames;
      ++nSequence;
      camera.NoteFrameSent();
    }
  });
  pClock->Step(200);
  for (std::uint32_t i = 0; i < 200; ++i) {
    EXPECT_EQ(camera.WriteQuadlet(CUR_V_MODE, (i % 6) << 29), VCAM_S_OK);
    EXPECT_EQ(camera.WriteQuadlet(ONE_SHOT, Bit(1) | 3), VCAM_S_OK);
  }
  ASSERT_TRUE(pClock->WaitForTaken(200, 10s));
  streamer.request_stop();
  streamer.join();
  EXPECT_EQ(nBadFrames, 0);
}

}  // namespace
}  // namespace vcam::test
