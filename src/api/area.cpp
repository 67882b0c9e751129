// The Format 7 image area.
#include "core/library.h"
#include "format/area.h"

extern "C" int32_t IIDC_API iidc_getareainfo(iidc_handle handle, iidc_areainfo* pInfo, int32_t /*cbInfo*/, uint32_t id)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetAreaInfo(*pCamera, pInfo, id) : 0;
}

extern "C" int32_t IIDC_API iidc_currentarea(iidc_handle handle, iidc_area* pArea, int32_t /*cbArea*/)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetCurrentArea(*pCamera, pArea) : 0;
}

extern "C" int32_t IIDC_API iidc_setarea(iidc_handle handle, const iidc_area* pArea, int32_t /*cbArea*/)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? SetArea(*pCamera, pArea) : 0;
}
