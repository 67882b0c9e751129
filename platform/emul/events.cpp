// Kernel event objects behind HANDLEs. Handles index a table, so a stale or
// made-up handle fails with ERROR_INVALID_HANDLE instead of touching freed
// memory. A waiter holds its own reference to the event, so closing the last
// handle while another thread waits does not pull the event from under it.
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "emul/fault.h"
#include "emul/kernel.h"

namespace {

class CEvent {
 public:
  CEvent(bool bManualReset, bool bInitialState) : m_bManualReset(bManualReset), m_bSignalled(bInitialState) {}

  void Set() {
    {
      std::lock_guard lock(m_mutex);
      m_bSignalled = true;
    }
    // An auto-reset event releases exactly one waiter: the first to wake
    // resets it, and any other woken thread goes back to waiting.
    if (m_bManualReset) {
      m_cond.notify_all();
    } else {
      m_cond.notify_one();
    }
  }

  void Reset() {
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
  }

  DWORD Wait(DWORD dwMilliseconds) {
    std::unique_lock lock(m_mutex);
    const auto signalled = [this] { return m_bSignalled; };
    if (dwMilliseconds == INFINITE) {
      m_cond.wait(lock, signalled);
    } else if (dwMilliseconds == 0) {
      // A test of the state: no trip through the kernel's timed wait.
      if (!m_bSignalled) {
        return WAIT_TIMEOUT;
      }
    } else if (!m_cond.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), signalled)) {
      return WAIT_TIMEOUT;
    }
    if (!m_bManualReset) {
      m_bSignalled = false;
    }
    return WAIT_OBJECT_0;
  }

 private:
  const bool m_bManualReset;
  std::mutex m_mutex;
  std::condition_variable m_cond;
  bool m_bSignalled;  // guarded by m_mutex
};

class CHandleTable {
 public:
  HANDLE Add(std::shared_ptr<CEvent> pEvent) {
    std::lock_guard lock(m_mutex);
    // Handle values are multiples of 4 and never reused, as Windows' are
    // (reuse aside).
    m_nLast += 4;
    m_events.emplace(m_nLast, std::move(pEvent));
    return reinterpret_cast<HANDLE>(m_nLast);
  }

  std::shared_ptr<CEvent> Find(HANDLE h) {
    std::lock_guard lock(m_mutex);
    const auto it = m_events.find(reinterpret_cast<std::uintptr_t>(h));
    return it == m_events.end() ? nullptr : it->second;
  }

  bool Remove(HANDLE h) {
    std::lock_guard lock(m_mutex);
    return m_events.erase(reinterpret_cast<std::uintptr_t>(h)) != 0;
  }

  long Count() {
    std::lock_guard lock(m_mutex);
    return static_cast<long>(m_events.size());
  }

 private:
  std::mutex m_mutex;
  std::uintptr_t m_nLast = 0;
  std::map<std::uintptr_t, std::shared_ptr<CEvent>> m_events;
};

CHandleTable& Handles() {
  static CHandleTable s_handles;
  return s_handles;
}

std::shared_ptr<CEvent> FindEvent(HANDLE h) {
  std::shared_ptr<CEvent> pEvent = Handles().Find(h);
  if (pEvent == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
  }
  return pEvent;
}

}  // namespace

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR) {
  if (emul::FaultForWin32("CreateEventA")) {
    return nullptr;
  }
  auto pEvent = std::make_shared<CEvent>(bManualReset != FALSE, bInitialState != FALSE);
  SetLastError(ERROR_SUCCESS);
  return Handles().Add(std::move(pEvent));
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  if (emul::FaultForWin32("SetEvent")) {
    return FALSE;
  }
  const std::shared_ptr<CEvent> pEvent = FindEvent(hEvent);
  if (pEvent == nullptr) {
    return FALSE;
  }
  pEvent->Set();
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  if (emul::FaultForWin32("ResetEvent")) {
    return FALSE;
  }
  const std::shared_ptr<CEvent> pEvent = FindEvent(hEvent);
  if (pEvent == nullptr) {
    return FALSE;
  }
  pEvent->Reset();
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  if (emul::FaultForWin32("WaitForSingleObject")) {
    return WAIT_FAILED;
  }
  const std::shared_ptr<CEvent> pEvent = FindEvent(hHandle);
  if (pEvent == nullptr) {
    return WAIT_FAILED;
  }
  return pEvent->Wait(dwMilliseconds);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (emul::FaultForWin32("CloseHandle")) {
    return FALSE;
  }
  if (!Handles().Remove(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

namespace emul {

long LiveKernelHandles() { return Handles().Count(); }

}  // namespace emul
