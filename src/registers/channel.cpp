#include "registers/channel.h"

#include "core/camera.h"
#include "registers/property_set.h"

bool ReadQuadlet(IKsPropertySet* pProps, DWORD offset, DWORD* pValue)
{
    if (!pProps)
        return false;
    // The set request names the register; the get request that follows
    // returns its value in the same block.
    IIDC_REGISTER_REQUEST request{};
    request.offset = offset;
    if (FAILED(pProps->Set(PROPSETID_IIDC_CAMERA, IIDC_PROPERTY_READ_QUADLET, &request, sizeof request,
                           &request, sizeof request)))
        return false;
    DWORD cbReturned = 0;
    if (FAILED(pProps->Get(PROPSETID_IIDC_CAMERA, IIDC_PROPERTY_READ_QUADLET, &request, sizeof request,
                           &request, sizeof request, &cbReturned)))
        return false;
    *pValue = request.value;
    return true;
}

bool WriteQuadlet(IKsPropertySet* pProps, DWORD offset, DWORD value)
{
    if (!pProps)
        return false;
    IIDC_REGISTER_REQUEST request{};
    request.offset = offset;
    request.value = value;
    return SUCCEEDED(pProps->Set(PROPSETID_IIDC_CAMERA, IIDC_PROPERTY_WRITE_QUADLET, &request, sizeof request,
                                 &request, sizeof request));
}

bool ReadQuadlet(const CCamera& camera, DWORD offset, DWORD* pValue)
{
    return ReadQuadlet(camera.m_pKsPropertySet.Get(), offset, pValue);
}

bool WriteQuadlet(const CCamera& camera, DWORD offset, DWORD value)
{
    return WriteQuadlet(camera.m_pKsPropertySet.Get(), offset, value);
}
