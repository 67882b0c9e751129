// Figures of the running stream. Every handle is validated, the counter query
// too: a stale handle must never be followed.
#include "core/barrier.h"
#include "core/library.h"
#include "format/transfer.h"

extern "C" int32_t IIDC_API iidc_currentdataframebytes(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetCurrentDataFrameBytes(camera); });
}

extern "C" int32_t IIDC_API iidc_gettransferinfo(iidc_handle handle, iidc_transferinfo* pInfo, int32_t /*cbInfo*/)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetTransferInfo(camera, pInfo); });
}

extern "C" int32_t IIDC_CAPI iidc1394_currentisotransmissioninfo(iidc_handle handle,
                                                              iidc1394_isotransmissioninfo* pInfo)
{
    return WithCamera(handle, [&](CCamera& camera) { return GetIsoTransmissionInfo(camera, pInfo); });
}
