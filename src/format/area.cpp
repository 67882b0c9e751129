#include "format/area.h"

#include "core/camera.h"
#include "core/library.h"
#include "format/camera_registers.h"
#include "format/format_id.h"
#include "format/graph_reset.h"
#include "registers/offsets.h"
#include "registers/property_set.h"

using namespace iidc_reg;

namespace {

constexpr int32_t Upper(DWORD value) { return int32_t(value >> 16); }
constexpr int32_t Lower(DWORD value) { return int32_t(value & 0xFFFF); }

} // namespace

int32_t GetAreaInfo(CCamera& camera, iidc_areainfo* pInfo, uint32_t id)
{
    if (!pInfo) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    if (FormatOfId(id) != IIDC_FORMAT_SCALABLE) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NOT_SUPPORTED);
        return 0;
    }
    const DWORD mode = ModeOfId(id);
    DWORD formats = 0, modes = 0;
    if (!ReadCameraRegister(camera, V_FORMAT_INQ, &formats))
        return 0;
    if (!(formats & IIDC_BIT(7))) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_FORMAT_UNAVAILABLE);
        return 0;
    }
    if (!ReadCameraRegister(camera, V_MODE_INQ_7, &modes))
        return 0;
    if (!(modes & IIDC_BIT(mode))) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_FORMAT_UNAVAILABLE);
        return 0;
    }
    DWORD block = 0, value = 0;
    if (!ReadFormat7Block(camera, mode, &block) || !ReadCameraRegister(camera, block + F7_MAX_IMAGE_SIZE_INQ, &value))
        return 0;
    pInfo->maxwidth = Upper(value);
    pInfo->maxheight = Lower(value);
    if (!ReadCameraRegister(camera, block + F7_UNIT_SIZE_INQ, &value))
        return 0;
    pInfo->widthunit = Upper(value);
    pInfo->heightunit = Lower(value);
    if (!ReadCameraRegister(camera, block + F7_UNIT_POSITION_INQ, &value))
        return 0;
    pInfo->leftunit = Upper(value);
    pInfo->topunit = Lower(value);
    return 1;
}

int32_t GetCurrentArea(CCamera& camera, iidc_area* pArea)
{
    if (!camera.m_pKsPropertySet) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_HANDLE);
        return 0;
    }
    if (!pArea) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    DWORD format = 0;
    if (!ReadCameraRegister(camera, CUR_V_FORMAT, &format))
        return 0;
    if (TopThreeBits(format) != IIDC_FORMAT_SCALABLE) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    DWORD mode = 0, block = 0, value = 0;
    if (!ReadCameraRegister(camera, CUR_V_MODE, &mode) || !ReadFormat7Block(camera, TopThreeBits(mode), &block)
        || !ReadCameraRegister(camera, block + F7_IMAGE_POSITION, &value))
        return 0;
    pArea->left = Upper(value);
    pArea->top = Lower(value);
    if (!ReadCameraRegister(camera, block + F7_IMAGE_SIZE, &value))
        return 0;
    pArea->width = Upper(value);
    pArea->height = Lower(value);
    return 1;
}

int32_t SetArea(CCamera& camera, const iidc_area* pArea)
{
    if (!pArea) {
        SetErrorCode(-1, IIDC_ERR_INVALID_PARAMETER);   // the camera's slot is left alone
        return 0;
    }
    if (!camera.m_pKsPropertySet) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_HANDLE);
        return 0;
    }
    ResetCaptureGraph(camera);
    // The library judges nothing about the rectangle; the driver does.
    IIDC_AREA_REQUEST request{};
    request.left = pArea->left;
    request.top = pArea->top;
    request.width = pArea->width;
    request.height = pArea->height;
    request.one = 1;
    const HRESULT hr = camera.m_pKsPropertySet->Set(PROPSETID_IIDC_CAMERA, IIDC_PROPERTY_AREA, &request,
                                                    sizeof request, &request, sizeof request);
    if (hr == IIDC_AREA_NOT_FORMAT7) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NOT_SUPPORTED);
        return 0;
    }
    if (FAILED(hr)) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    return 1;
}
