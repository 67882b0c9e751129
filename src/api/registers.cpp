// Raw register access for applications: one quadlet per call, whatever the
// transfer length says.
#include "core/barrier.h"
#include "core/camera.h"
#include "core/library.h"
#include "registers/channel.h"

extern "C" int32_t IIDC_CAPI iidc1394_asyncreadquadlet(iidc_handle handle, uint32_t offset, uint32_t* pValue,
                                                       int32_t /*length*/)
{
    return WithCamera(handle, [&](CCamera& camera) -> int32_t {
        DWORD value = 0;
        if (!pValue || !ReadQuadlet(camera, offset, &value))
            return 0;
        *pValue = value;
        return 4;
    });
}

extern "C" int32_t IIDC_CAPI iidc1394_asyncwritequadlet(iidc_handle handle, uint32_t offset, const uint32_t* pValue,
                                                        int32_t /*length*/)
{
    return WithCamera(handle, [&](CCamera& camera) -> int32_t {
        return pValue && WriteQuadlet(camera, offset, *pValue) ? 4 : 0;
    });
}
