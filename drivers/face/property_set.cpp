#include "drivers/face/property_set.h"

namespace vcam {

HRESULT SetCameraProperty(CCameraDevice& camera, bool bStopped, const AreaRequestNote& noteArea, REFGUID guidPropSet,
                          DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData, LPVOID pPropData,
                          DWORD cbPropData) {
  if (!IsEqualGUID(guidPropSet, PROPSETID_IIDC_CAMERA)) {
    return E_PROP_SET_UNSUPPORTED;
  }
  if (dwPropID != IIDC_PROPERTY_AREA && dwPropID != IIDC_PROPERTY_READ_QUADLET &&
      dwPropID != IIDC_PROPERTY_WRITE_QUADLET) {
    return E_PROP_ID_UNSUPPORTED;
  }
  if (dwPropID == IIDC_PROPERTY_AREA) {
    const void* pArea = pPropData != nullptr ? pPropData : pInstanceData;
    const DWORD cbArea = pPropData != nullptr ? cbPropData : cbInstanceData;
    HRESULT hr;
    if (pArea == nullptr) {
      hr = E_POINTER;
    } else if (!bStopped) {
      hr = VFW_E_NOT_STOPPED;
    } else {
      hr = static_cast<HRESULT>(camera.ApplyAreaRequest(pArea, cbArea));
    }
    if (noteArea) {
      noteArea(pArea, cbArea, hr);
    }
    return hr;
  }
  const void* pBlock = RequestBlock(pInstanceData, cbInstanceData, pPropData, cbPropData);
  if (pBlock == nullptr) {
    return pPropData == nullptr && pInstanceData == nullptr ? E_POINTER : E_INVALIDARG;
  }
  const std::uint32_t dwOffset = LoadQuadlet(pBlock, REGISTER_OFFSET_AT);
  if (dwPropID == IIDC_PROPERTY_WRITE_QUADLET) {
    return static_cast<HRESULT>(camera.WriteQuadlet(dwOffset, LoadQuadlet(pBlock, REGISTER_VALUE_AT)));
  }
  // A read is named by Set and answered by Get; Set already tries the
  // register so that a register the camera cannot read fails at once.
  std::uint32_t dwValue = 0;
  return static_cast<HRESULT>(camera.ReadQuadlet(dwOffset, &dwValue));
}

HRESULT GetCameraProperty(CCameraDevice& camera, REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                          DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  if (!IsEqualGUID(guidPropSet, PROPSETID_IIDC_CAMERA)) {
    return E_PROP_SET_UNSUPPORTED;
  }
  if (dwPropID != IIDC_PROPERTY_READ_QUADLET) {
    return E_PROP_ID_UNSUPPORTED;
  }
  if (pPropData == nullptr) {
    return E_POINTER;
  }
  if (cbPropData < IIDC_PROPERTY_BYTES) {
    return E_INVALIDARG;
  }
  const void* pBlock = RequestBlock(pInstanceData, cbInstanceData, nullptr, 0);
  const std::uint32_t dwOffset = LoadQuadlet(pBlock != nullptr ? pBlock : pPropData, REGISTER_OFFSET_AT);
  std::uint32_t dwValue = 0;
  const Result r = camera.ReadQuadlet(dwOffset, &dwValue);
  if (Failed(r)) {
    return static_cast<HRESULT>(r);
  }
  StoreQuadlet(pPropData, REGISTER_VALUE_AT, dwValue);
  if (pcbReturned != nullptr) {
    *pcbReturned = IIDC_PROPERTY_BYTES;
  }
  return S_OK;
}

HRESULT QueryCameraProperty(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  if (!IsEqualGUID(guidPropSet, PROPSETID_IIDC_CAMERA)) {
    return E_PROP_SET_UNSUPPORTED;
  }
  DWORD dwSupport = 0;
  switch (dwPropID) {
    case IIDC_PROPERTY_READ_QUADLET:
      dwSupport = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
      break;
    case IIDC_PROPERTY_WRITE_QUADLET:
    case IIDC_PROPERTY_AREA:
      dwSupport = KSPROPERTY_SUPPORT_SET;
      break;
    default:
      return E_PROP_ID_UNSUPPORTED;
  }
  if (pTypeSupport != nullptr) {
    *pTypeSupport = dwSupport;
  }
  return S_OK;
}

}  // namespace vcam
