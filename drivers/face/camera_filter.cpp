#include "drivers/face/camera_filter.h"

#include "base/operation_fault.h"
#include "drivers/face/mode_caps.h"
#include "drivers/face/property_set.h"

namespace vcam {

CCameraFilter::CCameraFilter(LPCSTR pName, REFCLSID clsid) : CFilterBase(pName, clsid), m_pin(this) {}

STDMETHODIMP CCameraFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  IUnknown* pInterface = nullptr;
  if (riid == IID_IKsPropertySet) {
    pInterface = static_cast<IKsPropertySet*>(this);
  } else if (riid == IID_IAMDroppedFrames) {
    pInterface = static_cast<IAMDroppedFrames*>(this);
  } else if (riid == IID_IAMVideoControl) {
    pInterface = static_cast<IAMVideoControl*>(this);
  } else {
    return CFilterBase::NonDelegatingQueryInterface(riid, ppv);
  }
  if (!Offers(riid)) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  return GetInterface(pInterface, ppv);
}

STDMETHODIMP CCameraFilter::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* pState) {
  const HRESULT hr = CFilterBase::GetState(dwMilliSecsTimeout, pState);
  return hr == S_OK && *pState == State_Paused ? VFW_S_CANT_CUE : hr;
}

CPinBase* CCameraFilter::GetPin(int n) { return n == 0 ? &m_pin : nullptr; }

void CCameraFilter::NoteDeviceLost() {
  if (!m_bDeviceLost.exchange(true)) {
    // DirectShow's EC_DEVICE_LOST names the device's filter and 0 for removal.
    NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)), 0);
  }
}

HRESULT CCameraFilter::OnStartStreaming() {
  Stream().ResetCounters();
  return S_OK;
}

HRESULT CCameraFilter::OnStopStreaming() {
  Stream().Stop();
  return S_OK;
}

HRESULT CCameraFilter::OnRun(REFERENCE_TIME /*tStart*/) { return m_pin.IsConnected() ? Stream().Start() : S_OK; }

// A graph pauses its filters before it stops them, renderers first: the
// streaming thread may then be held in a paused renderer, which lets the
// sample go only when it is stopped or run again. Waiting for the thread
// here would wait for ever; it is joined when the filter stops or runs.
HRESULT CCameraFilter::OnPauseFromRun() {
  Stream().RequestStop();
  return S_OK;
}

// --- IKsPropertySet -------------------------------------------------------

STDMETHODIMP CCameraFilter::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                                LPVOID pPropData, DWORD cbPropData) {
  return RunOperation("IKsPropertySet::Set", [&]() -> HRESULT {
    const AreaRequestNote note = [this](const void* pRequest, DWORD cbRequest, HRESULT hr) {
      NoteAreaRequest(pRequest, cbRequest, hr);
    };
    return SetCameraProperty(Device(), GetFilterState() == State_Stopped, note, guidPropSet, dwPropID,
                             pInstanceData, cbInstanceData, pPropData, cbPropData);
  });
}

STDMETHODIMP CCameraFilter::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                                LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  return RunOperation("IKsPropertySet::Get", [&]() -> HRESULT {
    return GetCameraProperty(Device(), guidPropSet, dwPropID, pInstanceData, cbInstanceData, pPropData, cbPropData,
                             pcbReturned);
  });
}

STDMETHODIMP CCameraFilter::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  return QueryCameraProperty(guidPropSet, dwPropID, pTypeSupport);
}

// --- IAMDroppedFrames -----------------------------------------------------

STDMETHODIMP CCameraFilter::GetNumDropped(LONG* plDropped) {
  if (plDropped == nullptr) {
    return E_POINTER;
  }
  *plDropped = Stream().Dropped();
  return S_OK;
}

STDMETHODIMP CCameraFilter::GetNumNotDropped(LONG* plNotDropped) {
  return RunOperation("IAMDroppedFrames::GetNumNotDropped", [&]() -> HRESULT {
    if (plNotDropped == nullptr) {
      return E_POINTER;
    }
    *plNotDropped = Stream().Delivered();
    return S_OK;
  });
}

// Which frames were dropped is not recorded; only how many.
STDMETHODIMP CCameraFilter::GetDroppedInfo(LONG lSize, LONG* plArray, LONG* plNumCopied) {
  if (plArray == nullptr || plNumCopied == nullptr) {
    return E_POINTER;
  }
  if (lSize <= 0) {
    return E_INVALIDARG;
  }
  *plNumCopied = 0;
  return S_OK;
}

STDMETHODIMP CCameraFilter::GetAverageFrameSize(LONG* plAverageSize) {
  return ComBarrier([&]() -> HRESULT {
    if (plAverageSize == nullptr) {
      return E_POINTER;
    }
    const StreamInfo stream = Device().GetStream();
    *plAverageSize = stream.bValid ? static_cast<LONG>(stream.cbFrame) : 0;
    return S_OK;
  });
}

// --- IAMVideoControl ------------------------------------------------------

HRESULT CCameraFilter::CheckPin(IPin* pPin) const {
  if (pPin == nullptr) {
    return E_POINTER;
  }
  return pPin == static_cast<const IPin*>(&m_pin) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CCameraFilter::GetCaps(IPin* pPin, LONG* pCapsFlags) {
  if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
    return hr;
  }
  if (pCapsFlags == nullptr) {
    return E_POINTER;
  }
  *pCapsFlags = VideoControlFlag_FlipVertical;
  return S_OK;
}

STDMETHODIMP CCameraFilter::SetMode(IPin* pPin, LONG Mode) {
  return RunOperation("IAMVideoControl::SetMode", [&]() -> HRESULT {
    if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
      return hr;
    }
    if ((Mode & ~static_cast<LONG>(VideoControlFlag_FlipVertical)) != 0) {
      return E_INVALIDARG;
    }
    m_nVideoMode.store(Mode, std::memory_order_release);
    return S_OK;
  });
}

STDMETHODIMP CCameraFilter::GetMode(IPin* pPin, LONG* pMode) {
  if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
    return hr;
  }
  if (pMode == nullptr) {
    return E_POINTER;
  }
  *pMode = m_nVideoMode.load(std::memory_order_acquire);
  return S_OK;
}

STDMETHODIMP CCameraFilter::GetCurrentActualFrameRate(IPin* pPin, LONGLONG* pActualFrameRate) {
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
    *pActualFrameRate = Device().GetStream().llInterval;
    return S_OK;
  });
}

STDMETHODIMP CCameraFilter::GetFrameRateList(IPin* pPin, LONG iIndex, SIZE Dimensions, LONG* pListSize,
                                             LONGLONG** pFrameRates) {
  return ComBarrier([&]() -> HRESULT {
    if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
      return hr;
    }
    return FrameRateList(Device().EnumerateStandardModes(), iIndex, Dimensions, pListSize, pFrameRates);
  });
}

STDMETHODIMP CCameraFilter::GetMaxAvailableFrameRate(IPin* pPin, LONG iIndex, SIZE Dimensions,
                                                     LONGLONG* pMaxAvailableFrameRate) {
  if (pMaxAvailableFrameRate == nullptr) {
    return E_POINTER;
  }
  return ComBarrier([&]() -> HRESULT {
    if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
      return hr;
    }
    return MaxFrameRate(Device().EnumerateStandardModes(), iIndex, Dimensions, pMaxAvailableFrameRate);
  });
}

}  // namespace vcam
