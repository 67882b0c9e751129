// Figures of the running stream. Every handle is validated, the counter query
// too: a stale handle must never be followed.
#include "core/library.h"
#include "format/transfer.h"

extern "C" int32_t IIDC_API iidc_currentdataframebytes(iidc_handle handle)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetCurrentDataFrameBytes(*pCamera) : 0;
}

extern "C" int32_t IIDC_API iidc_gettransferinfo(iidc_handle handle, iidc_transferinfo* pInfo, int32_t /*cbInfo*/)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetTransferInfo(*pCamera, pInfo) : 0;
}

extern "C" int32_t IIDC_CAPI iidc1394_currentisotransmissioninfo(iidc_handle handle,
                                                              iidc1394_isotransmissioninfo* pInfo)
{
    CCamera* pCamera = CameraFromHandle(handle);
    return pCamera ? GetIsoTransmissionInfo(*pCamera, pInfo) : 0;
}
