// Frame-rate inquiry, the rate in force and its change.
#include "core/barrier.h"
#include "core/library.h"
#include "format/frame_rate.h"

extern "C" int32_t IIDC_API iidc_getframerateinfo(iidc_handle handle, iidc_framerateinfo* pInfo, int32_t /*cbInfo*/,
                                               uint32_t id)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetFrameRateInfo(camera, pInfo, id); });
}

extern "C" float IIDC_API iidc_currentframerate(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetCurrentFrameRate(camera); });
}

extern "C" float IIDC_API iidc_setframerate(iidc_handle handle, float rate)
{
    return WithCamera(handle, [&](CCamera& camera) { return SetFrameRate(camera, rate); });
}
