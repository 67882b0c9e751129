// Colour images of captured frames.
#include "core/barrier.h"
#include "core/library.h"
#include "image/bitmap.h"
#include "image/frame_access.h"

extern "C" unsigned char* IIDC_API iidc_lockbits(iidc_handle handle, int32_t index)
{
    return WithCamera(handle, [&](CCamera& camera) { return LockBits(camera, index); });
}

extern "C" void IIDC_API iidc_unlockbits(iidc_handle handle)
{
    WithCamera(handle, [&](CCamera& camera) { UnlockData(camera); });
}
