// The frame-buffer ring: library-owned or caller-supplied buffers.
#include "capture/ring.h"
#include "core/camera.h"
#include "core/barrier.h"
#include "core/library.h"

extern "C" int32_t IIDC_API iidc_allocframe(iidc_handle handle, int32_t count)
{
    return WithCamera(handle, [&](CCamera& camera) { return AllocFrames(camera, count); });
}

extern "C" iidc_bool IIDC_API iidc_freeframe(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return FreeFrames(camera); });
}

extern "C" int32_t IIDC_API iidc_attachbuffer(iidc_handle handle, unsigned char* const* buffers, int32_t size)
{
    return WithCamera(handle, [&](CCamera& camera) { return AttachBuffers(camera, buffers, size); });
}

extern "C" iidc_bool IIDC_API iidc_releasebuffer(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return ReleaseBuffers(camera); });
}

extern "C" uint32_t IIDC_API iidc_getframecount(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return static_cast<uint32_t>(FrameCount(camera.m_ppFrames)); });
}
