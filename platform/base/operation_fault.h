// Fault points of the operations implemented on the platform side (this
// folder's filter and pin bases, and the emulation's objects), through which
// the platform's fault injection makes them fail on demand. Nothing installs
// a hook on Windows, where every operation runs normally.
//
// Only the outermost operation on a thread is a fault point: what a filter
// graph or a pin calls on other filters and pins while carrying out an
// operation is part of that operation, so it neither fails nor counts.
#pragma once

#include "base/barrier.h"
#include "winapi.h"

// Answers S_OK, or the failure the named operation ("IPin::ConnectedTo")
// is to report this time.
using PFN_OPERATIONFAULT = HRESULT (*)(const char* pszOperation);

void SetOperationFault(PFN_OPERATIONFAULT pfn);

// One operation in progress on this thread, from construction to
// destruction; RunOperation below is how methods use it.
// A null name marks platform work that is no caller's operation (a graph
// tearing itself down): it is not a fault point, and neither is anything it
// calls; tearing down must not fail, so allocation faults pass it by too.
class COperation {
 public:
  explicit COperation(const char* pszOperation);
  ~COperation();
  COperation(const COperation&) = delete;
  COperation& operator=(const COperation&) = delete;

  // S_OK, or the failure injected for this call.
  HRESULT Fault() const { return m_hrFault; }

 private:
  HRESULT m_hrFault = S_OK;
  bool m_bTeardown;
};

// True while platform work that is no caller's operation runs on this thread.
bool InPlatformTeardown();

// A platform method's body as the named operation: the fault point first,
// then the body, with nothing thrown leaving it.
//   STDMETHODIMP CPinBase::Disconnect() {
//     return RunOperation("IPin::Disconnect", [&]() -> HRESULT { ... });
//   }
template <class F>
HRESULT RunOperation(const char* pszOperation, F&& body) noexcept {
  return ComBarrier([&]() -> HRESULT {
    const COperation op(pszOperation);
    return FAILED(op.Fault()) ? op.Fault() : body();
  });
}
