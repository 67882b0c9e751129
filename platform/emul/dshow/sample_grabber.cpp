#include "emul/dshow/sample_grabber.h"

#include <cstring>

#include "base/operation_fault.h"
#include "base/unknown.h"
#include "emul/class_registry.h"

namespace {

const bool g_bRegistered = emul::RegisterClass(CLSID_SampleGrabber, &CreateComInstance<CSampleGrabber>);

constexpr double REFERENCE_TIME_PER_SECOND = 10000000.0;

}  // namespace

CGrabberInputPin::CGrabberInputPin(CSampleGrabber* pGrabber) : CInputPinBase(pGrabber, L"Input"), m_pGrabber(pGrabber) {}

HRESULT CGrabberInputPin::CheckMediaType(const AM_MEDIA_TYPE* pmt) { return m_pGrabber->CheckInputType(pmt); }

HRESULT CGrabberInputPin::OnReceive(IMediaSample* pSample) { return m_pGrabber->ReceiveSample(pSample); }

HRESULT CGrabberInputPin::OnEndOfStream() {
  CGrabberOutputPin* pOut = m_pGrabber->OutputPin();
  return pOut->IsConnected() ? pOut->DeliverEndOfStream() : S_OK;
}

HRESULT CGrabberInputPin::OnBeginFlush() {
  CGrabberOutputPin* pOut = m_pGrabber->OutputPin();
  return pOut->IsConnected() ? pOut->DeliverBeginFlush() : S_OK;
}

HRESULT CGrabberInputPin::OnEndFlush() {
  CGrabberOutputPin* pOut = m_pGrabber->OutputPin();
  return pOut->IsConnected() ? pOut->DeliverEndFlush() : S_OK;
}

STDMETHODIMP CGrabberInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
  CGrabberOutputPin* pOut = m_pGrabber->OutputPin();
  return pOut->IsConnected() ? pOut->DeliverNewSegment(tStart, tStop, dRate) : S_OK;
}

CGrabberOutputPin::CGrabberOutputPin(CSampleGrabber* pGrabber)
    : COutputPinBase(pGrabber, L"Output"), m_pGrabber(pGrabber) {}

// The type passes through unchanged, so downstream gets what upstream sends.
HRESULT CGrabberOutputPin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
  CGrabberInputPin* pIn = m_pGrabber->InputPin();
  if (!pIn->IsConnected()) {
    return VFW_E_NOT_CONNECTED;
  }
  const AM_MEDIA_TYPE& mtIn = pIn->CurrentMediaType();
  return (pmt->majortype == mtIn.majortype && pmt->subtype == mtIn.subtype && pmt->formattype == mtIn.formattype)
             ? S_OK
             : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CGrabberOutputPin::GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt) {
  CGrabberInputPin* pIn = m_pGrabber->InputPin();
  if (iPosition != 0 || !pIn->IsConnected()) {
    return VFW_S_NO_MORE_ITEMS;
  }
  return CopyMediaType(pmt, &pIn->CurrentMediaType());
}

// As in DirectShow's in-place filters, the output connects only after the
// input has a type to pass on.
HRESULT CGrabberOutputPin::CheckConnect(IPin* pPin) {
  if (!m_pGrabber->InputPin()->IsConnected()) {
    return VFW_E_NOT_CONNECTED;
  }
  return COutputPinBase::CheckConnect(pPin);
}

HRESULT CGrabberOutputPin::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAllocator) {
  *ppAllocator = nullptr;
  IMemAllocator* pUpstream = m_pGrabber->InputPin()->GetConnectedAllocator();
  if (pUpstream != nullptr) {
    pPin->NotifyAllocator(pUpstream, FALSE);
  }
  return S_OK;
}

CSampleGrabber::CSampleGrabber()
    : CFilterBase("CSampleGrabber", CLSID_SampleGrabber),
      m_pInput(std::make_unique<CGrabberInputPin>(this)),
      m_pOutput(std::make_unique<CGrabberOutputPin>(this)) {}

CSampleGrabber::~CSampleGrabber() = default;

STDMETHODIMP CSampleGrabber::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && riid == IID_ISampleGrabber) {
    return GetInterface(static_cast<ISampleGrabber*>(this), ppv);
  }
  return CFilterBase::NonDelegatingQueryInterface(riid, ppv);
}

CPinBase* CSampleGrabber::GetPin(int n) {
  switch (n) {
    case 0:
      return m_pInput.get();
    case 1:
      return m_pOutput.get();
    default:
      return nullptr;
  }
}

// GUID_NULL in the accepted type matches anything.
HRESULT CSampleGrabber::CheckInputType(const AM_MEDIA_TYPE* pmt) const {
  if (pmt == nullptr) {
    return E_POINTER;
  }
  return MediaTypeMatchesPartial(*pmt, m_mtAccept) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSampleGrabber::OnStartStreaming() {
  m_bOneShotDone.store(false);
  return S_OK;
}

void CSampleGrabber::Callback(IMediaSample* pSample, BYTE* pData, LONG cbData) {
  ComPtr<ISampleGrabberCB> pCallback;
  LONG nMethod = 0;
  {
    std::lock_guard lock(m_mxCallback);
    pCallback = m_pCallback;
    nMethod = m_nCallbackMethod;
  }
  if (!pCallback) {
    return;
  }
  REFERENCE_TIME tStart = 0;
  REFERENCE_TIME tStop = 0;
  const double dTime = SUCCEEDED(pSample->GetTime(&tStart, &tStop)) ? tStart / REFERENCE_TIME_PER_SECOND : 0.0;
  if (nMethod == 0) {
    pCallback->SampleCB(dTime, pSample);
  } else {
    pCallback->BufferCB(dTime, pData, cbData);
  }
}

HRESULT CSampleGrabber::ReceiveSample(IMediaSample* pSample) {
  const bool bOneShot = m_bOneShot.load();
  if (bOneShot && m_bOneShotDone.load()) {
    return S_FALSE;
  }
  BYTE* pData = nullptr;
  HRESULT hr = pSample->GetPointer(&pData);
  if (FAILED(hr)) {
    return hr;
  }
  const LONG cbData = pSample->GetActualDataLength();
  if (m_bBufferSamples.load()) {
    std::lock_guard lock(m_mxBuffer);
    m_buffer.assign(pData, pData + cbData);
    m_bHaveBuffer = true;
  }
  Callback(pSample, pData, cbData);
  hr = m_pOutput->IsConnected() ? m_pOutput->Deliver(pSample) : S_OK;
  if (bOneShot) {
    m_bOneShotDone.store(true);
    if (m_pOutput->IsConnected()) {
      m_pOutput->DeliverEndOfStream();
    }
    return S_FALSE;
  }
  return hr;
}

STDMETHODIMP CSampleGrabber::SetOneShot(BOOL OneShot) {
  return RunOperation("ISampleGrabber::SetOneShot", [&]() -> HRESULT {
    m_bOneShot.store(OneShot != FALSE);
    return S_OK;
  });
}

STDMETHODIMP CSampleGrabber::SetMediaType(const AM_MEDIA_TYPE* pType) {
  if (pType == nullptr) {
    return E_POINTER;
  }
  return RunOperation("ISampleGrabber::SetMediaType", [&]() -> HRESULT {
    return m_mtAccept.Set(*pType);
  });
}

STDMETHODIMP CSampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* pType) {
  if (pType == nullptr) {
    return E_POINTER;
  }
  return RunOperation("ISampleGrabber::GetConnectedMediaType", [&]() -> HRESULT {
    if (!m_pInput->IsConnected()) {
      return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pType, &m_pInput->CurrentMediaType());
  });
}

STDMETHODIMP CSampleGrabber::SetBufferSamples(BOOL BufferThem) {
  return RunOperation("ISampleGrabber::SetBufferSamples", [&]() -> HRESULT {
    m_bBufferSamples.store(BufferThem != FALSE);
    return S_OK;
  });
}

// As DirectShow's grabber: with a null buffer the size alone is returned.
STDMETHODIMP CSampleGrabber::GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) {
  if (pBufferSize == nullptr) {
    return E_POINTER;
  }
  return RunOperation("ISampleGrabber::GetCurrentBuffer", [&]() -> HRESULT {
    if (!m_bBufferSamples.load()) {
      return E_INVALIDARG;
    }
    std::lock_guard lock(m_mxBuffer);
    if (!m_bHaveBuffer) {
      return VFW_E_WRONG_STATE;
    }
    const LONG cbBuffer = static_cast<LONG>(m_buffer.size());
    if (pBuffer != nullptr) {
      if (*pBufferSize < cbBuffer) {
        return E_OUTOFMEMORY;
      }
      std::memcpy(pBuffer, m_buffer.data(), m_buffer.size());
    }
    *pBufferSize = cbBuffer;
    return S_OK;
  });
}

STDMETHODIMP CSampleGrabber::GetCurrentSample(IMediaSample** ppSample) {
  if (ppSample != nullptr) {
    *ppSample = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP CSampleGrabber::SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback) {
  if (WhichMethodToCallback != 0 && WhichMethodToCallback != 1) {
    return E_INVALIDARG;
  }
  return RunOperation("ISampleGrabber::SetCallback", [&]() -> HRESULT {
    if (pCallback != nullptr) {
      pCallback->AddRef();
    }
    ComPtr<ISampleGrabberCB> pOld;
    {
      std::lock_guard lock(m_mxCallback);
      pOld.Attach(m_pCallback.Detach());
      m_pCallback.Attach(pCallback);
      m_nCallbackMethod = WhichMethodToCallback;
    }
    return S_OK;  // the old callback is released outside the lock
  });
}
