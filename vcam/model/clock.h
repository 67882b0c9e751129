// Frame clocks: when the next frame of a streaming camera is due. Times are in
// 100-ns units on the clock's own timeline. A streaming thread loops
//
//   std::int64_t t = pClock->Now();
//   while (pClock->WaitForFrame(t, stop)) { deliver frame stamped t; t += interval; }
//
// and its owner stops it by requesting stop on the token's source: every wait
// returns false promptly once stop is requested, so Stop never hangs.
//
// Threads that run on Windows look at the stop request every STOP_POLL
// rather than register a stop callback: the mingw-w64 C++ runtime can miss
// the wake-up that ends a callback's removal after a stop request from
// another thread, and the stopping thread then waits for ever.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string_view>

namespace vcam {

// How soon a polling wait sees a stop request.
inline constexpr std::chrono::milliseconds STOP_POLL{5};

// Sleeps until due or until stop is requested, whichever comes first; false
// when stop was requested.
bool SleepUntil(std::chrono::steady_clock::time_point due, std::stop_token stop);

class CFrameClock {
public:
  virtual ~CFrameClock() = default;
  // Current time on the clock's timeline.
  virtual std::int64_t Now() = 0;
  // Blocks until the frame due at llDue may be produced. False when stop was
  // requested (before or during the wait); true when the frame may go.
  virtual bool WaitForFrame(std::int64_t llDue, std::stop_token stop) = 0;
};

// Real time: frames at their due times on the steady clock.
class CRealClock final : public CFrameClock {
public:
  std::int64_t Now() override;
  bool WaitForFrame(std::int64_t llDue, std::stop_token stop) override;
};

// As fast as possible (benchmarks): every frame may go at once.
class CFreeRunClock final : public CFrameClock {
public:
  std::int64_t Now() override;
  bool WaitForFrame(std::int64_t llDue, std::stop_token stop) override;
};

// Deterministic time for tests: a frame may go only when a test released it
// with Step, and time moves only with released frames and Advance.
class CSteppedClock final : public CFrameClock {
public:
  std::int64_t Now() override;
  // Takes one released frame (waiting for it) and moves time to llDue if that
  // is later than now.
  bool WaitForFrame(std::int64_t llDue, std::stop_token stop) override;

  void Step(std::uint64_t nFrames = 1);  // releases n more frames
  void DropPending();                    // takes back frames released but not taken
  void Advance(std::int64_t llDelta);    // moves time without releasing frames
  std::uint64_t FramesTaken();           // frames taken by waiters so far
  std::uint64_t FramesPending();         // released but not yet taken
  // Waits (bounded) until at least nFrames have been taken in total.
  bool WaitForTaken(std::uint64_t nFrames, std::chrono::milliseconds timeout);

private:
  std::mutex m_mutex;
  std::condition_variable_any m_cv;
  std::int64_t m_llNow = 0;          // guarded by m_mutex
  std::uint64_t m_nReleased = 0;     // guarded by m_mutex
  std::uint64_t m_nTaken = 0;        // guarded by m_mutex
};

enum class ClockKind { Real, FreeRun, Stepped };

std::shared_ptr<CFrameClock> CreateClock(ClockKind kind);
std::string_view ClockKindName(ClockKind kind);

}  // namespace vcam
