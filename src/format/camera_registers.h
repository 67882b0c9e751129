// Register reads of the format layer. Every failed read is recorded as E_FAIL
// for the camera, so callers only return their failure value.
#pragma once

#include "winapi.h"

class CCamera;

bool ReadCameraRegister(const CCamera& camera, DWORD offset, DWORD* pValue);

// The command-register offset of the Format 7 register block of a mode, from
// the quadlet offset its V_CSR_INQ_7_m register holds.
bool ReadFormat7Block(const CCamera& camera, DWORD mode, DWORD* pBlock);

// A Format 7 register of a mode: its block, then the field within it.
bool ReadFormat7Register(const CCamera& camera, DWORD mode, DWORD field, DWORD* pValue);
