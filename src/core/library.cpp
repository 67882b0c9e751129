#include "core/library.h"

#include "base/barrier.h"
#include "core/barrier.h"
#include "core/camera.h"

bool g_bInitialized = false;
LONG g_nSlotCount = 0;
DWORD* g_pErrorCodes = nullptr;
CCamera** g_ppOpenCameras = nullptr;
bool g_bComInitialized = false;

void SetErrorCode(LONG index, DWORD code)
{
    if (!g_bInitialized)
        return;
    const LONG nCameras = CameraCount();
    g_pErrorCodes[nCameras] = code;
    if (index >= 0 && index < nCameras)
        g_pErrorCodes[index] = code;
}

bool IsValidHandle(const void* handle)
{
    if (handle == nullptr || !g_bInitialized)
        return false;
    const LONG nCameras = CameraCount();
    for (LONG i = 0; i < nCameras; ++i)
        if (static_cast<const void*>(g_ppOpenCameras[i]) == handle)
            return true;
    return false;
}

CCamera* CameraFromHandle(iidc_handle handle)
{
    if (!IsValidHandle(handle)) {
        SetErrorCode(-1, IIDC_ERR_INVALID_HANDLE);
        return nullptr;
    }
    return reinterpret_cast<CCamera*>(handle);
}

void RecordCaughtException(iidc_handle handle) noexcept
{
    const DWORD code = HResultFromCaughtException() == E_OUTOFMEMORY ? IIDC_ERR_NO_MEMORY : IIDC_ERR_FAIL;
    SetErrorCode(IsValidHandle(handle) ? reinterpret_cast<CCamera*>(handle)->m_nIndex : -1, code);
}
