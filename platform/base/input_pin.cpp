#include "base/input_pin.h"

#include "base/barrier.h"
#include "base/filter_base.h"
#include "base/mem_allocator.h"

CInputPinBase::CInputPinBase(CFilterBase* pFilter, LPCWSTR pszName) : CPinBase(pFilter, PINDIR_INPUT, pszName) {}

STDMETHODIMP CInputPinBase::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && riid == IID_IMemInputPin) {
    return GetInterface(static_cast<IMemInputPin*>(this), ppv);
  }
  return CPinBase::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CInputPinBase::CheckStreaming() const {
  if (m_pFilter->GetFilterState() == State_Stopped) {
    return VFW_E_WRONG_STATE;
  }
  if (m_bFlushing.load(std::memory_order_acquire)) {
    return S_FALSE;
  }
  if (m_bAtEndOfStream.load(std::memory_order_acquire)) {
    return VFW_E_WRONG_STATE;
  }
  return S_OK;
}

STDMETHODIMP CInputPinBase::EndOfStream() {
  return ComBarrier([&]() -> HRESULT {
    std::lock_guard lock(m_mxReceive);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) {
      return hr;
    }
    m_bAtEndOfStream.store(true, std::memory_order_release);
    return OnEndOfStream();
  });
}

STDMETHODIMP CInputPinBase::BeginFlush() {
  return ComBarrier([&]() -> HRESULT {
    m_bFlushing.store(true, std::memory_order_release);
    return OnBeginFlush();
  });
}

STDMETHODIMP CInputPinBase::EndFlush() {
  return ComBarrier([&]() -> HRESULT {
    m_bAtEndOfStream.store(false, std::memory_order_release);
    m_bFlushing.store(false, std::memory_order_release);
    return OnEndFlush();
  });
}

STDMETHODIMP CInputPinBase::NewSegment(REFERENCE_TIME /*tStart*/, REFERENCE_TIME /*tStop*/, double /*dRate*/) {
  return S_OK;
}

// Offers a memory allocator when upstream has none of its own, as DirectShow
// input pins do.
STDMETHODIMP CInputPinBase::GetAllocator(IMemAllocator** ppAllocator) {
  return ComBarrier([&]() -> HRESULT {
    if (ppAllocator == nullptr) {
      return E_POINTER;
    }
    if (!m_pAllocator) {
      HRESULT hr = CreateMemoryAllocator(m_pAllocator.ReleaseAndGetAddressOf());
      if (FAILED(hr)) {
        *ppAllocator = nullptr;
        return hr;
      }
    }
    *ppAllocator = m_pAllocator.Get();
    (*ppAllocator)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP CInputPinBase::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) {
  if (pAllocator == nullptr) {
    return E_POINTER;
  }
  pAllocator->AddRef();
  m_pAllocator.Attach(pAllocator);
  m_bReadOnly = bReadOnly;
  return S_OK;
}

STDMETHODIMP CInputPinBase::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* /*pProps*/) { return E_NOTIMPL; }

STDMETHODIMP CInputPinBase::Receive(IMediaSample* pSample) {
  return ComBarrier([&]() -> HRESULT {
    if (pSample == nullptr) {
      return E_POINTER;
    }
    std::lock_guard lock(m_mxReceive);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) {
      return hr;
    }
    return OnReceive(pSample);
  });
}

STDMETHODIMP CInputPinBase::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) {
  if (pSamples == nullptr || nSamplesProcessed == nullptr) {
    return E_POINTER;
  }
  HRESULT hr = S_OK;
  *nSamplesProcessed = 0;
  while (*nSamplesProcessed < nSamples) {
    hr = Receive(pSamples[*nSamplesProcessed]);
    if (hr != S_OK) {
      break;
    }
    ++*nSamplesProcessed;
  }
  return hr;
}

STDMETHODIMP CInputPinBase::ReceiveCanBlock() { return S_FALSE; }

HRESULT CInputPinBase::Active() {
  m_bAtEndOfStream.store(false, std::memory_order_release);
  m_bFlushing.store(false, std::memory_order_release);
  return S_OK;
}

// The filter is already marked stopped, so nothing new gets in; a sample or
// end of stream still being handed on is waited for, so that once the filter
// has stopped its connections may be broken and its neighbours released.
HRESULT CInputPinBase::Inactive() {
  std::lock_guard lock(m_mxReceive);
  m_bAtEndOfStream.store(false, std::memory_order_release);
  return S_OK;
}

void CInputPinBase::BreakConnect() {
  m_pAllocator.Reset();
  m_bReadOnly = FALSE;
}
