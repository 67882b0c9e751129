// Frame-rate inquiry, the rate in force and its change.
#include "core/library.h"
#include "format/frame_rate.h"

extern "C" int32_t IIDC_API iidc_getframerateinfo(iidc_handle handle, iidc_framerateinfo* pInfo, int32_t /*cbInfo*/,
                                               uint32_t id)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetFrameRateInfo(*pCamera, pInfo, id) : 0;
}

extern "C" float IIDC_API iidc_currentframerate(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetCurrentFrameRate(*pCamera) : 0.0f;
}

extern "C" float IIDC_API iidc_setframerate(iidc_handle handle, float rate)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? SetFrameRate(*pCamera, rate) : 0.0f;
}
