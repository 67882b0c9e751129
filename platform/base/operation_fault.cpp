#include "base/operation_fault.h"

#include <atomic>

namespace {

// Constant-initialised, so a hook installed during static initialisation of
// another file is never overwritten.
std::atomic<PFN_OPERATIONFAULT> g_pfnOperationFault{nullptr};

thread_local int g_nOperationDepth = 0;

}  // namespace

void SetOperationFault(PFN_OPERATIONFAULT pfn) { g_pfnOperationFault.store(pfn, std::memory_order_release); }

COperation::COperation(const char* pszOperation) {
  if (g_nOperationDepth++ == 0 && pszOperation != nullptr) {
    PFN_OPERATIONFAULT pfn = g_pfnOperationFault.load(std::memory_order_acquire);
    if (pfn != nullptr) {
      m_hrFault = pfn(pszOperation);
    }
  }
}

COperation::~COperation() { --g_nOperationDepth; }
