#include "capture/single_frame.h"

#include <algorithm>

#include "base/media_type.h"
#include "capture/capture_control.h"
#include "capture/sample_grabber_cb.h"
#include "core/camera.h"
#include "core/library.h"
#include "registers/channel.h"
#include "registers/offsets.h"

using namespace iidc_reg;

namespace {

// Frame intervals of the rate in force that the bound always leaves.
constexpr ULONGLONG BOUND_FRAME_INTERVALS = 3;
constexpr ULONGLONG INTERVAL_UNITS_PER_MS = 10000;

enum class Trigger { Off, On, Unreadable };

// The trigger counts as on when its mode register says present and on.
Trigger ReadTrigger(const CCamera& camera)
{
    DWORD dwMode = 0;
    if (!ReadQuadlet(camera, TRIGGER_MODE, &dwMode))
        return Trigger::Unreadable;
    const DWORD dwOn = IIDC_BIT(0) | IIDC_BIT(6);
    return (dwMode & dwOn) == dwOn ? Trigger::On : Trigger::Off;
}

// The bound of a free-running camera: the set bound, but never less than
// three frame intervals of the format connected to the grabber.
DWORD UntriggeredBound(const CCamera& camera)
{
    const DWORD dwBound = SingleFrameTimeout();
    CMediaType mediaType;
    if (!camera.m_pGrabber || FAILED(camera.m_pGrabber->GetConnectedMediaType(&mediaType)))
        return dwBound;
    const VIDEOINFOHEADER* pInfo = mediaType.VideoInfo();
    if (!pInfo || pInfo->AvgTimePerFrame <= 0)
        return dwBound;
    const ULONGLONG nIntervals = BOUND_FRAME_INTERVALS * ULONGLONG(pInfo->AvgTimePerFrame);
    const ULONGLONG nMs = (nIntervals + INTERVAL_UNITS_PER_MS - 1) / INTERVAL_UNITS_PER_MS;
    return DWORD(std::clamp<ULONGLONG>(nMs, dwBound, INFINITE - 1));
}

// True once this capture's callback has received a frame (stored, or dropped
// because every buffer was locked). Looked at by polling: the frame event is
// left to the application's iidc_wait.
bool FrameReachedCallback(const CCamera& camera)
{
    const CSampleGrabberCB* pCallback = camera.m_pCallback;
    return !pCallback || pCallback->FramesStored() + pCallback->FramesDropped() > 0;
}

// Some graphs keep reporting the completion of an earlier run until the new
// one completes: a completion counts once this run's frame reached the
// callback, looked for until dwTimeout milliseconds after dwStart.
bool AwaitCallback(const CCamera& camera, DWORD dwStart, DWORD dwTimeout)
{
    while (!FrameReachedCallback(camera)) {
        if (GetTickCount() - dwStart >= dwTimeout)
            return false;
        Sleep(SINGLE_FRAME_POLL_MS);
    }
    return true;
}

// How a run ended: the graph's answer, or one of the library's own ends.
struct RunEnd {
    HRESULT hr = S_OK;
    LONG lCode = 0;
    DWORD dwLibraryCode = 0;  // IIDC_ERR_NO_FRAMES, IIDC_ERR_WAIT_ABORTED, or 0
};

RunEnd AwaitFreeRunningFrame(CCamera& camera, IMediaEvent* pEvent)
{
    const DWORD dwStart = GetTickCount();
    const DWORD dwTimeout = UntriggeredBound(camera);
    RunEnd end;
    end.hr = pEvent->WaitForCompletion(static_cast<LONG>(dwTimeout), &end.lCode);
    if (end.hr == E_ABORT || (end.hr == S_OK && end.lCode == EC_COMPLETE && !AwaitCallback(camera, dwStart, dwTimeout)))
        end.dwLibraryCode = IIDC_ERR_NO_FRAMES;  // the camera stopped, the device went away
    return end;
}

// No bound: a trigger may come after minutes. Each turn looks at the graph
// without waiting, then at the abort flag and whether the camera still
// answers, then sleeps a poll interval.
RunEnd AwaitTriggeredFrame(CCamera& camera, IMediaEvent* pEvent)
{
    for (;;) {
        RunEnd end;
        end.hr = pEvent->WaitForCompletion(0, &end.lCode);
        const bool bCompleted = end.hr == S_OK && end.lCode == EC_COMPLETE;
        if ((bCompleted && FrameReachedCallback(camera)) || (end.hr == S_OK && !bCompleted) ||
            (FAILED(end.hr) && end.hr != E_ABORT))
            return end;
        if (camera.m_bAbortWait.exchange(false))
            end.dwLibraryCode = IIDC_ERR_WAIT_ABORTED;
        else if (ReadTrigger(camera) == Trigger::Unreadable)
            end.dwLibraryCode = IIDC_ERR_NO_FRAMES;
        if (end.dwLibraryCode)
            return end;
        Sleep(SINGLE_FRAME_POLL_MS);
    }
}

} // namespace

bool WaitForSingleFrame(CCamera& camera, IMediaEvent* pEvent)
{
    const RunEnd end = ReadTrigger(camera) == Trigger::On ? AwaitTriggeredFrame(camera, pEvent)
                                                          : AwaitFreeRunningFrame(camera, pEvent);
    if (end.dwLibraryCode) {
        camera.m_pMediaControl->Stop();
        SetErrorCode(camera.m_nIndex, end.dwLibraryCode);
        return false;
    }
    if (FAILED(end.hr)) {
        OAFilterState state = 0;
        camera.m_pMediaControl->GetState(INFINITE, &state);
        DropCallback(camera);
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    if (end.lCode != EC_COMPLETE) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NO_FRAMES);
        return false;
    }
    // The callback object stays, so the ring position stays readable.
    camera.m_pMediaControl->Stop();
    return true;
}
