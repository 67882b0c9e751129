#include "capture/capture_control.h"

#include <atomic>

#include "capture/ring.h"
#include "capture/sample_grabber_cb.h"
#include "capture/single_frame.h"
#include "core/camera.h"
#include "core/library.h"
#include "format/graph_reset.h"

namespace {

std::atomic<DWORD> g_dwSingleFrameTimeout{SINGLE_FRAME_TIMEOUT_MS};

// How long the window-mode single frame lets the display run once running.
constexpr DWORD WINDOW_FRAME_MS = 100;

// At most this many stale events are taken off the queue before a run.
constexpr int MAX_STALE_EVENTS = 256;

// Takes every event still queued from an earlier run off the queue, so the
// completion a single frame waits for is its own.
void DiscardPendingEvents(IMediaEvent* pEvent)
{
    LONG lCode = 0;
    LONG_PTR lParam1 = 0;
    LONG_PTR lParam2 = 0;
    for (int i = 0; i < MAX_STALE_EVENTS && pEvent->GetEvent(&lCode, &lParam1, &lParam2, 0) == S_OK; ++i)
        pEvent->FreeEventParams(lCode, lParam1, lParam2);
}

// Sets the grabber up for this capture and registers a fresh callback
// object. Records the code and returns false on failure.
bool SetUpGrabber(CCamera& camera, bool bContinuous)
{
    if (FAILED(camera.m_pGrabber->SetOneShot(bContinuous ? FALSE : TRUE)) ||
        FAILED(camera.m_pGrabber->SetBufferSamples(FALSE))) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    if (!CreateCallback(camera)) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NO_FRAMES);
        return false;
    }
    // Replaces (and so lets go of) a callback an earlier capture registered.
    if (FAILED(camera.m_pGrabber->SetCallback(camera.m_pCallback, 1))) {
        DropCallback(camera);
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    return true;
}

// Waits, within the bound, for the graph to reach the running state. A graph
// that settles in another state will not run by itself.
bool WaitUntilRunning(IMediaControl* pControl)
{
    const DWORD dwStart = GetTickCount();
    const DWORD dwTimeout = SingleFrameTimeout();
    for (;;) {
        const DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeout)
            return false;
        OAFilterState state = State_Stopped;
        const HRESULT hr = pControl->GetState(static_cast<LONG>(dwTimeout - dwElapsed), &state);
        if (hr == S_OK && state == State_Running)
            return true;
        if (hr != VFW_S_STATE_INTERMEDIATE)
            return false;
    }
}

} // namespace

DWORD SingleFrameTimeout()
{
    return g_dwSingleFrameTimeout.load(std::memory_order_relaxed);
}

void SetSingleFrameTimeout(DWORD dwMilliseconds)
{
    g_dwSingleFrameTimeout.store(dwMilliseconds, std::memory_order_relaxed);
}

bool StartCapture(CCamera& camera, bool bContinuous)
{
    if (camera.m_nState == IIDC_STATE_CAPTURING) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_CAPTURING);
        return false;
    }
    if (camera.m_nState != IIDC_STATE_READY) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NO_FRAMES);
        return false;
    }
    if (camera.m_bWindowMode)
        return RunWindowCapture(camera, bContinuous);
    // A ring that never came into being, or was lost by a failed release,
    // must not receive frames.
    if (FrameCount(camera.m_ppFrames) == 0 || !camera.m_pGrabber) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NO_FRAMES);
        return false;
    }
    if (!SetUpGrabber(camera, bContinuous))
        return false;
    ComPtr<IMediaEvent> pEvent;
    if (FAILED(camera.m_pGraph->QueryInterface(IID_IMediaEvent, pEvent.ReleaseAndGetVoidAddressOf()))) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    if (!camera.m_pMediaControl) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NO_FRAMES);
        return false;
    }
    if (!bContinuous)
        DiscardPendingEvents(pEvent.Get());
    if (FAILED(camera.m_pMediaControl->Run())) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    if (camera.m_pDroppedFrames)
        camera.m_pDroppedFrames->GetNumNotDropped(&camera.m_nFramesAtStart);
    if (bContinuous) {
        camera.m_nState = IIDC_STATE_CAPTURING;
        return true;
    }
    return WaitForSingleFrame(camera, pEvent.Get());
}

bool RunWindowCapture(CCamera& camera, bool bContinuous)
{
    if (!camera.m_pMediaControl)
        return false;
    // Not checked: a single frame ends with the stop below in any case.
    if (camera.m_pGrabber)
        camera.m_pGrabber->SetOneShot(bContinuous ? FALSE : TRUE);
    if (FAILED(camera.m_pMediaControl->Run())) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    if (camera.m_pQualProp) {
        int nDrawn = 0;
        camera.m_pQualProp->get_FramesDrawn(&nDrawn);
        camera.m_nFramesAtStart = nDrawn;
    }
    if (bContinuous) {
        camera.m_nState = IIDC_STATE_CAPTURING;
        return true;
    }
    if (!WaitUntilRunning(camera.m_pMediaControl.Get())) {
        camera.m_pMediaControl->Stop();
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NO_FRAMES);
        return false;
    }
    // Long enough for the renderer to draw a frame; the stop completes
    // asynchronously, and releasing the ring waits for it.
    Sleep(WINDOW_FRAME_MS);
    camera.m_pMediaControl->StopWhenReady();
    camera.m_nState = IIDC_STATE_READY;
    return true;
}

bool IdleCapture(CCamera& camera)
{
    if (camera.m_nState == IIDC_STATE_CAPTURING && camera.m_pMediaControl) {
        if (FAILED(camera.m_pMediaControl->Stop())) {
            SetErrorCode(camera.m_nIndex, E_FAIL);
            return false;
        }
        camera.m_nState = IIDC_STATE_READY;
    }
    DropCallback(camera);
    return true;
}

bool ClearCapture(CCamera& camera)
{
    if (camera.m_nState == IIDC_STATE_CAPTURING) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_CAPTURING);
        return false;
    }
    // The callback object (if any) keeps the camera's reference, so it stays
    // usable after the grabber that held it is gone.
    ResetCaptureGraph(camera);
    return true;
}
