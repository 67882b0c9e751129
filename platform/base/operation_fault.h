// A hook through which the platform's fault injection can make the
// operations implemented in this folder fail on demand. Nothing installs it
// on Windows, where every operation runs normally.
#pragma once

#include "winapi.h"

// Answers S_OK, or the failure the named operation ("IPin::ConnectedTo")
// is to report this time.
using PFN_OPERATIONFAULT = HRESULT (*)(const char* pszOperation);

void SetOperationFault(PFN_OPERATIONFAULT pfn);

// S_OK when no hook is installed.
HRESULT OperationFault(const char* pszOperation);
