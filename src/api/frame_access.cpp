// Raw frame access, and the placeholders that deliver nothing.
#include "core/camera.h"
#include "core/barrier.h"
#include "core/library.h"
#include "image/frame_access.h"

extern "C" unsigned char* IIDC_API iidc_lockdata(iidc_handle handle, int32_t index)
{
    return WithCamera(handle, [&](CCamera& camera) { return LockData(camera, index); });
}

extern "C" void IIDC_API iidc_unlockdata(iidc_handle handle)
{
    WithCamera(handle, [&](CCamera& camera) { UnlockData(camera); });
}

extern "C" uint32_t IIDC_CAPI iidc_getbits(iidc_handle handle, ...)
{
    return WithCamera(handle, [&](CCamera& camera) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NOT_SUPPORTED);
        return uint32_t{0};
    });
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
