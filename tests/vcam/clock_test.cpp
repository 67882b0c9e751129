#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "vcam/model/clock.h"

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

TEST(FrameClocks, StopEndsEveryWait) {
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
}

TEST(FrameClocks, FramesAlreadyDueGoAtOnce) {
  std::stop_source source;
  CRealClock real;
  EXPECT_TRUE(real.WaitForFrame(real.Now() - 1, source.get_token()));
  CFreeRunClock free;
  EXPECT_TRUE(free.WaitForFrame(free.Now() + 36000000000, source.get_token()));
}

}  // namespace
}  // namespace vcam::test
