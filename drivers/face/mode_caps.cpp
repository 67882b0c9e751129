#include "drivers/face/mode_caps.h"

#include <cstring>

#include "base/media_type.h"

namespace vcam {

VideoShape ShapeOfMode(const StandardModeInfo& mode) {
  VideoShape shape;
  shape.nColor = mode.geometry.nColor;
  shape.nWidth = mode.geometry.nWidth;
  shape.nHeight = mode.geometry.nHeight;
  const std::optional<unsigned> nFastest = FastestRateCode(mode.dwRates);
  shape.llInterval = nFastest ? IntervalFromCode(*nFastest) : 0;
  return shape;
}

void FillStreamCaps(const StandardModeInfo& mode, VIDEO_STREAM_CONFIG_CAPS* pCaps) {
  std::memset(pCaps, 0, sizeof(*pCaps));
  const SIZE size{static_cast<LONG>(mode.geometry.nWidth), static_cast<LONG>(mode.geometry.nHeight)};
  pCaps->guid = FORMAT_VideoInfo;
  pCaps->InputSize = size;
  pCaps->MinCroppingSize = size;
  pCaps->MaxCroppingSize = size;
  pCaps->CropGranularityX = 1;
  pCaps->CropGranularityY = 1;
  pCaps->MinOutputSize = size;
  pCaps->MaxOutputSize = size;
  pCaps->OutputGranularityX = 1;
  pCaps->OutputGranularityY = 1;
  // Codes 0-7 are the rates 1.875 * 2^k; the masks run from IIDC bit 0.
  for (unsigned nCode = 0; nCode < RATE_CODE_COUNT; ++nCode) {
    if (mode.dwRates & (0x80000000u >> nCode)) {
      const LONGLONG llInterval = IntervalFromCode(nCode);
      if (pCaps->MaxFrameInterval == 0) {
        pCaps->MaxFrameInterval = llInterval;  // slowest: the lowest code
      }
      pCaps->MinFrameInterval = llInterval;
    }
  }
  const std::uint64_t cbitFrame = mode.cbFrame * 8;
  if (pCaps->MaxFrameInterval > 0) {
    pCaps->MinBitsPerSecond = static_cast<LONG>(cbitFrame * 10000000 / static_cast<std::uint64_t>(pCaps->MaxFrameInterval));
    pCaps->MaxBitsPerSecond = static_cast<LONG>(cbitFrame * 10000000 / static_cast<std::uint64_t>(pCaps->MinFrameInterval));
  }
}

AM_MEDIA_TYPE* NewVideoMediaType(const VideoShape& shape, HRESULT* phr) {
  CMediaTypePtr pmt(static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE))));
  if (!pmt) {
    *phr = E_OUTOFMEMORY;
    return nullptr;
  }
  *pmt.Get() = AM_MEDIA_TYPE{};
  *phr = FillVideoMediaType(pmt.Get(), shape);
  return SUCCEEDED(*phr) ? pmt.Detach() : nullptr;
}


const StandardModeInfo* FindStandardMode(const std::vector<StandardModeInfo>& modes, const VideoShape& shape,
                                         ULONG lSampleSize) {
  for (const StandardModeInfo& mode : modes) {
    if (shape.SamePicture(ShapeOfMode(mode)) && lSampleSize == mode.cbFrame) {
      return &mode;
    }
  }
  return nullptr;
}

HRESULT StreamCapsAt(const std::vector<StandardModeInfo>& modes, int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) {
  if (ppmt == nullptr || pSCC == nullptr) {
    return E_POINTER;
  }
  *ppmt = nullptr;
  if (iIndex < 0) {
    return E_INVALIDARG;
  }
  if (static_cast<std::size_t>(iIndex) >= modes.size()) {
    return S_FALSE;
  }
  const StandardModeInfo& mode = modes[static_cast<std::size_t>(iIndex)];
  HRESULT hr = S_OK;
  *ppmt = NewVideoMediaType(ShapeOfMode(mode), &hr);
  if (*ppmt == nullptr) {
    return hr;
  }
  VIDEO_STREAM_CONFIG_CAPS caps;
  FillStreamCaps(mode, &caps);
  std::memcpy(pSCC, &caps, sizeof(caps));  // the caller's buffer need not be aligned
  return S_OK;
}

HRESULT FrameRateList(const std::vector<StandardModeInfo>& modes, LONG iIndex, SIZE Dimensions, LONG* pListSize,
                      LONGLONG** pFrameRates) {
  if (pListSize == nullptr) {
    return E_POINTER;
  }
  if (iIndex < 0 || static_cast<std::size_t>(iIndex) >= modes.size()) {
    return E_INVALIDARG;
  }
  const StandardModeInfo& mode = modes[static_cast<std::size_t>(iIndex)];
  if (Dimensions.cx != static_cast<LONG>(mode.geometry.nWidth) ||
      Dimensions.cy != static_cast<LONG>(mode.geometry.nHeight)) {
    return E_INVALIDARG;
  }
  std::vector<LONGLONG> intervals;
  for (unsigned nCode = RATE_CODE_COUNT; nCode-- > 0;) {
    if (mode.dwRates & (0x80000000u >> nCode)) {
      intervals.push_back(IntervalFromCode(nCode));
    }
  }
  *pListSize = static_cast<LONG>(intervals.size());
  if (pFrameRates == nullptr) {
    return S_OK;
  }
  *pFrameRates = nullptr;
  if (intervals.empty()) {
    return S_OK;
  }
  auto* pRates = static_cast<LONGLONG*>(CoTaskMemAlloc(intervals.size() * sizeof(LONGLONG)));
  if (pRates == nullptr) {
    return E_OUTOFMEMORY;
  }
  for (std::size_t i = 0; i < intervals.size(); ++i) {
    pRates[i] = intervals[i];
  }
  *pFrameRates = pRates;
  return S_OK;
}

HRESULT MaxFrameRate(const std::vector<StandardModeInfo>& modes, LONG iIndex, SIZE Dimensions,
                     LONGLONG* pMaxAvailableFrameRate) {
  if (pMaxAvailableFrameRate == nullptr) {
    return E_POINTER;
  }
  LONG nCount = 0;
  LONGLONG* pRates = nullptr;
  HRESULT hr = FrameRateList(modes, iIndex, Dimensions, &nCount, &pRates);
  if (FAILED(hr)) {
    return hr;
  }
  if (nCount == 0) {
    return E_FAIL;
  }
  *pMaxAvailableFrameRate = pRates[0];
  CoTaskMemFree(pRates);
  return S_OK;
}

HRESULT GetPinCategory(DWORD dwPropID, LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  if (dwPropID != AMPROPERTY_PIN_CATEGORY) {
    return E_PROP_ID_UNSUPPORTED;
  }
  if (pPropData == nullptr) {
    return E_POINTER;
  }
  if (cbPropData < sizeof(GUID)) {
    return E_UNEXPECTED;
  }
  std::memcpy(pPropData, &PIN_CATEGORY_CAPTURE, sizeof(GUID));
  if (pcbReturned != nullptr) {
    *pcbReturned = sizeof(GUID);
  }
  return S_OK;
}

HRESULT QueryPinCategory(DWORD dwPropID, DWORD* pTypeSupport) {
  if (dwPropID != AMPROPERTY_PIN_CATEGORY) {
    return E_PROP_ID_UNSUPPORTED;
  }
  if (pTypeSupport != nullptr) {
    *pTypeSupport = KSPROPERTY_SUPPORT_GET;
  }
  return S_OK;
}

}  // namespace vcam
