// The Format 7 image area.
#include "core/barrier.h"
#include "core/library.h"
#include "format/area.h"

extern "C" int32_t IIDC_API iidc_getareainfo(iidc_handle handle, iidc_areainfo* pInfo, int32_t /*cbInfo*/, uint32_t id)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetAreaInfo(camera, pInfo, id); });
}

extern "C" int32_t IIDC_API iidc_currentarea(iidc_handle handle, iidc_area* pArea, int32_t /*cbArea*/)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetCurrentArea(camera, pArea); });
}

extern "C" int32_t IIDC_API iidc_setarea(iidc_handle handle, const iidc_area* pArea, int32_t /*cbArea*/)
{
    return WithCamera(handle, [&](CCamera& camera) { return SetArea(camera, pArea); });
}
