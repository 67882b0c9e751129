#include "base/output_pin.h"

#include <algorithm>
#include <cstring>

#include "base/filter_base.h"
#include "base/mem_allocator.h"

COutputPinBase::COutputPinBase(CFilterBase* pFilter, LPCWSTR pszName) : CPinBase(pFilter, PINDIR_OUTPUT, pszName) {}

HRESULT COutputPinBase::CheckConnect(IPin* pPin) {
  HRESULT hr = CPinBase::CheckConnect(pPin);
  if (FAILED(hr)) {
    return hr;
  }
  // Samples travel through IMemInputPin; a pin without it cannot take them.
  if (FAILED(pPin->QueryInterface(IID_IMemInputPin, m_pInputPin.ReleaseAndGetVoidAddressOf()))) {
    m_pInputPin.Reset();
    return E_NOINTERFACE;
  }
  return S_OK;
}

HRESULT COutputPinBase::CompleteConnect(IPin* /*pReceivePin*/) {
  return DecideAllocator(m_pInputPin.Get(), m_pAllocator.ReleaseAndGetAddressOf());
}

void COutputPinBase::BreakConnect() {
  if (m_pAllocator) {
    m_pAllocator->Decommit();
    m_pAllocator.Reset();
  }
  m_pInputPin.Reset();
}

HRESULT COutputPinBase::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pRequest) {
  pRequest->cbBuffer = std::max<LONG>({pRequest->cbBuffer, static_cast<LONG>(m_mt.lSampleSize), 1});
  pRequest->cBuffers = std::max<LONG>(pRequest->cBuffers, 2);
  pRequest->cbAlign = std::max<LONG>(pRequest->cbAlign, 1);
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = pAllocator->SetProperties(pRequest, &actual);
  if (FAILED(hr)) {
    return hr;
  }
  return actual.cbBuffer < pRequest->cbBuffer ? E_FAIL : S_OK;
}

HRESULT COutputPinBase::InitAllocator(IMemInputPin* pPin, IMemAllocator* pAllocator,
                                      const ALLOCATOR_PROPERTIES& requirements) {
  ALLOCATOR_PROPERTIES request = requirements;
  HRESULT hr = DecideBufferSize(pAllocator, &request);
  if (SUCCEEDED(hr)) {
    hr = pPin->NotifyAllocator(pAllocator, FALSE);
  }
  return hr;
}

HRESULT COutputPinBase::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAllocator) {
  *ppAllocator = nullptr;
  ALLOCATOR_PROPERTIES requirements{};
  if (FAILED(pPin->GetAllocatorRequirements(&requirements))) {
    requirements = ALLOCATOR_PROPERTIES{};
  }
  if (SUCCEEDED(pPin->GetAllocator(ppAllocator)) && *ppAllocator != nullptr) {
    if (SUCCEEDED(InitAllocator(pPin, *ppAllocator, requirements))) {
      return S_OK;
    }
    (*ppAllocator)->Release();
    *ppAllocator = nullptr;
  }
  HRESULT hr = CreateMemoryAllocator(ppAllocator);
  if (FAILED(hr)) {
    *ppAllocator = nullptr;
    return hr;
  }
  hr = InitAllocator(pPin, *ppAllocator, requirements);
  if (FAILED(hr)) {
    (*ppAllocator)->Release();
    *ppAllocator = nullptr;
  }
  return hr;
}

HRESULT COutputPinBase::Active() {
  return m_pAllocator ? m_pAllocator->Commit() : S_OK;
}

HRESULT COutputPinBase::Inactive() {
  return m_pAllocator ? m_pAllocator->Decommit() : S_OK;
}

HRESULT COutputPinBase::GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* ptStart, REFERENCE_TIME* ptStop,
                                          DWORD dwFlags) {
  if (ppSample == nullptr) {
    return E_POINTER;
  }
  *ppSample = nullptr;
  if (!m_pAllocator) {
    return VFW_E_NO_ALLOCATOR;
  }
  return m_pAllocator->GetBuffer(ppSample, ptStart, ptStop, dwFlags);
}

HRESULT COutputPinBase::Deliver(IMediaSample* pSample) {
  if (!m_pInputPin) {
    return VFW_E_NOT_CONNECTED;
  }
  return m_pInputPin->Receive(pSample);
}

HRESULT COutputPinBase::DeliverBuffer(const BYTE* pData, LONG cbData, const REFERENCE_TIME* ptStart,
                                      const REFERENCE_TIME* ptStop) {
  if (pData == nullptr && cbData != 0) {
    return E_POINTER;
  }
  if (cbData < 0) {
    return E_INVALIDARG;
  }
  if (!m_pInputPin) {
    return VFW_E_NOT_CONNECTED;
  }
  ComPtr<IMediaSample> pSample;
  HRESULT hr = GetDeliveryBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0);
  if (FAILED(hr)) {
    return hr;
  }
  BYTE* pBuffer = nullptr;
  hr = pSample->GetPointer(&pBuffer);
  if (FAILED(hr)) {
    return hr;
  }
  if (cbData > pSample->GetSize()) {
    return VFW_E_BUFFER_OVERFLOW;
  }
  if (cbData > 0) {
    std::memcpy(pBuffer, pData, static_cast<size_t>(cbData));
  }
  pSample->SetActualDataLength(cbData);
  REFERENCE_TIME tStart = ptStart != nullptr ? *ptStart : 0;
  REFERENCE_TIME tStop = ptStop != nullptr ? *ptStop : tStart;
  pSample->SetTime(ptStart != nullptr ? &tStart : nullptr, ptStart != nullptr ? &tStop : nullptr);
  pSample->SetSyncPoint(TRUE);
  return Deliver(pSample.Get());
}

HRESULT COutputPinBase::DeliverEndOfStream() {
  IPin* pPeer = GetConnected();
  return pPeer != nullptr ? pPeer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT COutputPinBase::DeliverBeginFlush() {
  IPin* pPeer = GetConnected();
  return pPeer != nullptr ? pPeer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT COutputPinBase::DeliverEndFlush() {
  IPin* pPeer = GetConnected();
  return pPeer != nullptr ? pPeer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT COutputPinBase::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
  IPin* pPeer = GetConnected();
  return pPeer != nullptr ? pPeer->NewSegment(tStart, tStop, dRate) : VFW_E_NOT_CONNECTED;
}
