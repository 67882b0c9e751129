// Time, interlocked arithmetic and the thread's last error.
#include <chrono>
#include <thread>

#include "emul/kernel.h"

namespace {

thread_local DWORD t_dwLastError = ERROR_SUCCESS;

}  // namespace

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetTickCount() {
  const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
  // Wraps around every 49.7 days, as Windows' does.
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

LONG WINAPI InterlockedIncrement(LONG volatile* Addend) { return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST); }

LONG WINAPI InterlockedDecrement(LONG volatile* Addend) { return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST); }

LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value) {
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

DWORD WINAPI GetLastError() { return t_dwLastError; }

void WINAPI SetLastError(DWORD dwErrCode) { t_dwLastError = dwErrCode; }
