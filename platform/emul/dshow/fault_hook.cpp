// Routes the platform's fault points (base/operation_fault.h) to the
// emulation's fault injection.
#include "base/operation_fault.h"
#include "emul/fault.h"

namespace {

HRESULT EmulatedOperationFault(const char* pszOperation) { return emul::FaultFor(pszOperation); }

struct CInstallOperationFault {
  CInstallOperationFault() { SetOperationFault(&EmulatedOperationFault); }
};

const CInstallOperationFault g_installOperationFault;

}  // namespace
