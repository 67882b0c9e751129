// The driver property set through which a camera's registers are read and
// written and its Format 7 area is requested, as IKsPropertySet carries it:
// one 64-byte block per request, 32-bit little-endian fields.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>

#include "winapi.h"
#include "vcam/model/camera_device.h"

namespace vcam {

// {3C622270-2A67-40E2-85A6-9C76859AEC02}
inline constexpr GUID PROPSETID_IIDC_CAMERA{0x3c622270, 0x2a67, 0x40e2,
                                            {0x85, 0xa6, 0x9c, 0x76, 0x85, 0x9a, 0xec, 0x02}};

inline constexpr DWORD IIDC_PROPERTY_AREA = 0;
inline constexpr DWORD IIDC_PROPERTY_READ_QUADLET = 5;
inline constexpr DWORD IIDC_PROPERTY_WRITE_QUADLET = 6;

inline constexpr ULONG IIDC_PROPERTY_BYTES = 64;

// Byte positions of the register requests inside the block (the area
// request's fields are the camera's: vcam/model/camera_device.h).
inline constexpr ULONG REGISTER_OFFSET_AT = 56;
inline constexpr ULONG REGISTER_VALUE_AT = 60;

// The block is plain bytes of whatever alignment the caller had; fields are
// copied, never cast.
inline std::uint32_t LoadQuadlet(const void* pBlock, ULONG nAt) {
  std::uint32_t dw;
  std::memcpy(&dw, static_cast<const BYTE*>(pBlock) + nAt, sizeof(dw));
  return dw;
}
inline void StoreQuadlet(void* pBlock, ULONG nAt, std::uint32_t dw) {
  std::memcpy(static_cast<BYTE*>(pBlock) + nAt, &dw, sizeof(dw));
}

// The register requests carry their block as instance data and as property
// data (the same memory in practice); either may be the one given.
inline const void* RequestBlock(const void* pInstanceData, DWORD cbInstanceData, const void* pPropData, DWORD cbPropData) {
  if (pPropData != nullptr && cbPropData >= IIDC_PROPERTY_BYTES) {
    return pPropData;
  }
  if (pInstanceData != nullptr && cbInstanceData >= IIDC_PROPERTY_BYTES) {
    return pInstanceData;
  }
  return nullptr;
}

// Hears every Format 7 area request with its result (the virtual camera's
// driver log); may be empty.
using AreaRequestNote = std::function<void(const void* pRequest, DWORD cbRequest, HRESULT hr)>;

// IKsPropertySet's Set, Get and QuerySupported for PROPSETID_IIDC_CAMERA,
// as every camera's filter answers them. bStopped: whether the filter is
// stopped, which an area request needs (the frame size may change under a
// running stream).
HRESULT SetCameraProperty(CCameraDevice& camera, bool bStopped, const AreaRequestNote& noteArea, REFGUID guidPropSet,
                          DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData, LPVOID pPropData,
                          DWORD cbPropData);
HRESULT GetCameraProperty(CCameraDevice& camera, REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                          DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned);
HRESULT QueryCameraProperty(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport);

}  // namespace vcam
