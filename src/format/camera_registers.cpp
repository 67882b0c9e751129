#include "format/camera_registers.h"

#include "core/camera.h"
#include "core/library.h"
#include "registers/channel.h"
#include "registers/offsets.h"

bool ReadCameraRegister(const CCamera& camera, DWORD offset, DWORD* pValue)
{
    if (ReadQuadlet(camera, offset, pValue))
        return true;
    SetErrorCode(camera.m_nIndex, E_FAIL);
    return false;
}

bool ReadFormat7Block(const CCamera& camera, DWORD mode, DWORD* pBlock)
{
    DWORD quadlet = 0;
    if (!ReadCameraRegister(camera, iidc_reg::V_CSR_INQ_7(mode), &quadlet))
        return false;
    *pBlock = iidc_reg::CsrOffset(quadlet);
    return true;
}

bool ReadFormat7Register(const CCamera& camera, DWORD mode, DWORD field, DWORD* pValue)
{
    DWORD block = 0;
    return ReadFormat7Block(camera, mode, &block) && ReadCameraRegister(camera, block + field, pValue);
}
