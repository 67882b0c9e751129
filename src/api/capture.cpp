// The capture graph, capture control and waiting for frames.
#include "capture/capture_control.h"
#include "capture/capture_graph.h"
#include "capture/wait.h"
#include "core/camera.h"
#include "core/barrier.h"
#include "core/library.h"

extern "C" iidc_bool IIDC_API iidc_preparecapture(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return PrepareCapture(camera); });
}

extern "C" iidc_bool IIDC_API iidc_capture(iidc_handle handle, iidc_bool continuous)
{
    // Any value but 0 asks for continuous capture.
    return WithCamera(handle, [&](CCamera& camera) { return StartCapture(camera, continuous != 0); });
}

extern "C" iidc_bool IIDC_API iidc_idle(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return IdleCapture(camera); });
}

extern "C" iidc_bool IIDC_API iidc_clearcapture(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return ClearCapture(camera); });
}

extern "C" int32_t IIDC_API iidc_getstatus(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return camera.m_nState; });
}

extern "C" iidc_event IIDC_API iidc_wait(iidc_handle handle, const iidc_waitinfo* wait, uint32_t /*reserved*/)
{
    // Validated like every other handle: a stale one is never dereferenced.
    return WithCamera(handle, [&](CCamera& camera) -> iidc_event {
        if (!wait) {
            SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
            return nullptr;
        }
        return WaitForFrame(camera, wait->kind, wait->timeout);
    });
}

extern "C" iidc_bool IIDC_API iidc_waitabort(iidc_handle handle, iidc_event event)
{
    return WithCamera(handle, [&](CCamera& camera) {
        AbortWait(camera, event);
        return true;
    });
}
