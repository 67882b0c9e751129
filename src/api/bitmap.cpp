// Colour images of captured frames.
#include "core/library.h"
#include "image/bitmap.h"
#include "image/frame_access.h"

extern "C" unsigned char* IIDC_API iidc_lockbits(iidc_handle handle, int32_t index)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? LockBits(*pCamera, index) : nullptr;
}

extern "C" void IIDC_API iidc_unlockbits(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    if (pCamera)
        UnlockData(*pCamera);
}
