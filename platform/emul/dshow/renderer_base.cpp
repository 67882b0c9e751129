#include "emul/dshow/renderer_base.h"

CRendererInputPin::CRendererInputPin(CRendererBase* pRenderer) : CInputPinBase(pRenderer, L"In"), m_pRenderer(pRenderer) {}

HRESULT CRendererInputPin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
  return pmt != nullptr ? m_pRenderer->CheckMediaType(pmt) : E_POINTER;
}

HRESULT CRendererInputPin::OnReceive(IMediaSample* pSample) { return m_pRenderer->RenderSample(pSample); }

HRESULT CRendererInputPin::OnEndOfStream() { return m_pRenderer->EndOfStreamReceived(); }

HRESULT CRendererInputPin::CompleteConnect(IPin* pReceivePin) {
  HRESULT hr = CInputPinBase::CompleteConnect(pReceivePin);
  if (SUCCEEDED(hr)) {
    hr = m_pRenderer->OnConnected(CurrentMediaType());
  }
  return hr;
}

CRendererBase::CRendererBase(LPCSTR pName, REFCLSID clsid)
    : CFilterBase(pName, clsid), m_pInputPin(std::make_unique<CRendererInputPin>(this)) {}

CRendererBase::~CRendererBase() = default;

STDMETHODIMP CRendererBase::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && riid == IID_IAMFilterMiscFlags) {
    return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
  }
  return CFilterBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CRendererBase::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

CPinBase* CRendererBase::GetPin(int n) { return n == 0 ? m_pInputPin.get() : nullptr; }

void CRendererBase::SendCompleteLocked() {
  m_bCompleteSent = true;
  NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

HRESULT CRendererBase::EndOfStreamReceived() {
  std::lock_guard lock(m_mxEndOfStream);
  m_bEndOfStream = true;
  if (GetFilterState() == State_Running && !m_bCompleteSent) {
    SendCompleteLocked();
  }
  return S_OK;
}

HRESULT CRendererBase::OnStartStreaming() {
  std::lock_guard lock(m_mxEndOfStream);
  m_bEndOfStream = false;
  m_bCompleteSent = false;
  return S_OK;
}

HRESULT CRendererBase::OnRun(REFERENCE_TIME /*tStart*/) {
  std::lock_guard lock(m_mxEndOfStream);
  if (m_bEndOfStream && !m_bCompleteSent) {
    SendCompleteLocked();
  }
  return S_OK;
}
