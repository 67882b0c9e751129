#include "tests/vcam_filter/vcam_test.h"

#include <cstring>

namespace vcam_test {

ComPtr<IPin> CVcamTest::OutputPin(IBaseFilter* pFilter) {
  ComPtr<IPin> pPin;
  ComPtr<IEnumPins> pEnum;
  if (SUCCEEDED(pFilter->EnumPins(&pEnum))) {
    pEnum->Next(1, &pPin, nullptr);
  }
  return pPin;
}

ComPtr<IAMStreamConfig> CVcamTest::StreamConfig(IBaseFilter* pFilter) {
  ComPtr<IAMStreamConfig> pConfig;
  ComPtr<IPin> pPin = OutputPin(pFilter);
  if (pPin) {
    pPin->QueryInterface(IID_IAMStreamConfig, pConfig.ReleaseAndGetVoidAddressOf());
  }
  return pConfig;
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
  m_sequences.push_back(
      vcam::SampleSequence(pBuffer, static_cast<std::size_t>(BufferLen), m_shape, m_bFlip));
  m_lengths.push_back(BufferLen);
  m_last.assign(pBuffer, pBuffer + BufferLen);
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

std::vector<BYTE> CFrameRecorder::LastFrame() {
  std::lock_guard lock(m_mutex);
  return m_last;
}

}  // namespace vcam_test
