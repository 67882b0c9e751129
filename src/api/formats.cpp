// The format catalogue and format selection.
#include "core/barrier.h"
#include "core/library.h"
#include "format/catalogue.h"
#include "format/selection.h"

extern "C" int32_t IIDC_API iidc_getformatcount(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetFormatCount(camera); });
}

extern "C" int32_t IIDC_API iidc_getformatidlist(iidc_handle handle, uint32_t* pIds, int32_t cbIds)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetFormatIdList(camera, pIds, cbIds); });
}

extern "C" int32_t IIDC_API iidc_getformatinfo(iidc_handle handle, iidc_formatinfo* pInfo, int32_t cbInfo, uint32_t id)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetFormatInfo(camera, pInfo, cbInfo, id); });
}

extern "C" uint32_t IIDC_API iidc_currentformat(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetCurrentFormat(camera); });
}

extern "C" iidc_bool IIDC_API iidc_setformat(iidc_handle handle, uint32_t id)
{
    return WithCamera(handle, [&](CCamera& camera) { return SelectFormat(camera, id); });
}
