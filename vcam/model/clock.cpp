#include "vcam/model/clock.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace vcam {
namespace {

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;

std::int64_t SteadyNow() {
  return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

bool SleepUntil(std::chrono::steady_clock::time_point due, std::stop_token stop) {
  while (!stop.stop_requested()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= due) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(due - now, STOP_POLL));
  }
  return false;
}

std::int64_t CRealClock::Now() { return SteadyNow(); }

bool CRealClock::WaitForFrame(std::int64_t llDue, std::stop_token stop) {
  const std::chrono::steady_clock::time_point due{std::chrono::duration_cast<std::chrono::steady_clock::duration>(Ticks{llDue})};
  return SleepUntil(due, std::move(stop));
}

std::int64_t CFreeRunClock::Now() { return SteadyNow(); }

bool CFreeRunClock::WaitForFrame(std::int64_t, std::stop_token stop) { return !stop.stop_requested(); }

std::int64_t CSteppedClock::Now() {
  std::lock_guard lock(m_mutex);
  return m_llNow;
}

bool CSteppedClock::WaitForFrame(std::int64_t llDue, std::stop_token stop) {
  std::unique_lock lock(m_mutex);
  if (!m_cv.wait(lock, stop, [this] { return m_nTaken < m_nReleased; })) return false;
  ++m_nTaken;
  if (llDue > m_llNow) m_llNow = llDue;
  m_cv.notify_all();  // for WaitForTaken
  return true;
}

void CSteppedClock::Step(std::uint64_t nFrames) {
  std::lock_guard lock(m_mutex);
  m_nReleased += nFrames;
  m_cv.notify_all();
}

void CSteppedClock::DropPending() {
  std::lock_guard lock(m_mutex);
  m_nReleased = m_nTaken;
}

void CSteppedClock::Advance(std::int64_t llDelta) {
  std::lock_guard lock(m_mutex);
  m_llNow += llDelta;
}

std::uint64_t CSteppedClock::FramesTaken() {
  std::lock_guard lock(m_mutex);
  return m_nTaken;
}

std::uint64_t CSteppedClock::FramesPending() {
  std::lock_guard lock(m_mutex);
  return m_nReleased - m_nTaken;
}

bool CSteppedClock::WaitForTaken(std::uint64_t nFrames, std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_cv.wait_for(lock, timeout, [&] { return m_nTaken >= nFrames; });
}

std::shared_ptr<CFrameClock> CreateClock(ClockKind kind) {
  switch (kind) {
    case ClockKind::FreeRun: return std::make_shared<CFreeRunClock>();
    case ClockKind::Stepped: return std::make_shared<CSteppedClock>();
    case ClockKind::Real: break;
  }
  return std::make_shared<CRealClock>();
}

std::string_view ClockKindName(ClockKind kind) {
  switch (kind) {
    case ClockKind::FreeRun: return "free";
    case ClockKind::Stepped: return "stepped";
    case ClockKind::Real: break;
  }
  return "real";
}

}  // namespace vcam
