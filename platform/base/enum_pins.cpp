#include "base/enum_pins.h"

#include <algorithm>
#include <new>

#include "base/filter_base.h"
#include "base/operation_fault.h"
#include "base/pin_base.h"

namespace {

// IEnumXxx::Next: without a count pointer only one item may be asked for.
bool NextArgumentsValid(ULONG cItems, const void* pItems, const ULONG* pcFetched) {
  return pItems != nullptr && (pcFetched != nullptr || cItems == 1);
}

}  // namespace

CEnumPins::CEnumPins(CFilterBase* pFilter, ULONG nPosition)
    : CComBase("CEnumPins"), m_pFilterRef(pFilter), m_pFilter(pFilter), m_nPosition(nPosition) {}

STDMETHODIMP CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && riid == IID_IEnumPins) {
    return GetInterface(static_cast<IEnumPins*>(this), ppv);
  }
  return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
  if (!NextArgumentsValid(cPins, ppPins, pcFetched)) {
    return E_POINTER;
  }
  return RunOperation("IEnumPins::Next", [&]() -> HRESULT {
    ULONG cFetched = 0;
    const int nCount = m_pFilter->GetPinCount();
    while (cFetched < cPins && m_nPosition < static_cast<ULONG>(nCount)) {
      CPinBase* pPin = m_pFilter->GetPin(static_cast<int>(m_nPosition++));
      if (pPin == nullptr) {
        continue;
      }
      pPin->AddRef();
      ppPins[cFetched++] = pPin;
    }
    if (pcFetched != nullptr) {
      *pcFetched = cFetched;
    }
    return cFetched == cPins ? S_OK : S_FALSE;
  });
}

STDMETHODIMP CEnumPins::Skip(ULONG cPins) {
  const ULONG nCount = static_cast<ULONG>(m_pFilter->GetPinCount());
  if (cPins > nCount - std::min(m_nPosition, nCount)) {
    m_nPosition = nCount;
    return S_FALSE;
  }
  m_nPosition += cPins;
  return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
  return RunOperation("IEnumPins::Reset", [&]() -> HRESULT {
    m_nPosition = 0;
    return S_OK;
  });
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** ppEnum) {
  if (ppEnum == nullptr) {
    return E_POINTER;
  }
  *ppEnum = new (std::nothrow) CEnumPins(m_pFilter, m_nPosition);
  if (*ppEnum == nullptr) {
    return E_OUTOFMEMORY;
  }
  (*ppEnum)->AddRef();
  return S_OK;
}

CEnumMediaTypes::CEnumMediaTypes(CPinBase* pPin, ULONG nPosition)
    : CComBase("CEnumMediaTypes"), m_pPinRef(pPin), m_pPin(pPin), m_nPosition(nPosition) {}

STDMETHODIMP CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && riid == IID_IEnumMediaTypes) {
    return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
  }
  return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) {
  if (!NextArgumentsValid(cMediaTypes, ppMediaTypes, pcFetched)) {
    return E_POINTER;
  }
  return RunOperation("IEnumMediaTypes::Next", [&]() -> HRESULT {
    ULONG cFetched = 0;
    try {
      while (cFetched < cMediaTypes) {
        CMediaType mt;
        if (m_pPin->GetMediaType(static_cast<int>(m_nPosition), &mt) != S_OK) {
          break;
        }
        ++m_nPosition;
        AM_MEDIA_TYPE* pmt = CreateMediaType(&mt);
        if (pmt == nullptr) {
          break;
        }
        ppMediaTypes[cFetched++] = pmt;
      }
    } catch (...) {
      // The caller learns of no type when the call fails: those already
      // handed out are taken back.
      while (cFetched > 0) {
        DeleteMediaType(ppMediaTypes[--cFetched]);
      }
      throw;
    }
    if (pcFetched != nullptr) {
      *pcFetched = cFetched;
    }
    return cFetched == cMediaTypes ? S_OK : S_FALSE;
  });
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG cMediaTypes) {
  return ComBarrier([&]() -> HRESULT {
    while (cMediaTypes > 0) {
      CMediaType mt;
      if (m_pPin->GetMediaType(static_cast<int>(m_nPosition), &mt) != S_OK) {
        return S_FALSE;
      }
      ++m_nPosition;
      --cMediaTypes;
    }
    return S_OK;
  });
}

STDMETHODIMP CEnumMediaTypes::Reset() {
  m_nPosition = 0;
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum) {
  if (ppEnum == nullptr) {
    return E_POINTER;
  }
  *ppEnum = new (std::nothrow) CEnumMediaTypes(m_pPin, m_nPosition);
  if (*ppEnum == nullptr) {
    return E_OUTOFMEMORY;
  }
  (*ppEnum)->AddRef();
  return S_OK;
}
