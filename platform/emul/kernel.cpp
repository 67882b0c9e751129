// Time, interlocked arithmetic and the thread's last error.
#include <atomic>
#include <chrono>
#include <thread>

#include "emul/clock.h"
#include "emul/kernel.h"

namespace {

thread_local DWORD t_dwLastError = ERROR_SUCCESS;

std::atomic<bool> g_bVirtualTime{false};
std::atomic<ULONGLONG> g_nVirtualStart{0};
std::atomic<ULONGLONG> g_nVirtualSlept{0};

ULONGLONG RealTicks() {
  const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<ULONGLONG>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

}  // namespace

namespace emul {

void UseVirtualTime(bool bOn) {
  g_nVirtualStart.store(RealTicks());
  g_nVirtualSlept.store(0);
  g_bVirtualTime.store(bOn);
}

ULONGLONG VirtualSleepTotal() { return g_nVirtualSlept.load(); }

}  // namespace emul

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (g_bVirtualTime.load()) {
    g_nVirtualSlept.fetch_add(dwMilliseconds);
    std::this_thread::yield();
    return;
  }
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetTickCount() {
  const ULONGLONG nTicks =
      g_bVirtualTime.load() ? g_nVirtualStart.load() + g_nVirtualSlept.load() : RealTicks();
  // Wraps around every 49.7 days, as Windows' does.
  return static_cast<DWORD>(nTicks);
}

LONG WINAPI InterlockedIncrement(LONG volatile* Addend) { return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST); }

LONG WINAPI InterlockedDecrement(LONG volatile* Addend) { return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST); }

LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value) {
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

DWORD WINAPI GetLastError() { return t_dwLastError; }

void WINAPI SetLastError(DWORD dwErrCode) { t_dwLastError = dwErrCode; }
