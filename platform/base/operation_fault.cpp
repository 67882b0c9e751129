#include "base/operation_fault.h"

#include <atomic>

namespace {

// Constant-initialised, so hooks installed during static initialisation of
// other files are never overwritten.
std::atomic<PFN_OPERATIONFAULT> g_pfnOperationFault{nullptr};

}  // namespace

void SetOperationFault(PFN_OPERATIONFAULT pfn) { g_pfnOperationFault.store(pfn, std::memory_order_release); }

HRESULT OperationFault(const char* pszOperation) {
  PFN_OPERATIONFAULT pfn = g_pfnOperationFault.load(std::memory_order_acquire);
  return pfn != nullptr ? pfn(pszOperation) : S_OK;
}
