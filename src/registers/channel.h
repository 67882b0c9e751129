// Reading and writing one camera register (a quadlet) through the driver's
// property set. Offsets are relative to the IIDC command-register base.
#pragma once

#include "winapi.h"

class CCamera;

// True when the driver answered; *pValue is written only then.
bool ReadQuadlet(IKsPropertySet* pProps, DWORD offset, DWORD* pValue);
bool WriteQuadlet(IKsPropertySet* pProps, DWORD offset, DWORD value);

bool ReadQuadlet(const CCamera& camera, DWORD offset, DWORD* pValue);
bool WriteQuadlet(const CCamera& camera, DWORD offset, DWORD value);
