// Raw register access for applications: one quadlet per call, whatever the
// transfer length says.
#include "core/camera.h"
#include "core/library.h"
#include "registers/channel.h"

extern "C" int32_t IIDC_CAPI iidc1394_asyncreadquadlet(iidc_handle handle, uint32_t offset, uint32_t* pValue,
                                                       int32_t /*length*/)
{
    CCamera* pCamera = CameraFromHandle(handle);
    if (!pCamera || !pValue)
        return 0;
    DWORD value = 0;
    if (!ReadQuadlet(*pCamera, offset, &value))
        return 0;
    *pValue = value;
    return 4;
}

extern "C" int32_t IIDC_CAPI iidc1394_asyncwritequadlet(iidc_handle handle, uint32_t offset, const uint32_t* pValue,
                                                        int32_t /*length*/)
{
    CCamera* pCamera = CameraFromHandle(handle);
    if (!pCamera || !pValue)
        return 0;
    return WriteQuadlet(*pCamera, offset, *pValue) ? 4 : 0;
}
