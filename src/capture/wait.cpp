#include "capture/wait.h"

#include "core/camera.h"
#include "core/library.h"

HANDLE WaitForFrame(CCamera& camera, DWORD dwKind, DWORD dwTimeout)
{
    HANDLE hEvent = nullptr;
    if (dwKind == IIDC_WAIT_FRAME) {
        // A frame completed before the call does not count: wait for the next.
        hEvent = camera.m_hFrameEvent;
        ResetEvent(hEvent);
    } else if (dwKind == IIDC_WAIT_RING) {
        // A turn of the ring since the event was last consumed counts.
        hEvent = camera.m_hRingEvent;
    } else {
        return nullptr;
    }
    // Signalled, timed out or failed: the caller tells them apart by the ring
    // position, not by the result.
    WaitForSingleObject(hEvent, dwTimeout);
    if (camera.m_bAbortWait.exchange(false)) {
        // The camera's own slot only; the global slot keeps its code.
        g_pErrorCodes[camera.m_nIndex] = IIDC_ERR_WAIT_ABORTED;
        return nullptr;
    }
    return hEvent;
}

void AbortWait(CCamera& camera, HANDLE hEvent)
{
    // The flag is set before the signal, so the woken waiter finds it.
    camera.m_bAbortWait.store(true);
    if (hEvent)
        SetEvent(hEvent);
}
