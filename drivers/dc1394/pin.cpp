#include "drivers/dc1394/pin.h"

#include <vector>

#include "base/operation_fault.h"
#include "drivers/dc1394/camera.h"
#include "drivers/dc1394/filter.h"
#include "vcam/filter/mode_caps.h"

namespace dc1394drv {

using vcam::VideoShape;

CDc1394Pin::CDc1394Pin(CDc1394Filter* pFilter) : COutputPinBase(pFilter, L"Capture"), m_pDc1394Filter(pFilter) {}

CDc1394Camera& CDc1394Pin::Camera() const { return m_pDc1394Filter->Camera(); }

STDMETHODIMP CDc1394Pin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (riid == IID_IAMStreamConfig) {
    return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
  }
  if (riid == IID_IKsPropertySet) {
    return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
  }
  return CPinBase::NonDelegatingQueryInterface(riid, ppv);
}

bool CDc1394Pin::CurrentShape(VideoShape* pShape) const {
  const vcam::StreamInfo stream = Camera().GetStream();
  if (!stream.bValid) {
    return false;
  }
  pShape->nColor = stream.nColor;
  pShape->nWidth = stream.nWidth;
  pShape->nHeight = stream.nHeight;
  pShape->llInterval = stream.llInterval;
  return true;
}

HRESULT CDc1394Pin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
  VideoShape wanted;
  VideoShape current;
  if (FAILED(vcam::ParseVideoMediaType(pmt, &wanted)) || !CurrentShape(&current)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return wanted.SamePicture(current) && pmt->lSampleSize >= current.FrameBytes() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

// The pin offers the one format in force; IAMStreamConfig chooses another.
HRESULT CDc1394Pin::GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt) {
  if (iPosition < 0) {
    return E_INVALIDARG;
  }
  VideoShape shape;
  if (iPosition > 0 || !CurrentShape(&shape)) {
    return VFW_S_NO_MORE_ITEMS;
  }
  return vcam::FillVideoMediaType(pmt, shape);
}

// --- IAMStreamConfig ------------------------------------------------------

STDMETHODIMP CDc1394Pin::GetNumberOfCapabilities(int* piCount, int* piSize) {
  return ComBarrier([&]() -> HRESULT {
    if (piCount == nullptr || piSize == nullptr) {
      return E_POINTER;
    }
    *piCount = static_cast<int>(Camera().EnumerateStandardModes().size());
    *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
  });
}

STDMETHODIMP CDc1394Pin::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) {
  return ComBarrier([&]() -> HRESULT {
    if (ppmt == nullptr || pSCC == nullptr) {
      return E_POINTER;
    }
    return vcam::StreamCapsAt(Camera().EnumerateStandardModes(), iIndex, ppmt, pSCC);
  });
}

STDMETHODIMP CDc1394Pin::SetFormat(AM_MEDIA_TYPE* pmt) {
  return ComBarrier([&]() -> HRESULT {
    if (pmt == nullptr) {
      return E_POINTER;
    }
    VideoShape shape;
    HRESULT hr = vcam::ParseVideoMediaType(pmt, &shape);
    return SUCCEEDED(hr) ? ApplyFormat(pmt, shape) : hr;
  });
}

HRESULT CDc1394Pin::ApplyFormat(const AM_MEDIA_TYPE* pmt, const VideoShape& shape) {
  if (m_pFilter->GetFilterState() != State_Stopped) {
    return VFW_E_NOT_STOPPED;
  }
  VideoShape current;
  const bool bHasCurrent = CurrentShape(&current);
  // A connection keeps its picture: only the rate may change under it.
  if (IsConnected() && !(bHasCurrent && shape.SamePicture(current))) {
    return VFW_E_WRONG_STATE;
  }
  const std::vector<vcam::StandardModeInfo> modes = Camera().EnumerateStandardModes();
  if (const vcam::StandardModeInfo* pMode = vcam::FindStandardMode(modes, shape, pmt->lSampleSize)) {
    return static_cast<HRESULT>(Camera().SelectStandardMode(pMode->nFormat, pMode->nMode, shape.llInterval));
  }
  // Format 7: the picture is the area and colour coding the registers hold,
  // and the frame period follows from the packet size, so a request for the
  // format in force is accepted as it stands.
  const vcam::StreamInfo stream = Camera().GetStream();
  if (stream.bValid && stream.nFormat == vcam::FORMAT_7 && bHasCurrent && shape.SamePicture(current)) {
    return S_OK;
  }
  return Camera().IsLost() ? static_cast<HRESULT>(vcam::VCAM_E_NOT_CONNECTED) : VFW_E_INVALIDMEDIATYPE;
}

STDMETHODIMP CDc1394Pin::GetFormat(AM_MEDIA_TYPE** ppmt) {
  return ComBarrier([&]() -> HRESULT {
    if (ppmt == nullptr) {
      return E_POINTER;
    }
    *ppmt = nullptr;
    VideoShape shape;
    if (!CurrentShape(&shape)) {
      return E_FAIL;
    }
    HRESULT hr = S_OK;
    *ppmt = vcam::NewVideoMediaType(shape, &hr);
    return hr;
  });
}

// --- IKsPropertySet -------------------------------------------------------

STDMETHODIMP CDc1394Pin::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                             LPVOID pPropData, DWORD cbPropData) {
  if (IsEqualGUID(guidPropSet, AMPROPSETID_Pin)) {
    return E_PROP_ID_UNSUPPORTED;  // the category is read-only
  }
  return m_pDc1394Filter->Set(guidPropSet, dwPropID, pInstanceData, cbInstanceData, pPropData, cbPropData);
}

STDMETHODIMP CDc1394Pin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                             LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  if (IsEqualGUID(guidPropSet, AMPROPSETID_Pin)) {
    return vcam::GetPinCategory(dwPropID, pPropData, cbPropData, pcbReturned);
  }
  return m_pDc1394Filter->Get(guidPropSet, dwPropID, pInstanceData, cbInstanceData, pPropData, cbPropData,
                              pcbReturned);
}

STDMETHODIMP CDc1394Pin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  if (IsEqualGUID(guidPropSet, AMPROPSETID_Pin)) {
    return vcam::QueryPinCategory(dwPropID, pTypeSupport);
  }
  return m_pDc1394Filter->QuerySupported(guidPropSet, dwPropID, pTypeSupport);
}

}  // namespace dc1394drv
