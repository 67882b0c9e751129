// Raw frame access, and the placeholders that deliver nothing.
#include "core/camera.h"
#include "core/library.h"
#include "image/frame_access.h"

extern "C" unsigned char* IIDC_API iidc_lockdata(iidc_handle handle, int32_t index)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? LockData(*pCamera, index) : nullptr;
}

extern "C" void IIDC_API iidc_unlockdata(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    if (pCamera)
        UnlockData(*pCamera);
}

extern "C" uint32_t IIDC_CAPI iidc_getbits(iidc_handle handle, ...)
{
    CCamera* pCamera = CameraFromHandle(handle);
    if (pCamera)
        SetErrorCode(pCamera->m_nIndex, IIDC_ERR_NOT_SUPPORTED);
    return 0;
}

// One operation under two export names: the setter is the getter.
extern "C" uint32_t IIDC_API iidc_getbitslutrange(iidc_handle /*handle*/, uint32_t /*first*/, uint32_t /*last*/)
{
    return 0;
}

extern "C" uint32_t IIDC_API iidc_setbitslutrange(iidc_handle handle, uint32_t first, uint32_t last)
{
    return iidc_getbitslutrange(handle, first, last);
}
