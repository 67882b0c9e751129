#include "drivers/dc1394/filter.h"

#include <new>
#include <utility>
#include <vector>

#include "base/barrier.h"
#include "drivers/dc1394/camera.h"
#include "vcam/filter/property_set.h"
#include "vcam/model/formats.h"

namespace dc1394drv {

using vcam::IIDC_PROPERTY_AREA;
using vcam::IIDC_PROPERTY_BYTES;
using vcam::IIDC_PROPERTY_READ_QUADLET;
using vcam::IIDC_PROPERTY_WRITE_QUADLET;
using vcam::PROPSETID_IIDC_CAMERA;

CDc1394Filter::CDc1394Filter(std::shared_ptr<CDc1394Camera> pCamera)
    : CFilterBase("IIDC camera (libdc1394)", CLSID_Dc1394CaptureFilter),
      m_pCamera(std::move(pCamera)),
      m_pin(this),
      m_stream(this, &m_pin) {}

// A filter released while running stops here, so that its allocator is
// decommitted before the streaming thread is joined and the ring given back.
CDc1394Filter::~CDc1394Filter() { Stop(); }

HRESULT CDc1394Filter::Create(std::shared_ptr<CDc1394Camera> pCamera, IBaseFilter** ppFilter) {
  if (ppFilter == nullptr) {
    return E_POINTER;
  }
  *ppFilter = nullptr;
  if (!pCamera) {
    return E_INVALIDARG;
  }
  auto* pFilter = new (std::nothrow) CDc1394Filter(std::move(pCamera));
  if (pFilter == nullptr) {
    return E_OUTOFMEMORY;
  }
  pFilter->AddRef();
  *ppFilter = static_cast<IBaseFilter*>(pFilter);
  return S_OK;
}

STDMETHODIMP CDc1394Filter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (riid == IID_IKsPropertySet) {
    return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
  }
  if (riid == IID_IAMDroppedFrames) {
    return GetInterface(static_cast<IAMDroppedFrames*>(this), ppv);
  }
  if (riid == IID_IAMVideoControl) {
    return GetInterface(static_cast<IAMVideoControl*>(this), ppv);
  }
  return CFilterBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CDc1394Filter::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* pState) {
  const HRESULT hr = CFilterBase::GetState(dwMilliSecsTimeout, pState);
  return hr == S_OK && *pState == State_Paused ? VFW_S_CANT_CUE : hr;
}

CPinBase* CDc1394Filter::GetPin(int n) { return n == 0 ? &m_pin : nullptr; }

void CDc1394Filter::NoteDeviceLost() {
  if (!m_bDeviceLost.exchange(true)) {
    NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)), 0);
  }
}

HRESULT CDc1394Filter::OnStartStreaming() {
  m_stream.ResetCounters();
  return S_OK;
}

HRESULT CDc1394Filter::OnStopStreaming() {
  m_stream.Stop();
  return S_OK;
}

HRESULT CDc1394Filter::OnRun(REFERENCE_TIME /*tStart*/) {
  return m_pin.IsConnected() ? m_stream.Start() : S_OK;
}

// The streaming thread may be held in a paused renderer; it is joined when
// the filter stops or runs again (as the virtual camera's filter does).
HRESULT CDc1394Filter::OnPauseFromRun() {
  m_stream.RequestStop();
  return S_OK;
}

// --- IKsPropertySet -------------------------------------------------------

STDMETHODIMP CDc1394Filter::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                                LPVOID pPropData, DWORD cbPropData) {
  return ComBarrier([&]() -> HRESULT {
    if (!IsEqualGUID(guidPropSet, PROPSETID_IIDC_CAMERA)) {
      return E_PROP_SET_UNSUPPORTED;
    }
    if (dwPropID == IIDC_PROPERTY_AREA) {
      const void* pArea = pPropData != nullptr ? pPropData : pInstanceData;
      const DWORD cbArea = pPropData != nullptr ? cbPropData : cbInstanceData;
      if (pArea == nullptr) {
        return E_POINTER;
      }
      if (GetFilterState() != State_Stopped) {
        return VFW_E_NOT_STOPPED;  // the frame size may change under a running stream
      }
      return static_cast<HRESULT>(m_pCamera->ApplyAreaRequest(pArea, cbArea));
    }
    if (dwPropID != IIDC_PROPERTY_READ_QUADLET && dwPropID != IIDC_PROPERTY_WRITE_QUADLET) {
      return E_PROP_ID_UNSUPPORTED;
    }
    const void* pBlock = vcam::RequestBlock(pInstanceData, cbInstanceData, pPropData, cbPropData);
    if (pBlock == nullptr) {
      return pPropData == nullptr && pInstanceData == nullptr ? E_POINTER : E_INVALIDARG;
    }
    const std::uint32_t dwOffset = vcam::LoadQuadlet(pBlock, vcam::REGISTER_OFFSET_AT);
    if (dwPropID == IIDC_PROPERTY_WRITE_QUADLET) {
      return static_cast<HRESULT>(m_pCamera->WriteQuadlet(dwOffset, vcam::LoadQuadlet(pBlock, vcam::REGISTER_VALUE_AT)));
    }
    // A read is named by Set and answered by Get; Set already tries the
    // register so that a register the camera cannot read fails at once.
    std::uint32_t dwValue = 0;
    return static_cast<HRESULT>(m_pCamera->ReadQuadlet(dwOffset, &dwValue));
  });
}

STDMETHODIMP CDc1394Filter::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                                LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  return ComBarrier([&]() -> HRESULT {
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
    const void* pBlock = vcam::RequestBlock(pInstanceData, cbInstanceData, nullptr, 0);
    const std::uint32_t dwOffset = vcam::LoadQuadlet(pBlock != nullptr ? pBlock : pPropData, vcam::REGISTER_OFFSET_AT);
    std::uint32_t dwValue = 0;
    const vcam::Result r = m_pCamera->ReadQuadlet(dwOffset, &dwValue);
    if (vcam::Failed(r)) {
      return static_cast<HRESULT>(r);
    }
    vcam::StoreQuadlet(pPropData, vcam::REGISTER_VALUE_AT, dwValue);
    if (pcbReturned != nullptr) {
      *pcbReturned = IIDC_PROPERTY_BYTES;
    }
    return S_OK;
  });
}

STDMETHODIMP CDc1394Filter::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
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

// --- IAMDroppedFrames -----------------------------------------------------

STDMETHODIMP CDc1394Filter::GetNumDropped(LONG* plDropped) {
  if (plDropped == nullptr) {
    return E_POINTER;
  }
  *plDropped = m_stream.Dropped();
  return S_OK;
}

STDMETHODIMP CDc1394Filter::GetNumNotDropped(LONG* plNotDropped) {
  if (plNotDropped == nullptr) {
    return E_POINTER;
  }
  *plNotDropped = m_stream.Delivered();
  return S_OK;
}

// Which frames were dropped is not recorded; only how many.
STDMETHODIMP CDc1394Filter::GetDroppedInfo(LONG lSize, LONG* plArray, LONG* plNumCopied) {
  if (plArray == nullptr || plNumCopied == nullptr) {
    return E_POINTER;
  }
  if (lSize <= 0) {
    return E_INVALIDARG;
  }
  *plNumCopied = 0;
  return S_OK;
}

STDMETHODIMP CDc1394Filter::GetAverageFrameSize(LONG* plAverageSize) {
  return ComBarrier([&]() -> HRESULT {
    if (plAverageSize == nullptr) {
      return E_POINTER;
    }
    const vcam::StreamInfo stream = m_pCamera->GetStream();
    *plAverageSize = stream.bValid ? static_cast<LONG>(stream.cbFrame) : 0;
    return S_OK;
  });
}

// --- IAMVideoControl ------------------------------------------------------

HRESULT CDc1394Filter::CheckPin(IPin* pPin) const {
  if (pPin == nullptr) {
    return E_POINTER;
  }
  return pPin == static_cast<const IPin*>(&m_pin) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CDc1394Filter::GetCaps(IPin* pPin, LONG* pCapsFlags) {
  if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
    return hr;
  }
  if (pCapsFlags == nullptr) {
    return E_POINTER;
  }
  *pCapsFlags = VideoControlFlag_FlipVertical;
  return S_OK;
}

STDMETHODIMP CDc1394Filter::SetMode(IPin* pPin, LONG Mode) {
  if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
    return hr;
  }
  if ((Mode & ~static_cast<LONG>(VideoControlFlag_FlipVertical)) != 0) {
    return E_INVALIDARG;
  }
  m_nVideoMode.store(Mode, std::memory_order_release);
  return S_OK;
}

STDMETHODIMP CDc1394Filter::GetMode(IPin* pPin, LONG* pMode) {
  if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
    return hr;
  }
  if (pMode == nullptr) {
    return E_POINTER;
  }
  *pMode = m_nVideoMode.load(std::memory_order_acquire);
  return S_OK;
}

STDMETHODIMP CDc1394Filter::GetCurrentActualFrameRate(IPin* pPin, LONGLONG* pActualFrameRate) {
  return ComBarrier([&]() -> HRESULT {
    if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
      return hr;
    }
    if (pActualFrameRate == nullptr) {
      return E_POINTER;
    }
    if (GetFilterState() != State_Running) {
      return VFW_E_NOT_RUNNING;
    }
    *pActualFrameRate = m_pCamera->GetStream().llInterval;
    return S_OK;
  });
}

// Frame rates by stream capability index (the standard modes in the order
// GetStreamCaps lists them), as intervals from the fastest.
STDMETHODIMP CDc1394Filter::GetFrameRateList(IPin* pPin, LONG iIndex, SIZE Dimensions, LONG* pListSize,
                                             LONGLONG** pFrameRates) {
  return ComBarrier([&]() -> HRESULT {
    if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
      return hr;
    }
    if (pListSize == nullptr) {
      return E_POINTER;
    }
    const std::vector<vcam::StandardModeInfo> modes = m_pCamera->EnumerateStandardModes();
    if (iIndex < 0 || static_cast<std::size_t>(iIndex) >= modes.size()) {
      return E_INVALIDARG;
    }
    const vcam::StandardModeInfo& mode = modes[static_cast<std::size_t>(iIndex)];
    if (Dimensions.cx != static_cast<LONG>(mode.geometry.nWidth) ||
        Dimensions.cy != static_cast<LONG>(mode.geometry.nHeight)) {
      return E_INVALIDARG;
    }
    std::vector<LONGLONG> intervals;
    for (unsigned nCode = vcam::RATE_CODE_COUNT; nCode-- > 0;) {
      if (mode.dwRates & (0x80000000u >> nCode)) {
        intervals.push_back(vcam::IntervalFromCode(nCode));
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
  });
}

STDMETHODIMP CDc1394Filter::GetMaxAvailableFrameRate(IPin* pPin, LONG iIndex, SIZE Dimensions,
                                                     LONGLONG* pMaxAvailableFrameRate) {
  if (pMaxAvailableFrameRate == nullptr) {
    return E_POINTER;
  }
  LONG nCount = 0;
  LONGLONG* pRates = nullptr;
  HRESULT hr = GetFrameRateList(pPin, iIndex, Dimensions, &nCount, &pRates);
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

}  // namespace dc1394drv
