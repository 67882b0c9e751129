// Library-wide state: whether the library is started, the camera count fixed
// at start-up, the last-error slots and the table of open cameras. Read and
// written on application threads only; the library takes no lock, so
// applications serialise their calls.
#pragma once

#include <cstdint>

#include "iidc.h"
#include "winapi.h"

class CCamera;

extern bool g_bInitialized;
// Number of error slots: one per camera index plus the global slot (the last).
extern LONG g_nSlotCount;
extern DWORD* g_pErrorCodes;
extern CCamera** g_ppOpenCameras;
// Whether iidc_init initialised COM itself (and so owes CoUninitialize).
extern bool g_bComInitialized;

// Camera count N fixed at start-up; 0 while the library is not started.
inline LONG CameraCount() { return g_nSlotCount > 0 ? g_nSlotCount - 1 : 0; }

// Records code in the global slot and, for 0 <= index < N, in the camera's
// slot. Does nothing while the library is not started.
void SetErrorCode(LONG index, DWORD code);

// True when handle is the address of an open camera.
bool IsValidHandle(const void* handle);

// The camera behind a handle, or null after recording IIDC_ERR_INVALID_HANDLE
// in the global slot. Every per-camera export starts with it.
CCamera* CameraFromHandle(iidc_handle handle);

inline iidc_handle HandleOf(CCamera* pCamera) { return reinterpret_cast<iidc_handle>(pCamera); }
