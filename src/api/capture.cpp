// The capture graph, capture control and waiting for frames.
#include "capture/capture_control.h"
#include "capture/capture_graph.h"
#include "capture/wait.h"
#include "core/camera.h"
#include "core/library.h"

extern "C" iidc_bool IIDC_API iidc_preparecapture(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera && PrepareCapture(*pCamera);
}

extern "C" iidc_bool IIDC_API iidc_capture(iidc_handle handle, iidc_bool continuous)
{
    CCamera* pCamera = CameraFromHandle(handle);
    // Any value but 0 asks for continuous capture.
    return pCamera && StartCapture(*pCamera, continuous != 0);
}

extern "C" iidc_bool IIDC_API iidc_idle(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera && IdleCapture(*pCamera);
}

extern "C" iidc_bool IIDC_API iidc_clearcapture(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera && ClearCapture(*pCamera);
}

extern "C" int32_t IIDC_API iidc_getstatus(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? pCamera->m_nState : 0;
}

extern "C" iidc_event IIDC_API iidc_wait(iidc_handle handle, const iidc_waitinfo* wait, uint32_t /*reserved*/)
{
    // Validated like every other handle: a stale one is never dereferenced.
    CCamera* pCamera = CameraFromHandle(handle);
    if (!pCamera)
        return nullptr;
    if (!wait) {
        SetErrorCode(pCamera->m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return nullptr;
    }
    return WaitForFrame(*pCamera, wait->kind, wait->timeout);
}

extern "C" iidc_bool IIDC_API iidc_waitabort(iidc_handle handle, iidc_event event)
{
    CCamera* pCamera = CameraFromHandle(handle);
    if (!pCamera)
        return 0;
    AbortWait(*pCamera, event);
    return 1;
}
