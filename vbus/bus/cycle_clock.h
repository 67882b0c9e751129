// The bus clock: 8,000 isochronous cycles a second, counted from the moment
// the bus came up, and the 1394 cycle timer derived from it (7 bits of
// seconds, 13 bits of cycle count, 12 bits of cycle offset at 24.576 MHz).
#pragma once

#include <chrono>
#include <cstdint>

namespace vbus {

constexpr std::int64_t CYCLES_PER_SECOND = 8000;
constexpr std::int64_t CYCLE_NS = 125000;
constexpr std::uint32_t OFFSETS_PER_CYCLE = 3072;

// The 16-bit time stamp a received packet carries: the low 3 bits of the
// cycle seconds and the cycle count.
constexpr std::uint16_t CycleStamp(std::int64_t nCycle) {
  return static_cast<std::uint16_t>((nCycle / CYCLES_PER_SECOND % 8) << 13 | nCycle % CYCLES_PER_SECOND);
}

class CCycleClock {
 public:
  using Clock = std::chrono::steady_clock;

  CCycleClock() : m_start(Clock::now()) {}

  // The cycle in progress at t (cycles begin at 0 when the bus came up).
  std::int64_t CycleAt(Clock::time_point t) const { return NanosAt(t) / CYCLE_NS; }
  std::int64_t Cycle() const { return CycleAt(Clock::now()); }
  Clock::time_point StartOf(std::int64_t nCycle) const {
    return m_start + std::chrono::nanoseconds(nCycle * CYCLE_NS);
  }
  // The cycle timer register at t.
  std::uint32_t TimerAt(Clock::time_point t) const {
    const std::int64_t ns = NanosAt(t);
    const std::int64_t nCycle = ns / CYCLE_NS;
    const auto nOffset = static_cast<std::uint32_t>(ns % CYCLE_NS * OFFSETS_PER_CYCLE / CYCLE_NS);
    const auto nSeconds = static_cast<std::uint32_t>(nCycle / CYCLES_PER_SECOND % 128);
    return nSeconds << 25 | static_cast<std::uint32_t>(nCycle % CYCLES_PER_SECOND) << 12 | nOffset;
  }

 private:
  std::int64_t NanosAt(Clock::time_point t) const {
    return t < m_start ? 0 : std::chrono::duration_cast<std::chrono::nanoseconds>(t - m_start).count();
  }

  const Clock::time_point m_start;
};

}  // namespace vbus
