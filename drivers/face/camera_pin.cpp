#include "drivers/face/camera_pin.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/operation_fault.h"
#include "drivers/face/camera_filter.h"
#include "drivers/face/mode_caps.h"

namespace vcam {

CCameraPin::CCameraPin(CCameraFilter* pFilter) : COutputPinBase(pFilter, L"Capture"), m_pCameraFilter(pFilter) {}

CCameraDevice& CCameraPin::Device() const { return m_pCameraFilter->Device(); }

bool CCameraPin::OffersPropertySet() const { return m_pCameraFilter->Offers(IID_IKsPropertySet); }

STDMETHODIMP CCameraPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  IUnknown* pInterface = nullptr;
  if (riid == IID_IAMStreamConfig) {
    pInterface = m_pCameraFilter->Offers(riid) ? static_cast<IAMStreamConfig*>(this) : nullptr;
  } else if (riid == IID_IKsPropertySet) {
    pInterface = static_cast<IKsPropertySet*>(this);
  } else {
    return CPinBase::NonDelegatingQueryInterface(riid, ppv);
  }
  if (pInterface == nullptr) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  return GetInterface(pInterface, ppv);
}

bool CCameraPin::CurrentShape(VideoShape* pShape) const {
  const StreamInfo stream = Device().GetStream();
  if (!stream.bValid) {
    return false;
  }
  pShape->nColor = stream.nColor;
  pShape->nWidth = stream.nWidth;
  pShape->nHeight = stream.nHeight;
  pShape->llInterval = stream.llInterval;
  return true;
}

// --- media types ----------------------------------------------------------

HRESULT CCameraPin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
  VideoShape wanted;
  VideoShape current;
  if (FAILED(ParseVideoMediaType(pmt, &wanted)) || !CurrentShape(&current)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return wanted.SamePicture(current) && pmt->lSampleSize >= current.FrameBytes() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

// The pin offers the one format in force; IAMStreamConfig chooses another.
HRESULT CCameraPin::GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt) {
  if (iPosition < 0) {
    return E_INVALIDARG;
  }
  VideoShape shape;
  if (iPosition > 0 || !CurrentShape(&shape)) {
    return VFW_S_NO_MORE_ITEMS;
  }
  return FillVideoMediaType(pmt, shape);
}

HRESULT CCameraPin::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pRequest) {
  const auto cbFrame = static_cast<std::uint64_t>(CurrentMediaType().lSampleSize);
  const std::uint64_t cbBuffer = cbFrame + m_pCameraFilter->SampleOversize();
  if (cbBuffer > 0x7FFFFFFF) {
    return E_OUTOFMEMORY;
  }
  pRequest->cbBuffer = std::max(pRequest->cbBuffer, static_cast<LONG>(cbBuffer));
  return COutputPinBase::DecideBufferSize(pAllocator, pRequest);
}

// --- IAMStreamConfig ------------------------------------------------------

STDMETHODIMP CCameraPin::GetNumberOfCapabilities(int* piCount, int* piSize) {
  return RunOperation("IAMStreamConfig::GetNumberOfCapabilities", [&]() -> HRESULT {
    if (piCount == nullptr || piSize == nullptr) {
      return E_POINTER;
    }
    const std::size_t nCount = Device().EnumerateStandardModes().size() + m_pCameraFilter->ExtraCapabilities();
    *piCount = static_cast<int>(std::min<std::size_t>(nCount, std::numeric_limits<int>::max()));
    *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
  });
}

STDMETHODIMP CCameraPin::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) {
  return RunOperation("IAMStreamConfig::GetStreamCaps", [&]() -> HRESULT {
    if (ppmt == nullptr || pSCC == nullptr) {
      return E_POINTER;
    }
    return StreamCapsAt(Device().EnumerateStandardModes(), iIndex, ppmt, pSCC);
  });
}

STDMETHODIMP CCameraPin::SetFormat(AM_MEDIA_TYPE* pmt) {
  return RunOperation("IAMStreamConfig::SetFormat", [&]() -> HRESULT {
    if (pmt == nullptr) {
      return E_POINTER;
    }
    VideoShape shape;
    HRESULT hr = ParseVideoMediaType(pmt, &shape);
    if (SUCCEEDED(hr)) {
      hr = ApplyFormat(pmt, shape);
    }
    m_pCameraFilter->NoteFormatRequest(*pmt, shape, hr);
    return hr;
  });
}

HRESULT CCameraPin::ApplyFormat(const AM_MEDIA_TYPE* pmt, const VideoShape& shape) {
  if (m_pFilter->GetFilterState() != State_Stopped) {
    return VFW_E_NOT_STOPPED;
  }
  VideoShape current;
  const bool bHasCurrent = CurrentShape(&current);
  // A connection keeps its picture: only the rate may change under it.
  if (IsConnected() && !(bHasCurrent && shape.SamePicture(current))) {
    return VFW_E_WRONG_STATE;
  }
  const std::vector<StandardModeInfo> modes = Device().EnumerateStandardModes();
  if (const StandardModeInfo* pMode = FindStandardMode(modes, shape, pmt->lSampleSize)) {
    return static_cast<HRESULT>(Device().SelectStandardMode(pMode->nFormat, pMode->nMode, shape.llInterval));
  }
  // Format 7: the picture is the area and colour coding the registers hold,
  // and the frame period follows from the packet size, so a request for the
  // format in force is accepted as it stands.
  const StreamInfo stream = Device().GetStream();
  if (stream.bValid && stream.nFormat == FORMAT_7 && bHasCurrent && shape.SamePicture(current)) {
    return m_pCameraFilter->RefusesFormats() ? E_INVALIDARG : S_OK;
  }
  return m_pCameraFilter->IsCameraLost() ? static_cast<HRESULT>(VCAM_E_NOT_CONNECTED) : VFW_E_INVALIDMEDIATYPE;
}

STDMETHODIMP CCameraPin::GetFormat(AM_MEDIA_TYPE** ppmt) {
  return RunOperation("IAMStreamConfig::GetFormat", [&]() -> HRESULT {
    if (ppmt == nullptr) {
      return E_POINTER;
    }
    *ppmt = nullptr;
    VideoShape shape;
    if (!CurrentShape(&shape)) {
      return E_FAIL;
    }
    HRESULT hr = S_OK;
    *ppmt = NewVideoMediaType(shape, &hr);
    return hr;
  });
}

// --- IKsPropertySet -------------------------------------------------------

STDMETHODIMP CCameraPin::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                             LPVOID pPropData, DWORD cbPropData) {
  if (IsEqualGUID(guidPropSet, AMPROPSETID_Pin)) {
    return E_PROP_ID_UNSUPPORTED;  // the category is read-only
  }
  if (!OffersPropertySet()) {
    return E_PROP_SET_UNSUPPORTED;
  }
  return m_pCameraFilter->Set(guidPropSet, dwPropID, pInstanceData, cbInstanceData, pPropData, cbPropData);
}

STDMETHODIMP CCameraPin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                             LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  if (IsEqualGUID(guidPropSet, AMPROPSETID_Pin)) {
    return GetPinCategory(dwPropID, pPropData, cbPropData, pcbReturned);
  }
  if (!OffersPropertySet()) {
    return E_PROP_SET_UNSUPPORTED;
  }
  return m_pCameraFilter->Get(guidPropSet, dwPropID, pInstanceData, cbInstanceData, pPropData, cbPropData,
                              pcbReturned);
}

STDMETHODIMP CCameraPin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  if (IsEqualGUID(guidPropSet, AMPROPSETID_Pin)) {
    return QueryPinCategory(dwPropID, pTypeSupport);
  }
  if (!OffersPropertySet()) {
    return E_PROP_SET_UNSUPPORTED;
  }
  return m_pCameraFilter->QuerySupported(guidPropSet, dwPropID, pTypeSupport);
}

}  // namespace vcam
