#include "vcam/filter/capture_pin.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "base/media_type.h"
#include "base/operation_fault.h"
#include "vcam/filter/capture_filter.h"
#include "vcam/filter/driver_log.h"
#include "vcam/filter/mode_caps.h"
#include "vcam/model/camera_model.h"

namespace vcam {

CVcamPin::CVcamPin(CVcamFilter* pFilter)
    : COutputPinBase(pFilter, L"Capture"), m_pVcamFilter(pFilter) {}

CCameraModel& CVcamPin::Camera() const { return m_pVcamFilter->Camera(); }

STDMETHODIMP CVcamPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  IUnknown* pInterface = nullptr;
  if (riid == IID_IAMStreamConfig) {
    pInterface = Camera().Faults()->bNoStreamConfig ? nullptr : static_cast<IAMStreamConfig*>(this);
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

bool CVcamPin::CurrentShape(VideoShape* pShape) const {
  const StreamInfo stream = Camera().GetStream();
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

HRESULT CVcamPin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
  VideoShape wanted;
  VideoShape current;
  if (FAILED(ParseVideoMediaType(pmt, &wanted)) || !CurrentShape(&current)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return wanted.SamePicture(current) && pmt->lSampleSize >= current.FrameBytes() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

// The pin offers the one format in force; IAMStreamConfig chooses another.
HRESULT CVcamPin::GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt) {
  if (iPosition < 0) {
    return E_INVALIDARG;
  }
  VideoShape shape;
  if (iPosition > 0 || !CurrentShape(&shape)) {
    return VFW_S_NO_MORE_ITEMS;
  }
  return FillVideoMediaType(pmt, shape);
}

HRESULT CVcamPin::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pRequest) {
  const std::uint32_t cbOversize = Camera().Faults()->cbOversize.load();
  const auto cbFrame = static_cast<std::uint64_t>(CurrentMediaType().lSampleSize);
  const std::uint64_t cbBuffer = cbFrame + cbOversize;
  if (cbBuffer > 0x7FFFFFFF) {
    return E_OUTOFMEMORY;
  }
  pRequest->cbBuffer = std::max(pRequest->cbBuffer, static_cast<LONG>(cbBuffer));
  return COutputPinBase::DecideBufferSize(pAllocator, pRequest);
}

// --- IAMStreamConfig ------------------------------------------------------

STDMETHODIMP CVcamPin::GetNumberOfCapabilities(int* piCount, int* piSize) {
  return RunOperation("IAMStreamConfig::GetNumberOfCapabilities", [&]() -> HRESULT {
    if (piCount == nullptr || piSize == nullptr) {
      return E_POINTER;
    }
    const std::size_t nCount = Camera().EnumerateStandardModes().size() + Camera().Faults()->nExtraCaps;
    *piCount = static_cast<int>(std::min<std::size_t>(nCount, std::numeric_limits<int>::max()));
    *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
  });
}

STDMETHODIMP CVcamPin::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) {
  return RunOperation("IAMStreamConfig::GetStreamCaps", [&]() -> HRESULT {
    if (ppmt == nullptr || pSCC == nullptr) {
      return E_POINTER;
    }
    return StreamCapsAt(Camera().EnumerateStandardModes(), iIndex, ppmt, pSCC);
  });
}

STDMETHODIMP CVcamPin::SetFormat(AM_MEDIA_TYPE* pmt) {
  return RunOperation("IAMStreamConfig::SetFormat", [&]() -> HRESULT {
    if (pmt == nullptr) {
      return E_POINTER;
    }
    FormatRequest request;
    request.subtype = pmt->subtype;
    request.lSampleSize = pmt->lSampleSize;
    HRESULT hr = ParseVideoMediaType(pmt, &request.shape);
    if (SUCCEEDED(hr)) {
      hr = ApplyFormat(pmt, request.shape);
    }
    request.hrResult = hr;
    m_pVcamFilter->Log().NoteFormatRequest(request);
    return hr;
  });
}

HRESULT CVcamPin::ApplyFormat(const AM_MEDIA_TYPE* pmt, const VideoShape& shape) {
  if (m_pFilter->GetFilterState() != State_Stopped) {
    return VFW_E_NOT_STOPPED;
  }
  VideoShape current;
  const bool bHasCurrent = CurrentShape(&current);
  // A connection keeps its picture: only the rate may change under it.
  if (IsConnected() && !(bHasCurrent && shape.SamePicture(current))) {
    return VFW_E_WRONG_STATE;
  }
  const std::vector<StandardModeInfo> modes = Camera().EnumerateStandardModes();
  if (const StandardModeInfo* pMode = FindStandardMode(modes, shape, pmt->lSampleSize)) {
    return static_cast<HRESULT>(Camera().SelectStandardMode(pMode->nFormat, pMode->nMode, shape.llInterval));
  }
  // Format 7: the picture is the area and colour coding the registers hold,
  // and the frame period follows from the packet size, so a request for the
  // format in force is accepted as it stands.
  const StreamInfo stream = Camera().GetStream();
  if (stream.bValid && stream.nFormat == FORMAT_7 && shape.SamePicture(current)) {
    return Camera().Faults()->bRefuseSetFormat ? E_INVALIDARG : S_OK;
  }
  return VFW_E_INVALIDMEDIATYPE;
}

STDMETHODIMP CVcamPin::GetFormat(AM_MEDIA_TYPE** ppmt) {
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

STDMETHODIMP CVcamPin::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                           LPVOID pPropData, DWORD cbPropData) {
  if (IsEqualGUID(guidPropSet, AMPROPSETID_Pin)) {
    return E_PROP_ID_UNSUPPORTED;  // the category is read-only
  }
  if (!m_pVcamFilter->HasPropertySet()) {
    return E_PROP_SET_UNSUPPORTED;
  }
  return m_pVcamFilter->Set(guidPropSet, dwPropID, pInstanceData, cbInstanceData, pPropData, cbPropData);
}

STDMETHODIMP CVcamPin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                           LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  if (IsEqualGUID(guidPropSet, AMPROPSETID_Pin)) {
    return GetPinCategory(dwPropID, pPropData, cbPropData, pcbReturned);
  }
  if (!m_pVcamFilter->HasPropertySet()) {
    return E_PROP_SET_UNSUPPORTED;
  }
  return m_pVcamFilter->Get(guidPropSet, dwPropID, pInstanceData, cbInstanceData, pPropData, cbPropData,
                            pcbReturned);
}

STDMETHODIMP CVcamPin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  if (IsEqualGUID(guidPropSet, AMPROPSETID_Pin)) {
    return QueryPinCategory(dwPropID, pTypeSupport);
  }
  if (!m_pVcamFilter->HasPropertySet()) {
    return E_PROP_SET_UNSUPPORTED;
  }
  return m_pVcamFilter->QuerySupported(guidPropSet, dwPropID, pTypeSupport);
}

}  // namespace vcam
