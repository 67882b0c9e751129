// Fault points of the operations implemented on the platform side (this
// folder's filter and pin bases, and the emulation's objects), through which
// the platform's fault injection makes them fail on demand. Nothing installs
// a hook on Windows, where every operation runs normally.
//
// Only the outermost operation on a thread is a fault point: what a filter
// graph or a pin calls on other filters and pins while carrying out an
// operation is part of that operation, so it neither fails nor counts.
#pragma once

#include "winapi.h"

// Answers S_OK, or the failure the named operation ("IPin::ConnectedTo")
// is to report this time.
using PFN_OPERATIONFAULT = HRESULT (*)(const char* pszOperation);

void SetOperationFault(PFN_OPERATIONFAULT pfn);

// One operation in progress on this thread, from construction to
// destruction:
//   const COperation op("IPin::Connect");
//   if (FAILED(op.Fault())) return op.Fault();
// A null name marks platform work that is no caller's operation (a graph
// tearing itself down): it is not a fault point, and neither is anything it
// calls.
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
};
