#include "drivers/dc1394/filter.h"

#include <new>
#include <utility>

#include "base/barrier.h"
#include "drivers/dc1394/camera.h"
#include "vcam/filter/mode_caps.h"

namespace dc1394drv {

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

vcam::CameraPropertyAccess CDc1394Filter::PropertyAccess() const {
  CDc1394Camera* pCamera = m_pCamera.get();
  return {[pCamera](std::uint32_t dwOffset, std::uint32_t* pdw) { return pCamera->ReadQuadlet(dwOffset, pdw); },
          [pCamera](std::uint32_t dwOffset, std::uint32_t dw) { return pCamera->WriteQuadlet(dwOffset, dw); },
          [pCamera](const void* pRequest, DWORD cb) { return pCamera->ApplyAreaRequest(pRequest, cb); },
          nullptr};
}

STDMETHODIMP CDc1394Filter::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                                LPVOID pPropData, DWORD cbPropData) {
  return ComBarrier([&]() -> HRESULT {
    return vcam::SetCameraProperty(PropertyAccess(), GetFilterState() == State_Stopped, guidPropSet, dwPropID,
                                   pInstanceData, cbInstanceData, pPropData, cbPropData);
  });
}

STDMETHODIMP CDc1394Filter::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                                LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  return ComBarrier([&]() -> HRESULT {
    return vcam::GetCameraProperty(PropertyAccess(), guidPropSet, dwPropID, pInstanceData, cbInstanceData,
                                   pPropData, cbPropData, pcbReturned);
  });
}

STDMETHODIMP CDc1394Filter::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  return vcam::QueryCameraProperty(guidPropSet, dwPropID, pTypeSupport);
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

STDMETHODIMP CDc1394Filter::GetFrameRateList(IPin* pPin, LONG iIndex, SIZE Dimensions, LONG* pListSize,
                                             LONGLONG** pFrameRates) {
  return ComBarrier([&]() -> HRESULT {
    if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
      return hr;
    }
    return vcam::FrameRateList(m_pCamera->EnumerateStandardModes(), iIndex, Dimensions, pListSize, pFrameRates);
  });
}

STDMETHODIMP CDc1394Filter::GetMaxAvailableFrameRate(IPin* pPin, LONG iIndex, SIZE Dimensions,
                                                     LONGLONG* pMaxAvailableFrameRate) {
  if (pMaxAvailableFrameRate == nullptr) {
    return E_POINTER;
  }
  return ComBarrier([&]() -> HRESULT {
    if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
      return hr;
    }
    return vcam::MaxFrameRate(m_pCamera->EnumerateStandardModes(), iIndex, Dimensions, pMaxAvailableFrameRate);
  });
}

}  // namespace dc1394drv
