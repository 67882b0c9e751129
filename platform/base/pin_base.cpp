#include "base/pin_base.h"

#include <cstring>
#include <cwchar>

#include "base/enum_pins.h"
#include "base/filter_base.h"
#include "base/operation_fault.h"

namespace {

bool IsPartial(const AM_MEDIA_TYPE* pmt) {
  return pmt == nullptr || pmt->majortype == GUID_NULL || pmt->subtype == GUID_NULL ||
         pmt->formattype == GUID_NULL;
}

}  // namespace

bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& mt, const AM_MEDIA_TYPE& partial) {
  return (partial.majortype == GUID_NULL || partial.majortype == mt.majortype) &&
         (partial.subtype == GUID_NULL || partial.subtype == mt.subtype) &&
         (partial.formattype == GUID_NULL || partial.formattype == mt.formattype);
}

CPinBase::CPinBase(CFilterBase* pFilter, PIN_DIRECTION dir, LPCWSTR pszName)
    : CUnknown("CPinBase", nullptr),
      m_pFilter(pFilter), m_dir(dir), m_wszName(pszName != nullptr ? pszName : L"") {}

CPinBase::~CPinBase() = default;

STDMETHODIMP CPinBase::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && (riid == IID_IUnknown || riid == IID_IPin)) {
    return GetInterface(static_cast<IPin*>(this), ppv);
  }
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CPinBase::AddRef() { return m_pFilter->AddRef(); }

STDMETHODIMP_(ULONG) CPinBase::Release() { return m_pFilter->Release(); }

bool CPinBase::IsStopped() const { return m_pFilter->GetFilterState() == State_Stopped; }

STDMETHODIMP CPinBase::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
  return RunOperation("IPin::Connect", [&]() -> HRESULT {
    if (pReceivePin == nullptr) {
      return E_POINTER;
    }
    if (IsConnected()) {
      return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped()) {
      return VFW_E_NOT_STOPPED;
    }
    HRESULT hr = CheckConnect(pReceivePin);
    if (FAILED(hr)) {
      BreakConnect();
      return hr;
    }
    return AgreeMediaType(pReceivePin, pmt);
  });
}

// As DirectShow pins do: a complete type is tried alone; otherwise the
// receiving pin's preferred types first, then this pin's, each filtered by the
// partial type.
HRESULT CPinBase::AgreeMediaType(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
  if (!IsPartial(pmt)) {
    HRESULT hr = AttemptConnection(pReceivePin, pmt);
    if (hr != S_OK) {
      BreakConnect();
    }
    return hr;
  }
  HRESULT hrFirstFailure = VFW_E_NO_ACCEPTABLE_TYPES;
  IPin* apPins[] = {pReceivePin, this};
  for (IPin* pPin : apPins) {
    ComPtr<IEnumMediaTypes> pEnum;
    if (FAILED(pPin->EnumMediaTypes(pEnum.ReleaseAndGetAddressOf())) || !pEnum) {
      continue;
    }
    HRESULT hr = TryMediaTypes(pReceivePin, pmt, pEnum.Get());
    if (hr == S_OK) {
      return S_OK;
    }
    if (hr != S_FALSE && hrFirstFailure == VFW_E_NO_ACCEPTABLE_TYPES) {
      hrFirstFailure = hr;
    }
  }
  BreakConnect();
  return hrFirstFailure;
}

// S_OK on a connection, S_FALSE when no type was even tried, else the first
// failure.
HRESULT CPinBase::TryMediaTypes(IPin* pReceivePin, const AM_MEDIA_TYPE* pmtPartial, IEnumMediaTypes* pEnum) {
  HRESULT hrResult = S_FALSE;
  CMediaTypePtr pmt;
  while (pEnum->Next(1, &pmt, nullptr) == S_OK) {
    if (!pmt) {
      continue;
    }
    HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
    if (pmtPartial == nullptr || MediaTypeMatchesPartial(*pmt.Get(), *pmtPartial)) {
      hr = AttemptConnection(pReceivePin, pmt.Get());
    }
    if (hr == S_OK) {
      return S_OK;
    }
    if (hrResult == S_FALSE) {
      hrResult = FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
    }
  }
  return hrResult;
}

HRESULT CPinBase::AttemptConnection(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
  HRESULT hr = CheckMediaType(pmt);
  if (hr != S_OK) {
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  }
  m_mt.Set(*pmt);
  pReceivePin->AddRef();
  m_pConnected.Attach(pReceivePin);
  try {
    hr = pReceivePin->ReceiveConnection(this, pmt);
    if (SUCCEEDED(hr)) {
      hr = CompleteConnect(pReceivePin);
      if (SUCCEEDED(hr)) {
        return S_OK;
      }
      pReceivePin->Disconnect();
    }
  } catch (...) {
    // ReceiveConnection lets nothing out: the peer took the connection, and
    // completing it here threw. Neither end is left half connected.
    pReceivePin->Disconnect();
    m_pConnected.Reset();
    m_mt.Clear();
    throw;
  }
  m_pConnected.Reset();
  m_mt.Clear();
  return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

STDMETHODIMP CPinBase::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
  return RunOperation("IPin::ReceiveConnection", [&]() -> HRESULT {
    if (pConnector == nullptr || pmt == nullptr) {
      return E_POINTER;
    }
    if (IsConnected()) {
      return VFW_E_ALREADY_CONNECTED;
    }
    if (!IsStopped()) {
      return VFW_E_NOT_STOPPED;
    }
    HRESULT hr = CheckConnect(pConnector);
    if (SUCCEEDED(hr)) {
      hr = CheckMediaType(pmt);
      if (hr != S_OK) {
        hr = VFW_E_TYPE_NOT_ACCEPTED;
      }
    }
    if (SUCCEEDED(hr)) {
      pConnector->AddRef();
      m_pConnected.Attach(pConnector);
      m_mt.Set(*pmt);
      hr = CompleteConnect(pConnector);
      if (SUCCEEDED(hr)) {
        return S_OK;
      }
      m_pConnected.Reset();
      m_mt.Clear();
    }
    BreakConnect();
    return hr;
  });
}

STDMETHODIMP CPinBase::Disconnect() {
  return RunOperation("IPin::Disconnect", [&]() -> HRESULT {
    if (!IsStopped()) {
      return VFW_E_NOT_STOPPED;
    }
    if (!IsConnected()) {
      return S_FALSE;
    }
    BreakConnect();
    m_pConnected.Reset();
    m_mt.Clear();
    return S_OK;
  });
}

STDMETHODIMP CPinBase::ConnectedTo(IPin** ppPin) {
  return ComBarrier([&]() -> HRESULT {
    if (ppPin == nullptr) {
      return E_POINTER;
    }
    *ppPin = nullptr;
    return RunOperation("IPin::ConnectedTo", [&]() -> HRESULT {
      *ppPin = m_pConnected.Get();
      if (*ppPin == nullptr) {
        return VFW_E_NOT_CONNECTED;
      }
      (*ppPin)->AddRef();
      return S_OK;
    });
  });
}

STDMETHODIMP CPinBase::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
  return RunOperation("IPin::ConnectionMediaType", [&]() -> HRESULT {
    if (pmt == nullptr) {
      return E_POINTER;
    }
    if (!IsConnected()) {
      std::memset(pmt, 0, sizeof(*pmt));
      return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
  });
}

STDMETHODIMP CPinBase::QueryPinInfo(PIN_INFO* pInfo) {
  return ComBarrier([&]() -> HRESULT {
    if (pInfo == nullptr) {
      return E_POINTER;
    }
    pInfo->pFilter = nullptr;
    return RunOperation("IPin::QueryPinInfo", [&]() -> HRESULT {
      pInfo->pFilter = m_pFilter;
      m_pFilter->AddRef();
      pInfo->dir = m_dir;
      std::wcsncpy(pInfo->achName, m_wszName.c_str(), MAX_PIN_NAME - 1);
      pInfo->achName[MAX_PIN_NAME - 1] = L'\0';
      return S_OK;
    });
  });
}

STDMETHODIMP CPinBase::QueryDirection(PIN_DIRECTION* pPinDir) {
  return RunOperation("IPin::QueryDirection", [&]() -> HRESULT {
    if (pPinDir == nullptr) {
      return E_POINTER;
    }
    *pPinDir = m_dir;
    return S_OK;
  });
}

// The pin's name doubles as its id, as in most DirectShow filters.
STDMETHODIMP CPinBase::QueryId(LPWSTR* ppId) {
  return ComBarrier([&]() -> HRESULT {
    if (ppId == nullptr) {
      return E_POINTER;
    }
    const size_t cb = (m_wszName.size() + 1) * sizeof(WCHAR);
    *ppId = static_cast<LPWSTR>(CoTaskMemAlloc(cb));
    if (*ppId == nullptr) {
      return E_OUTOFMEMORY;
    }
    std::memcpy(*ppId, m_wszName.c_str(), cb);
    return S_OK;
  });
}

STDMETHODIMP CPinBase::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  return ComBarrier([&]() -> HRESULT {
    if (pmt == nullptr) {
      return E_POINTER;
    }
    return CheckMediaType(pmt) == S_OK ? S_OK : S_FALSE;
  });
}

STDMETHODIMP CPinBase::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  return RunOperation("IPin::EnumMediaTypes", [&]() -> HRESULT {
    if (ppEnum == nullptr) {
      return E_POINTER;
    }
    *ppEnum = new (std::nothrow) CEnumMediaTypes(this, 0);
    if (*ppEnum == nullptr) {
      return E_OUTOFMEMORY;
    }
    (*ppEnum)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP CPinBase::QueryInternalConnections(IPin** /*apPin*/, ULONG* /*nPin*/) { return E_NOTIMPL; }

STDMETHODIMP CPinBase::EndOfStream() { return E_UNEXPECTED; }

STDMETHODIMP CPinBase::BeginFlush() { return E_UNEXPECTED; }

STDMETHODIMP CPinBase::EndFlush() { return E_UNEXPECTED; }

STDMETHODIMP CPinBase::NewSegment(REFERENCE_TIME /*tStart*/, REFERENCE_TIME /*tStop*/, double /*dRate*/) {
  return E_UNEXPECTED;
}

HRESULT CPinBase::GetMediaType(int /*iPosition*/, AM_MEDIA_TYPE* /*pmt*/) { return VFW_S_NO_MORE_ITEMS; }

HRESULT CPinBase::CheckConnect(IPin* pPin) {
  PIN_DIRECTION dir;
  HRESULT hr = pPin->QueryDirection(&dir);
  if (FAILED(hr)) {
    return hr;
  }
  return dir == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CPinBase::CompleteConnect(IPin* /*pReceivePin*/) { return S_OK; }

void CPinBase::BreakConnect() {}

HRESULT CPinBase::Active() { return S_OK; }

HRESULT CPinBase::Inactive() { return S_OK; }
