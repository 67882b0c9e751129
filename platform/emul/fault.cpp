#include "emul/fault.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <mutex>
#include <new>

#include "base/unknown.h"
#include "emul/kernel.h"

namespace emul {
namespace {

constexpr std::size_t MAX_LOG_ENTRIES = 65536;

enum class FaultKind { Fail, ThrowOutOfMemory, Throw };

struct CFault {
  HRESULT hr;
  bool bEveryCall = false;
  int nRemaining = 0;  // calls until the failing one, when not bEveryCall
  FaultKind kind = FaultKind::Fail;
};

// What ThrowFromOperation throws when it is not out of memory: a type no
// code of the library or the virtual cameras knows.
struct CInjectedException {};

constexpr std::string_view RELEASING_OPERATIONS[] = {"CloseHandle", "VirtualFree", "DeleteObject"};

struct CFaultState {
  std::mutex mutex;
  std::map<std::string, std::vector<CFault>, std::less<>> faults;
  std::map<std::string, int, std::less<>> counts;
  std::vector<std::string> log;
  std::vector<IID> failedInterfaces;
};

CFaultState& State() {
  static CFaultState s_state;
  return s_state;
}

DWORD Win32CodeOf(HRESULT hr) {
  const auto value = static_cast<std::uint32_t>(hr);
  return ((value >> 16) & 0x1FFF) == FACILITY_WIN32 ? (value & 0xFFFF) : value;
}

void AddFault(std::string_view op, int nth, CFault fault) {
  if (nth < 0) {
    return;
  }
  fault.bEveryCall = nth == 0;
  fault.nRemaining = nth;
  CFaultState& state = State();
  std::lock_guard lock(state.mutex);
  auto entry = state.faults.find(op);
  if (entry == state.faults.end()) {
    entry = state.faults.emplace(std::string(op), std::vector<CFault>{}).first;
  }
  entry->second.push_back(fault);
}

}  // namespace

HRESULT FaultFor(std::string_view op) {
  CFaultState& state = State();
  HRESULT hrResult = S_OK;
  FaultKind kind = FaultKind::Fail;
  {
    std::lock_guard lock(state.mutex);
    try {
      if (state.log.size() < MAX_LOG_ENTRIES) {
        state.log.emplace_back(op);
      }
      if (auto count = state.counts.find(op); count != state.counts.end()) {
        ++count->second;
      } else {
        state.counts.emplace(std::string(op), 1);
      }
    } catch (const std::bad_alloc&) {
      // The bookkeeping is for tests to read; the call goes on without it.
    }

    auto entry = state.faults.find(op);
    if (entry == state.faults.end()) {
      return S_OK;
    }
    // Every counted fault advances on every call, also when an earlier one
    // already decided this call; a counted fault is spent once it fires.
    for (CFault& fault : entry->second) {
      const bool bFires = fault.bEveryCall || --fault.nRemaining == 0;
      if (bFires && SUCCEEDED(hrResult)) {
        hrResult = fault.hr;
        kind = fault.kind;
      }
    }
    std::erase_if(entry->second, [](const CFault& fault) { return !fault.bEveryCall && fault.nRemaining <= 0; });
  }
  switch (kind) {
    case FaultKind::ThrowOutOfMemory:
      throw std::bad_alloc();
    case FaultKind::Throw:
      throw CInjectedException();
    case FaultKind::Fail:
      break;
  }
  return hrResult;
}

bool FaultForWin32(std::string_view op) {
  const HRESULT hr = FaultFor(op);
  if (SUCCEEDED(hr)) {
    return false;
  }
  SetLastError(Win32CodeOf(hr));
  return true;
}

void FailOperation(std::string_view op, HRESULT hr, int nth) { AddFault(op, nth, CFault{hr}); }

void ThrowFromOperation(std::string_view op, bool bOutOfMemory, int nth) {
  if (std::find(std::begin(RELEASING_OPERATIONS), std::end(RELEASING_OPERATIONS), op) ==
      std::end(RELEASING_OPERATIONS)) {
    AddFault(op, nth, CFault{E_FAIL, false, 0, bOutOfMemory ? FaultKind::ThrowOutOfMemory : FaultKind::Throw});
  }
}

void FailInterface(REFIID iid) {
  {
    CFaultState& state = State();
    std::lock_guard lock(state.mutex);
    if (std::find(state.failedInterfaces.begin(), state.failedInterfaces.end(), iid) ==
        state.failedInterfaces.end()) {
      state.failedInterfaces.push_back(iid);
    }
  }
  SetInterfaceFilter(&IsInterfaceFailed);
}

bool IsInterfaceFailed(REFIID iid) {
  CFaultState& state = State();
  std::lock_guard lock(state.mutex);
  return std::find(state.failedInterfaces.begin(), state.failedInterfaces.end(), iid) !=
         state.failedInterfaces.end();
}

std::vector<std::string> CallLog() {
  CFaultState& state = State();
  std::lock_guard lock(state.mutex);
  return state.log;
}

int CallCount(std::string_view op) {
  CFaultState& state = State();
  std::lock_guard lock(state.mutex);
  const auto count = state.counts.find(op);
  return count == state.counts.end() ? 0 : count->second;
}

void ResetFaults() {
  CFaultState& state = State();
  std::lock_guard lock(state.mutex);
  state.faults.clear();
  state.counts.clear();
  state.log.clear();
  state.failedInterfaces.clear();
}

long LiveComObjects() { return CUnknown::LiveObjects(); }

}  // namespace emul
