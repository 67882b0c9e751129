// Raw register access for applications: one quadlet per call, whatever the
// transfer length says.
#include "core/camera.h"
#include "core/library.h"
#include "registers/channel.h"

extern "C" LONG IIDC_CAPI iidc1394_asyncreadquadlet(iidc_handle handle, DWORD offset, DWORD* pValue,
                                                    DWORD /*length*/)
{
    CCamera* pCamera = CameraFromHandle(handle);
    if (!pCamera || !pValue)
        return 0;
    return ReadQuadlet(*pCamera, offset, pValue) ? 4 : 0;
}

extern "C" LONG IIDC_CAPI iidc1394_asyncwritequadlet(iidc_handle handle, DWORD offset, const DWORD* pValue,
                                                     DWORD /*length*/)
{
    CCamera* pCamera = CameraFromHandle(handle);
    if (!pCamera || !pValue)
        return 0;
    return WriteQuadlet(*pCamera, offset, *pValue) ? 4 : 0;
}
