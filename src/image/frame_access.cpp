#include "image/frame_access.h"

#include "capture/ring.h"
#include "capture/sample_grabber_cb.h"
#include "core/camera.h"
#include "core/library.h"

BYTE* LockData(CCamera& camera, LONG index)
{
    const LONG nFrames = FrameCount(camera.m_ppFrames);
    if (nFrames == 0) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NO_FRAMES);
        return nullptr;
    }
    CSampleGrabberCB* pCallback = camera.m_pCallback;
    if (index < 0)
        index = pCallback ? pCallback->CurrentIndex() : camera.m_nLastFilled;
    if (index >= nFrames)
        return nullptr;
    // Without a callback object no frame can arrive, so no lock is needed.
    if (pCallback)
        pCallback->SetLockMask(RingLockBit(index));
    return camera.m_ppFrames[index];
}

void UnlockData(CCamera& camera)
{
    CSampleGrabberCB* pCallback = camera.m_pCallback;
    if (!pCallback || pCallback->LockMask() == 0)
        return;
    DWORD dwBits = 0;
    const LONG nFrames = FrameCount(camera.m_ppFrames);
    for (LONG i = 0; i < nFrames && i < RING_LOCK_BITS; ++i)
        dwBits |= RingLockBit(i);
    pCallback->ClearLockBits(dwBits);
}
