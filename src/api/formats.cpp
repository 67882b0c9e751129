// The format catalogue and format selection.
#include "core/library.h"
#include "format/catalogue.h"
#include "format/selection.h"

extern "C" int32_t IIDC_API iidc_getformatcount(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetFormatCount(*pCamera) : 0;
}

extern "C" int32_t IIDC_API iidc_getformatidlist(iidc_handle handle, uint32_t* pIds, int32_t cbIds)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetFormatIdList(*pCamera, pIds, cbIds) : 0;
}

extern "C" int32_t IIDC_API iidc_getformatinfo(iidc_handle handle, iidc_formatinfo* pInfo, int32_t cbInfo, uint32_t id)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetFormatInfo(*pCamera, pInfo, cbInfo, id) : 0;
}

extern "C" uint32_t IIDC_API iidc_currentformat(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetCurrentFormat(*pCamera) : 0;
}

extern "C" iidc_bool IIDC_API iidc_setformat(iidc_handle handle, uint32_t id)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera && SelectFormat(*pCamera, id) ? 1 : 0;
}
