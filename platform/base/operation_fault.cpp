#include "base/operation_fault.h"

#include <atomic>

namespace {

// Constant-initialised, so a hook installed during static initialisation of
// another file is never overwritten.
std::atomic<PFN_OPERATIONFAULT> g_pfnOperationFault{nullptr};

thread_local int g_nOperationDepth = 0;
thread_local int g_nTeardownDepth = 0;

}  // namespace

void SetOperationFault(PFN_OPERATIONFAULT pfn) { g_pfnOperationFault.store(pfn, std::memory_order_release); }

// The depth counts only once the hook has answered: a hook that throws leaves
// no operation behind.
COperation::COperation(const char* pszOperation) : m_bTeardown(pszOperation == nullptr) {
  if (g_nOperationDepth == 0 && pszOperation != nullptr) {
    PFN_OPERATIONFAULT pfn = g_pfnOperationFault.load(std::memory_order_acquire);
    if (pfn != nullptr) {
      m_hrFault = pfn(pszOperation);
    }
  }
  ++g_nOperationDepth;
  g_nTeardownDepth += m_bTeardown ? 1 : 0;
}

COperation::~COperation() {
  --g_nOperationDepth;
  g_nTeardownDepth -= m_bTeardown ? 1 : 0;
}

bool InPlatformTeardown() { return g_nTeardownDepth > 0; }
