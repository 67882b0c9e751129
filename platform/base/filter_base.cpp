#include "base/filter_base.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "base/enum_pins.h"
#include "base/operation_fault.h"
#include "base/pin_base.h"

CFilterBase::CFilterBase(LPCSTR pName, REFCLSID clsid) : CComBase(pName), m_clsid(clsid) {}

CFilterBase::~CFilterBase() = default;

STDMETHODIMP CFilterBase::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && (riid == IID_IPersist || riid == IID_IMediaFilter || riid == IID_IBaseFilter)) {
    return GetInterface(static_cast<IBaseFilter*>(this), ppv);
  }
  return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CFilterBase::GetClassID(CLSID* pClassID) {
  if (pClassID == nullptr) {
    return E_POINTER;
  }
  *pClassID = m_clsid;
  return S_OK;
}

// Stopping always ends in the stopped state, as in DirectShow: the pins are
// made inactive first (an output pin decommits its allocator, which wakes a
// streaming thread waiting for a buffer), then the filter's hook stops its
// streaming. The hook's failure is reported but does not keep the filter
// running.
STDMETHODIMP CFilterBase::Stop() {
  return RunOperation("IMediaFilter::Stop", [&]() -> HRESULT {
    std::lock_guard lock(m_mxState);
    if (m_nState.load() == State_Stopped) {
      return S_OK;
    }
    return StopStreamingLocked();
  });
}

HRESULT CFilterBase::StopStreamingLocked() {
  m_nState.store(State_Stopped, std::memory_order_release);
  HRESULT hr = S_OK;
  for (int i = 0; i < GetPinCount(); ++i) {
    CPinBase* pPin = GetPin(i);
    if (pPin != nullptr && pPin->IsConnected()) {
      HRESULT hrPin = pPin->Inactive();
      if (FAILED(hrPin) && SUCCEEDED(hr)) {
        hr = hrPin;
      }
    }
  }
  HRESULT hrHook = OnStopStreaming();
  return FAILED(hr) ? hr : hrHook;
}

// Stopped -> paused: connected pins become active, then the filter starts
// streaming; on a failure everything already started is stopped again.
HRESULT CFilterBase::StartStreamingLocked() {
  int nActive = 0;
  HRESULT hr = S_OK;
  for (; nActive < GetPinCount(); ++nActive) {
    CPinBase* pPin = GetPin(nActive);
    if (pPin != nullptr && pPin->IsConnected()) {
      hr = pPin->Active();
      if (FAILED(hr)) {
        break;
      }
    }
  }
  if (SUCCEEDED(hr)) {
    // Streaming threads may look at the state as soon as they start.
    m_nState.store(State_Paused, std::memory_order_release);
    hr = OnStartStreaming();
    if (SUCCEEDED(hr)) {
      return S_OK;
    }
    m_nState.store(State_Stopped, std::memory_order_release);
  }
  for (int i = 0; i < nActive; ++i) {
    CPinBase* pPin = GetPin(i);
    if (pPin != nullptr && pPin->IsConnected()) {
      pPin->Inactive();
    }
  }
  return hr;
}

STDMETHODIMP CFilterBase::Pause() {
  return RunOperation("IMediaFilter::Pause", [&]() -> HRESULT {
    std::lock_guard lock(m_mxState);
    switch (m_nState.load()) {
      case State_Stopped:
        return StartStreamingLocked();
      case State_Running: {
        HRESULT hr = OnPauseFromRun();
        if (SUCCEEDED(hr)) {
          m_nState.store(State_Paused, std::memory_order_release);
        }
        return hr;
      }
      case State_Paused:
        break;
    }
    return S_OK;
  });
}

STDMETHODIMP CFilterBase::Run(REFERENCE_TIME tStart) {
  return RunOperation("IMediaFilter::Run", [&]() -> HRESULT {
    std::lock_guard lock(m_mxState);
    const FILTER_STATE nBefore = m_nState.load();
    if (nBefore == State_Running) {
      return S_OK;
    }
    if (nBefore == State_Stopped) {
      HRESULT hr = StartStreamingLocked();
      if (FAILED(hr)) {
        return hr;
      }
    }
    m_tStart.store(tStart, std::memory_order_release);
    m_nState.store(State_Running, std::memory_order_release);
    HRESULT hr = OnRun(tStart);
    if (FAILED(hr)) {
      m_nState.store(State_Paused, std::memory_order_release);
      if (nBefore == State_Stopped) {
        StopStreamingLocked();
      }
    }
    return hr;
  });
}

STDMETHODIMP CFilterBase::GetState(DWORD /*dwMilliSecsTimeout*/, FILTER_STATE* pState) {
  return ComBarrier([&]() -> HRESULT {
    if (pState == nullptr) {
      return E_POINTER;
    }
    return RunOperation("IMediaFilter::GetState", [&]() -> HRESULT {
      *pState = m_nState.load(std::memory_order_acquire);
      return S_OK;
    });
  });
}

STDMETHODIMP CFilterBase::SetSyncSource(IReferenceClock* pClock) {
  std::lock_guard lock(m_mxInfo);
  if (pClock != nullptr) {
    pClock->AddRef();
  }
  m_pClock.Attach(pClock);
  return S_OK;
}

STDMETHODIMP CFilterBase::GetSyncSource(IReferenceClock** ppClock) {
  if (ppClock == nullptr) {
    return E_POINTER;
  }
  std::lock_guard lock(m_mxInfo);
  *ppClock = m_pClock.Get();
  if (*ppClock != nullptr) {
    (*ppClock)->AddRef();
  }
  return S_OK;
}

STDMETHODIMP CFilterBase::EnumPins(IEnumPins** ppEnum) {
  return ComBarrier([&]() -> HRESULT {
    if (ppEnum == nullptr) {
      return E_POINTER;
    }
    *ppEnum = nullptr;
    return RunOperation("IBaseFilter::EnumPins", [&]() -> HRESULT {
      *ppEnum = new (std::nothrow) CEnumPins(this, 0);
      if (*ppEnum == nullptr) {
        return E_OUTOFMEMORY;
      }
      (*ppEnum)->AddRef();
      return S_OK;
    });
  });
}

STDMETHODIMP CFilterBase::FindPin(LPCWSTR pszId, IPin** ppPin) {
  return ComBarrier([&]() -> HRESULT {
    if (pszId == nullptr || ppPin == nullptr) {
      return E_POINTER;
    }
    *ppPin = nullptr;
    return RunOperation("IBaseFilter::FindPin", [&]() -> HRESULT {
      for (int i = 0; i < GetPinCount(); ++i) {
        CPinBase* pPin = GetPin(i);
        if (pPin != nullptr && pPin->GetName() == pszId) {
          *ppPin = pPin;
          pPin->AddRef();
          return S_OK;
        }
      }
      *ppPin = nullptr;
      return VFW_E_NOT_FOUND;
    });
  });
}

STDMETHODIMP CFilterBase::QueryFilterInfo(FILTER_INFO* pInfo) {
  return ComBarrier([&]() -> HRESULT {
    if (pInfo == nullptr) {
      return E_POINTER;
    }
    pInfo->pGraph = nullptr;
    return RunOperation("IBaseFilter::QueryFilterInfo", [&]() -> HRESULT {
      std::lock_guard lock(m_mxInfo);
      std::wcsncpy(pInfo->achName, m_wszName.c_str(), MAX_FILTER_NAME - 1);
      pInfo->achName[MAX_FILTER_NAME - 1] = L'\0';
      pInfo->pGraph = m_pGraph;
      if (m_pGraph != nullptr) {
        m_pGraph->AddRef();
      }
      return S_OK;
    });
  });
}

STDMETHODIMP CFilterBase::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pszName) {
  return RunOperation("IBaseFilter::JoinFilterGraph", [&]() -> HRESULT {
    IMediaEventSink* pSink = nullptr;
    if (pGraph != nullptr && SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&pSink))) &&
        pSink != nullptr) {
      // Uncounted like the graph itself (see m_pGraph).
      pSink->Release();
    }
    std::lock_guard lock(m_mxInfo);
    m_pGraph = pGraph;
    m_pSink = pSink;
    m_wszName = (pGraph != nullptr && pszName != nullptr) ? pszName : L"";
    return S_OK;
  });
}

STDMETHODIMP CFilterBase::QueryVendorInfo(LPWSTR* ppVendorInfo) {
  if (ppVendorInfo != nullptr) {
    *ppVendorInfo = nullptr;
  }
  return E_NOTIMPL;
}

HRESULT CFilterBase::NotifyEvent(LONG lEventCode, LONG_PTR lParam1, LONG_PTR lParam2) {
  return ComBarrier([&]() -> HRESULT {
    std::lock_guard lock(m_mxInfo);
    if (m_pSink == nullptr) {
      return E_NOTIMPL;
    }
    return m_pSink->Notify(lEventCode, lParam1, lParam2);
  });
}
