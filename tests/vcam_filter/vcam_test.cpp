#include "tests/vcam_filter/vcam_test.h"

#include <cstring>

namespace vcam_test {

ComPtr<IPin> OutputPin(IBaseFilter* pFilter) {
  ComPtr<IPin> pPin;
  ComPtr<IEnumPins> pEnum;
  if (SUCCEEDED(pFilter->EnumPins(&pEnum))) {
    pEnum->Next(1, &pPin, nullptr);
  }
  return pPin;
}

ComPtr<IAMStreamConfig> StreamConfig(IBaseFilter* pFilter) {
  ComPtr<IAMStreamConfig> pConfig;
  ComPtr<IPin> pPin = OutputPin(pFilter);
  if (pPin) {
    pPin->QueryInterface(IID_IAMStreamConfig, pConfig.ReleaseAndGetVoidAddressOf());
  }
  return pConfig;
}

HRESULT CCaptureGraph::Build(IBaseFilter* pCaptureFilter) {
  pCapture = ComPtr<IBaseFilter>(pCaptureFilter);
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                                pGraph.ReleaseAndGetVoidAddressOf());
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_ALL, IID_ISampleGrabber,
                          pGrabber.ReleaseAndGetVoidAddressOf());
  }
  if (SUCCEEDED(hr)) {
    hr = pGrabber.As(IID_IBaseFilter, pGrabberFilter);
  }
  if (SUCCEEDED(hr)) {
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = 1;
    hr = pGrabber->SetMediaType(&mt);
  }
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                          pRenderer.ReleaseAndGetVoidAddressOf());
  }
  if (SUCCEEDED(hr)) hr = pGraph->AddFilter(pCapture.Get(), L"Camera");
  if (SUCCEEDED(hr)) hr = pGraph->AddFilter(pGrabberFilter.Get(), L"Sample Grabber Origin");
  if (SUCCEEDED(hr)) hr = pGraph->AddFilter(pRenderer.Get(), L"Null Renderer");
  ComPtr<IPin> pOut = OutputPin(pCapture.Get());
  ComPtr<IPin> pGrabberIn;
  ComPtr<IPin> pGrabberOut;
  ComPtr<IPin> pRendererIn;
  if (SUCCEEDED(hr)) hr = pGrabberFilter->FindPin(L"Input", &pGrabberIn);
  if (SUCCEEDED(hr)) hr = pGrabberFilter->FindPin(L"Output", &pGrabberOut);
  if (SUCCEEDED(hr)) hr = pRenderer->FindPin(L"In", &pRendererIn);
  if (SUCCEEDED(hr)) hr = pGraph->Connect(pOut.Get(), pGrabberIn.Get());
  if (SUCCEEDED(hr)) hr = pGraph->Connect(pGrabberOut.Get(), pRendererIn.Get());
  if (SUCCEEDED(hr)) hr = pGraph.As(IID_IMediaControl, pControl);
  if (SUCCEEDED(hr)) hr = pGraph.As(IID_IMediaEvent, pEvent);
  return hr;
}

void CCaptureGraph::Release() {
  if (pControl) {
    pControl->Stop();
  }
  pEvent.Reset();
  pControl.Reset();
  pRenderer.Reset();
  pGrabber.Reset();
  pGrabberFilter.Reset();
  pCapture.Reset();
  pGraph.Reset();
}

HRESULT ReadRegister(IKsPropertySet* pProps, std::uint32_t dwOffset, std::uint32_t* pdwValue) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  vcam::StoreQuadlet(block, vcam::REGISTER_OFFSET_AT, dwOffset);
  HRESULT hr = pProps->Set(vcam::PROPSETID_IIDC_CAMERA, vcam::IIDC_PROPERTY_READ_QUADLET, block, sizeof(block),
                           block, sizeof(block));
  if (FAILED(hr)) {
    return hr;
  }
  DWORD cbReturned = 0;
  hr = pProps->Get(vcam::PROPSETID_IIDC_CAMERA, vcam::IIDC_PROPERTY_READ_QUADLET, block, sizeof(block), block,
                   sizeof(block), &cbReturned);
  if (SUCCEEDED(hr)) {
    *pdwValue = vcam::LoadQuadlet(block, vcam::REGISTER_VALUE_AT);
  }
  return hr;
}

HRESULT WriteRegister(IKsPropertySet* pProps, std::uint32_t dwOffset, std::uint32_t dwValue) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  vcam::StoreQuadlet(block, vcam::REGISTER_OFFSET_AT, dwOffset);
  vcam::StoreQuadlet(block, vcam::REGISTER_VALUE_AT, dwValue);
  return pProps->Set(vcam::PROPSETID_IIDC_CAMERA, vcam::IIDC_PROPERTY_WRITE_QUADLET, block, sizeof(block), block,
                     sizeof(block));
}

HRESULT RequestArea(IKsPropertySet* pProps, LONG nLeft, LONG nTop, LONG nWidth, LONG nHeight) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  const LONG fields[] = {nLeft, nTop, nWidth, nHeight, 1};
  std::memcpy(block + 24, fields, sizeof(fields));
  return pProps->Set(vcam::PROPSETID_IIDC_CAMERA, vcam::IIDC_PROPERTY_AREA, block, sizeof(block), block,
                     sizeof(block));
}

STDMETHODIMP CFrameRecorder::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (riid == IID_IUnknown || riid == IID_ISampleGrabberCB) {
    *ppv = static_cast<ISampleGrabberCB*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CFrameRecorder::BufferCB(double /*SampleTime*/, BYTE* pBuffer, LONG BufferLen) {
  std::lock_guard lock(m_mutex);
  m_sequences.push_back(vcam::SampleSequence(pBuffer, static_cast<std::size_t>(BufferLen), m_shape, false));
  m_lengths.push_back(BufferLen);
  m_cv.notify_all();
  return S_OK;
}

bool CFrameRecorder::WaitForFrames(std::size_t nFrames) {
  std::unique_lock lock(m_mutex);
  return m_cv.wait_for(lock, WAIT_LIMIT, [&] { return m_lengths.size() >= nFrames; });
}

std::vector<std::uint32_t> CFrameRecorder::Sequences() {
  std::lock_guard lock(m_mutex);
  return m_sequences;
}

std::vector<LONG> CFrameRecorder::Lengths() {
  std::lock_guard lock(m_mutex);
  return m_lengths;
}

}  // namespace vcam_test
