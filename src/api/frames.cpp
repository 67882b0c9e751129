// The frame-buffer ring: library-owned or caller-supplied buffers.
#include "capture/ring.h"
#include "core/camera.h"
#include "core/library.h"

extern "C" int32_t IIDC_API iidc_allocframe(iidc_handle handle, int32_t count)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? AllocFrames(*pCamera, count) : 0;
}

extern "C" iidc_bool IIDC_API iidc_freeframe(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera && FreeFrames(*pCamera);
}

extern "C" int32_t IIDC_API iidc_attachbuffer(iidc_handle handle, unsigned char* const* buffers, int32_t size)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? AttachBuffers(*pCamera, buffers, size) : 0;
}

extern "C" iidc_bool IIDC_API iidc_releasebuffer(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera && ReleaseBuffers(*pCamera);
}

extern "C" uint32_t IIDC_API iidc_getframecount(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? static_cast<uint32_t>(FrameCount(pCamera->m_ppFrames)) : 0;
}
