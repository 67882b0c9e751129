#include "vcam/filter/capture_filter.h"

#include <new>
#include <utility>
#include <vector>

#include "base/operation_fault.h"
#include "vcam/filter/devices.h"
#include "vcam/filter/driver_log.h"
#include "vcam/filter/mode_caps.h"
#include "vcam/filter/property_set.h"
#include "vcam/model/camera_model.h"
#include "vcam/model/camera_set.h"

namespace vcam {

CVcamFilter::CVcamFilter(std::shared_ptr<CCameraModel> pCamera, std::shared_ptr<CDriverLog> pLog)
    : CFilterBase("Virtual IIDC camera", CLSID_VcamCaptureFilter),
      m_pCamera(std::move(pCamera)),
      m_pLog(std::move(pLog)),
      m_pin(this),
      m_stream(this, &m_pin) {}

// A graph stops its filters before letting them go; a filter released while
// running stops here, so that its allocator is decommitted before the
// streaming thread, which may be waiting for a buffer, is joined.
CVcamFilter::~CVcamFilter() { Stop(); }

HRESULT CVcamFilter::Create(std::shared_ptr<CCameraModel> pCamera, std::shared_ptr<CDriverLog> pLog,
                            IBaseFilter** ppFilter) {
  if (ppFilter == nullptr) {
    return E_POINTER;
  }
  *ppFilter = nullptr;
  if (!pCamera || !pLog) {
    return E_INVALIDARG;
  }
  auto* pFilter = new (std::nothrow) CVcamFilter(std::move(pCamera), std::move(pLog));
  if (pFilter == nullptr) {
    return E_OUTOFMEMORY;
  }
  pFilter->AddRef();
  *ppFilter = static_cast<IBaseFilter*>(pFilter);
  return S_OK;
}

STDMETHODIMP CVcamFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  const CameraFaults& faults = *m_pCamera->Faults();
  IUnknown* pInterface = nullptr;
  if (riid == IID_IKsPropertySet) {
    pInterface = faults.bNoPropertySet ? nullptr : static_cast<IKsPropertySet*>(this);
  } else if (riid == IID_IAMDroppedFrames) {
    pInterface = faults.bNoDroppedFrames ? nullptr : static_cast<IAMDroppedFrames*>(this);
  } else if (riid == IID_IPersistPropertyBag) {
    pInterface = static_cast<IPersistPropertyBag*>(this);
  } else if (riid == IID_IAMVideoControl) {
    pInterface = faults.bNoVideoControl ? nullptr : static_cast<IAMVideoControl*>(this);
  } else {
    return CFilterBase::NonDelegatingQueryInterface(riid, ppv);
  }
  if (pInterface == nullptr) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  return GetInterface(pInterface, ppv);
}

STDMETHODIMP CVcamFilter::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* pState) {
  const HRESULT hr = CFilterBase::GetState(dwMilliSecsTimeout, pState);
  return hr == S_OK && *pState == State_Paused ? VFW_S_CANT_CUE : hr;
}

CPinBase* CVcamFilter::GetPin(int n) { return n == 0 ? &m_pin : nullptr; }

bool CVcamFilter::HasPropertySet() const { return !m_pCamera->Faults()->bNoPropertySet; }

void CVcamFilter::NoteDeviceLost() {
  if (!m_bDeviceLost.exchange(true)) {
    // DirectShow's EC_DEVICE_LOST names the device's filter and 0 for removal.
    NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)), 0);
  }
}

// --- IPersistPropertyBag ---------------------------------------------------

STDMETHODIMP CVcamFilter::Load(IPropertyBag* pPropBag, IErrorLog* /*pErrorLog*/) {
  return ComBarrier([&]() -> HRESULT {
    if (pPropBag == nullptr) {
      return E_POINTER;
    }
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    if (FAILED(pPropBag->Read(CAMERA_INDEX_PROPERTY, &value, nullptr))) {
      return S_OK;
    }
    const bool bIndex = value.vt == VT_I4 || value.vt == VT_UI4;
    const LONG nIndex = value.lVal;
    VariantClear(&value);
    std::shared_ptr<CCameraModel> pCamera = bIndex && nIndex >= 0 ? GetCameraModel(static_cast<std::size_t>(nIndex))
                                                                    : nullptr;
    if (!pCamera) {
      return E_INVALIDARG;  // a device of a camera the active set does not have
    }
    if (GetFilterState() != State_Stopped || m_pin.IsConnected()) {
      return VFW_E_WRONG_STATE;
    }
    m_pLog = DriverLogOf(pCamera);
    m_pCamera = std::move(pCamera);
    return S_OK;
  });
}

STDMETHODIMP CVcamFilter::Save(IPropertyBag* /*pPropBag*/, BOOL /*fClearDirty*/, BOOL /*fSaveAllProperties*/) {
  return E_NOTIMPL;  // the device's registration writes the bag
}

HRESULT CVcamFilter::OnStartStreaming() {
  m_stream.ResetCounters();
  m_bDeviceLost.store(false, std::memory_order_release);
  return S_OK;
}

HRESULT CVcamFilter::OnStopStreaming() {
  m_stream.Stop();
  return S_OK;
}

HRESULT CVcamFilter::OnRun(REFERENCE_TIME /*tStart*/) {
  if (m_pin.IsConnected()) {
    m_stream.Start();
  }
  return S_OK;
}

// A graph pauses its filters before it stops them, renderers first: the
// streaming thread may then be held in a paused renderer, which lets the
// sample go only when it is stopped or run again. Waiting for the thread
// here would wait for ever; it is joined when the filter stops or runs.
HRESULT CVcamFilter::OnPauseFromRun() {
  m_stream.RequestStop();
  return S_OK;
}

// --- IKsPropertySet -------------------------------------------------------

CameraPropertyAccess CVcamFilter::PropertyAccess() const {
  CCameraModel* pCamera = m_pCamera.get();
  CDriverLog* pLog = m_pLog.get();
  return {[pCamera](std::uint32_t dwOffset, std::uint32_t* pdw) { return pCamera->ReadQuadlet(dwOffset, pdw); },
          [pCamera](std::uint32_t dwOffset, std::uint32_t dw) { return pCamera->WriteQuadlet(dwOffset, dw); },
          [pCamera](const void* pRequest, DWORD cb) { return pCamera->ApplyAreaRequest(pRequest, cb); },
          [pLog](const void* pRequest, DWORD cb, HRESULT hr) { pLog->NoteAreaRequest(pRequest, cb, hr); }};
}

STDMETHODIMP CVcamFilter::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                              LPVOID pPropData, DWORD cbPropData) {
  return RunOperation("IKsPropertySet::Set", [&]() -> HRESULT {
    return SetCameraProperty(PropertyAccess(), GetFilterState() == State_Stopped, guidPropSet, dwPropID,
                             pInstanceData, cbInstanceData, pPropData, cbPropData);
  });
}

STDMETHODIMP CVcamFilter::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                              LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) {
  return RunOperation("IKsPropertySet::Get", [&]() -> HRESULT {
    return GetCameraProperty(PropertyAccess(), guidPropSet, dwPropID, pInstanceData, cbInstanceData, pPropData,
                             cbPropData, pcbReturned);
  });
}

STDMETHODIMP CVcamFilter::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  return QueryCameraProperty(guidPropSet, dwPropID, pTypeSupport);
}

// --- IAMDroppedFrames -----------------------------------------------------

STDMETHODIMP CVcamFilter::GetNumDropped(LONG* plDropped) {
  if (plDropped == nullptr) {
    return E_POINTER;
  }
  *plDropped = m_stream.Dropped();
  return S_OK;
}

STDMETHODIMP CVcamFilter::GetNumNotDropped(LONG* plNotDropped) {
  return RunOperation("IAMDroppedFrames::GetNumNotDropped", [&]() -> HRESULT {
    if (plNotDropped == nullptr) {
      return E_POINTER;
    }
    *plNotDropped = m_stream.Delivered();
    return S_OK;
  });
}

// Which frames were dropped is not recorded; only how many.
STDMETHODIMP CVcamFilter::GetDroppedInfo(LONG lSize, LONG* plArray, LONG* plNumCopied) {
  if (plArray == nullptr || plNumCopied == nullptr) {
    return E_POINTER;
  }
  if (lSize <= 0) {
    return E_INVALIDARG;
  }
  *plNumCopied = 0;
  return S_OK;
}

STDMETHODIMP CVcamFilter::GetAverageFrameSize(LONG* plAverageSize) {
  return ComBarrier([&]() -> HRESULT {
    if (plAverageSize == nullptr) {
      return E_POINTER;
    }
    const StreamInfo stream = m_pCamera->GetStream();
    *plAverageSize = stream.bValid ? static_cast<LONG>(stream.cbFrame) : 0;
    return S_OK;
  });
}

// --- IAMVideoControl ------------------------------------------------------

HRESULT CVcamFilter::CheckPin(IPin* pPin) const {
  if (pPin == nullptr) {
    return E_POINTER;
  }
  return pPin == static_cast<const IPin*>(&m_pin) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CVcamFilter::GetCaps(IPin* pPin, LONG* pCapsFlags) {
  if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
    return hr;
  }
  if (pCapsFlags == nullptr) {
    return E_POINTER;
  }
  *pCapsFlags = VideoControlFlag_FlipVertical;
  return S_OK;
}

STDMETHODIMP CVcamFilter::SetMode(IPin* pPin, LONG Mode) {
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

STDMETHODIMP CVcamFilter::GetMode(IPin* pPin, LONG* pMode) {
  if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
    return hr;
  }
  if (pMode == nullptr) {
    return E_POINTER;
  }
  *pMode = m_nVideoMode.load(std::memory_order_acquire);
  return S_OK;
}

STDMETHODIMP CVcamFilter::GetCurrentActualFrameRate(IPin* pPin, LONGLONG* pActualFrameRate) {
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
    const StreamInfo stream = m_pCamera->GetStream();
    *pActualFrameRate = stream.llInterval;
    return S_OK;
  });
}

STDMETHODIMP CVcamFilter::GetFrameRateList(IPin* pPin, LONG iIndex, SIZE Dimensions, LONG* pListSize,
                                           LONGLONG** pFrameRates) {
  return ComBarrier([&]() -> HRESULT {
    if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
      return hr;
    }
    return FrameRateList(m_pCamera->EnumerateStandardModes(), iIndex, Dimensions, pListSize, pFrameRates);
  });
}

STDMETHODIMP CVcamFilter::GetMaxAvailableFrameRate(IPin* pPin, LONG iIndex, SIZE Dimensions,
                                                   LONGLONG* pMaxAvailableFrameRate) {
  if (pMaxAvailableFrameRate == nullptr) {
    return E_POINTER;
  }
  return ComBarrier([&]() -> HRESULT {
    if (HRESULT hr = CheckPin(pPin); FAILED(hr)) {
      return hr;
    }
    return MaxFrameRate(m_pCamera->EnumerateStandardModes(), iIndex, Dimensions, pMaxAvailableFrameRate);
  });
}

}  // namespace vcam
