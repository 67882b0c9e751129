#include "base/mem_allocator.h"

#include <new>

#include "base/media_type.h"
#include "base/operation_fault.h"

CMediaSample::CMediaSample(CMemAllocator* pAllocator, BYTE* pBuffer, LONG cbBuffer)
    : m_pAllocator(pAllocator), m_pBuffer(pBuffer), m_cbBuffer(cbBuffer) {}

CMediaSample::~CMediaSample() { DeleteMediaType(m_pMediaType); }

void CMediaSample::ResetProperties() {
  m_lActual = 0;
  m_bStartValid = m_bStopValid = m_bMediaTimeValid = false;
  m_bSyncPoint = m_bPreroll = m_bDiscontinuity = false;
  DeleteMediaType(m_pMediaType);
  m_pMediaType = nullptr;
}

STDMETHODIMP CMediaSample::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (riid == IID_IUnknown || riid == IID_IMediaSample) {
    *ppv = static_cast<IMediaSample*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSample::AddRef() { return static_cast<ULONG>(++m_cRef); }

STDMETHODIMP_(ULONG) CMediaSample::Release() {
  const LONG cRef = --m_cRef;
  if (cRef == 0) {
    m_pAllocator->ReleaseBuffer(this);
  }
  return static_cast<ULONG>(cRef);
}

STDMETHODIMP CMediaSample::GetPointer(BYTE** ppBuffer) {
  if (ppBuffer == nullptr) {
    return E_POINTER;
  }
  *ppBuffer = m_pBuffer;
  return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetSize() { return m_cbBuffer; }

STDMETHODIMP CMediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
  if (pTimeStart == nullptr || pTimeEnd == nullptr) {
    return E_POINTER;
  }
  if (!m_bStartValid) {
    return VFW_E_SAMPLE_TIME_NOT_SET;
  }
  *pTimeStart = m_tStart;
  if (!m_bStopValid) {
    *pTimeEnd = m_tStart + 1;
    return S_OK;
  }
  *pTimeEnd = m_tStop;
  return S_OK;
}

STDMETHODIMP CMediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
  m_bStartValid = pTimeStart != nullptr;
  m_bStopValid = m_bStartValid && pTimeEnd != nullptr;
  if (m_bStartValid) {
    m_tStart = *pTimeStart;
  }
  if (m_bStopValid) {
    m_tStop = *pTimeEnd;
  }
  return S_OK;
}

STDMETHODIMP CMediaSample::IsSyncPoint() { return m_bSyncPoint ? S_OK : S_FALSE; }

STDMETHODIMP CMediaSample::SetSyncPoint(BOOL bIsSyncPoint) {
  m_bSyncPoint = bIsSyncPoint != FALSE;
  return S_OK;
}

STDMETHODIMP CMediaSample::IsPreroll() { return m_bPreroll ? S_OK : S_FALSE; }

STDMETHODIMP CMediaSample::SetPreroll(BOOL bIsPreroll) {
  m_bPreroll = bIsPreroll != FALSE;
  return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetActualDataLength() { return m_lActual; }

STDMETHODIMP CMediaSample::SetActualDataLength(LONG lLen) {
  if (lLen < 0 || lLen > m_cbBuffer) {
    return VFW_E_BUFFER_OVERFLOW;
  }
  m_lActual = lLen;
  return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
  return ComBarrier([&]() -> HRESULT {
    if (ppMediaType == nullptr) {
      return E_POINTER;
    }
    if (m_pMediaType == nullptr) {
      *ppMediaType = nullptr;
      return S_FALSE;
    }
    *ppMediaType = CreateMediaType(m_pMediaType);
    return *ppMediaType != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP CMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
  return ComBarrier([&]() -> HRESULT {
    DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
    if (pMediaType != nullptr) {
      m_pMediaType = CreateMediaType(pMediaType);
      if (m_pMediaType == nullptr) {
        return E_OUTOFMEMORY;
      }
    }
    return S_OK;
  });
}

STDMETHODIMP CMediaSample::IsDiscontinuity() { return m_bDiscontinuity ? S_OK : S_FALSE; }

STDMETHODIMP CMediaSample::SetDiscontinuity(BOOL bDiscontinuity) {
  m_bDiscontinuity = bDiscontinuity != FALSE;
  return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
  if (pTimeStart == nullptr || pTimeEnd == nullptr) {
    return E_POINTER;
  }
  if (!m_bMediaTimeValid) {
    return VFW_E_SAMPLE_TIME_NOT_SET;
  }
  *pTimeStart = m_tMediaStart;
  *pTimeEnd = m_tMediaStop;
  return S_OK;
}

STDMETHODIMP CMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
  m_bMediaTimeValid = pTimeStart != nullptr && pTimeEnd != nullptr;
  if (m_bMediaTimeValid) {
    m_tMediaStart = *pTimeStart;
    m_tMediaStop = *pTimeEnd;
  }
  return S_OK;
}

CMemAllocator::CMemAllocator() : CComBase("CMemAllocator") {}

// Every sample handed out holds a reference to the allocator, so none is
// outstanding here.
CMemAllocator::~CMemAllocator() = default;

STDMETHODIMP CMemAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && riid == IID_IMemAllocator) {
    return GetInterface(static_cast<IMemAllocator*>(this), ppv);
  }
  return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) {
  if (pRequest == nullptr || pActual == nullptr) {
    return E_POINTER;
  }
  return RunOperation("IMemAllocator::SetProperties", [&]() -> HRESULT {
    const LONG cbAlign = pRequest->cbAlign;
    if (cbAlign <= 0 || (cbAlign & (cbAlign - 1)) != 0) {
      return E_INVALIDARG;
    }
    if (pRequest->cBuffers <= 0 || pRequest->cbBuffer <= 0 || pRequest->cbPrefix < 0) {
      return E_INVALIDARG;
    }
    std::lock_guard lock(m_mx);
    if (m_bCommitted) {
      return VFW_E_WRONG_STATE;
    }
    if (m_nOutstanding > 0) {
      return VFW_E_WRONG_STATE;
    }
    // Each buffer's size is rounded up so that the next prefix starts aligned.
    ALLOCATOR_PROPERTIES props = *pRequest;
    const long long cbRounded = (static_cast<long long>(props.cbBuffer) + props.cbPrefix + cbAlign - 1) /
                                cbAlign * cbAlign - props.cbPrefix;
    if (cbRounded > 0x7fffffff || static_cast<long long>(props.cBuffers) * (cbRounded + props.cbPrefix) > 0x7fffffff) {
      return E_OUTOFMEMORY;
    }
    props.cbBuffer = static_cast<LONG>(cbRounded);
    FreeBuffersLocked();
    m_props = props;
    m_bPropertiesSet = true;
    *pActual = props;
    return S_OK;
  });
}

STDMETHODIMP CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
  if (pProps == nullptr) {
    return E_POINTER;
  }
  std::lock_guard lock(m_mx);
  *pProps = m_props;
  return S_OK;
}

STDMETHODIMP CMemAllocator::Commit() {
  return RunOperation("IMemAllocator::Commit", [&]() -> HRESULT {
    std::lock_guard lock(m_mx);
    if (!m_bPropertiesSet) {
      return VFW_E_SIZENOTSET;
    }
    if (m_bCommitted) {
      return S_OK;
    }
    if (m_samples.empty()) {
      // One block for all buffers; cbAlign extra bytes leave room to align the
      // first buffer after its prefix. The lists are built aside and taken
      // whole, so a failed allocation leaves the allocator as it was; the
      // free list's room for every sample means that handing a buffer back
      // never allocates.
      const size_t cbStride = static_cast<size_t>(m_props.cbPrefix) + static_cast<size_t>(m_props.cbBuffer);
      const size_t cbTotal = cbStride * static_cast<size_t>(m_props.cBuffers) + static_cast<size_t>(m_props.cbAlign);
      std::unique_ptr<BYTE[]> pMemory(new (std::nothrow) BYTE[cbTotal]);
      if (!pMemory) {
        return E_OUTOFMEMORY;
      }
      const uintptr_t nAlign = static_cast<uintptr_t>(m_props.cbAlign);
      const uintptr_t nFirst = reinterpret_cast<uintptr_t>(pMemory.get()) + static_cast<uintptr_t>(m_props.cbPrefix);
      BYTE* pFirst = pMemory.get() + ((nAlign - nFirst % nAlign) % nAlign) + m_props.cbPrefix;
      std::vector<std::unique_ptr<CMediaSample>> samples;
      std::vector<CMediaSample*> free;
      samples.reserve(static_cast<size_t>(m_props.cBuffers));
      free.reserve(static_cast<size_t>(m_props.cBuffers));
      for (LONG i = 0; i < m_props.cBuffers; ++i) {
        samples.push_back(
            std::make_unique<CMediaSample>(this, pFirst + cbStride * static_cast<size_t>(i), m_props.cbBuffer));
        free.push_back(samples.back().get());
      }
      m_pMemory = std::move(pMemory);
      m_samples = std::move(samples);
      m_free = std::move(free);
    }
    m_bCommitted = true;
    return S_OK;
  });
}

STDMETHODIMP CMemAllocator::Decommit() {
  std::lock_guard lock(m_mx);
  m_bCommitted = false;
  if (m_nOutstanding == 0) {
    FreeBuffersLocked();
  }
  m_cvFree.notify_all();
  return S_OK;
}

void CMemAllocator::FreeBuffersLocked() {
  m_free.clear();
  m_samples.clear();
  m_pMemory.reset();
}

STDMETHODIMP CMemAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                                      DWORD dwFlags) {
  if (ppBuffer == nullptr) {
    return E_POINTER;
  }
  *ppBuffer = nullptr;
  CMediaSample* pSample = nullptr;
  {
    std::unique_lock lock(m_mx);
    m_cvFree.wait(lock, [&] { return !m_bCommitted || !m_free.empty() || (dwFlags & AM_GBF_NOWAIT) != 0; });
    if (!m_bCommitted) {
      return VFW_E_NOT_COMMITTED;
    }
    if (m_free.empty()) {
      return VFW_E_TIMEOUT;
    }
    pSample = m_free.back();
    m_free.pop_back();
    ++m_nOutstanding;
  }
  AddRef();  // dropped by ReleaseBuffer
  pSample->m_cRef.store(1);
  if (pStartTime != nullptr) {
    pSample->SetTime(pStartTime, pEndTime);
  }
  *ppBuffer = pSample;
  return S_OK;
}

STDMETHODIMP CMemAllocator::ReleaseBuffer(IMediaSample* pBuffer) {
  if (pBuffer == nullptr) {
    return E_POINTER;
  }
  auto* pSample = static_cast<CMediaSample*>(pBuffer);
  pSample->ResetProperties();
  {
    std::lock_guard lock(m_mx);
    m_free.push_back(pSample);
    --m_nOutstanding;
    if (!m_bCommitted && m_nOutstanding == 0) {
      FreeBuffersLocked();
    }
    m_cvFree.notify_one();
  }
  Release();  // may delete this allocator: nothing of it is touched after
  return S_OK;
}

HRESULT CreateMemoryAllocator(IMemAllocator** ppAllocator) {
  if (ppAllocator == nullptr) {
    return E_POINTER;
  }
  *ppAllocator = new (std::nothrow) CMemAllocator();
  if (*ppAllocator == nullptr) {
    return E_OUTOFMEMORY;
  }
  (*ppAllocator)->AddRef();
  return S_OK;
}
