// The DirectShow suite's common ground: a fixture with COM initialised, no
// faults and the built-in virtual camera pair on stepped clocks, whose
// capture filter is the source of every graph here; object creation, pin
// lookup and reference counts; register requests as a library sends them;
// and a Sample Grabber callback that records what it is given.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/com_ptr.h"
#include "base/unknown.h"
#include "emul/fault.h"
#include "tests/support/emul_env.h"
#include "vcam/filter/capture_filter.h"
#include "vcam/filter/property_set.h"
#include "vcam/filter/test_support.h"

constexpr std::size_t COLOR_CAMERA = 0;  // Format 0 mode 3 (640 x 480 UYVY) at 30 fps at power-up
constexpr std::size_t MONO_CAMERA = 1;
constexpr LONG COLOR_FRAME_BYTES = 640 * 480 * 2;
constexpr auto WAIT_LIMIT = std::chrono::seconds(10);

class CDshowTest : public CEmulTest {
 protected:
  void SetUp() override {
    CEmulTest::SetUp();
    m_clocks = vcam::InstallSteppedCameraSet();
  }
  void TearDown() override {
    m_clocks.clear();
    vcam::ResetActiveCameraSet();
    CEmulTest::TearDown();
  }

  // A new capture filter of camera n, with one reference.
  static ComPtr<IBaseFilter> CameraFilter(std::size_t nCamera) {
    ComPtr<IBaseFilter> pFilter;
    EXPECT_EQ(vcam::CVcamFilter::Create(vcam::GetCameraModel(nCamera), vcam::GetDriverLog(nCamera), &pFilter), S_OK);
    return pFilter;
  }

  CComApartment m_apartment;
  std::vector<std::shared_ptr<vcam::CSteppedClock>> m_clocks;
};

template <class T>
ComPtr<T> Create(REFCLSID clsid, REFIID iid) {
  ComPtr<T> p;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, p.ReleaseAndGetVoidAddressOf()), S_OK);
  return p;
}

template <class T>
ComPtr<T> Query(IUnknown* pUnk, REFIID iid) {
  ComPtr<T> p;
  EXPECT_EQ(pUnk->QueryInterface(iid, p.ReleaseAndGetVoidAddressOf()), S_OK);
  return p;
}

// The n-th pin of the filter in the given direction.
inline ComPtr<IPin> PinOf(IBaseFilter* pFilter, PIN_DIRECTION dir, int n = 0) {
  ComPtr<IEnumPins> pEnum;
  EXPECT_EQ(pFilter->EnumPins(pEnum.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IPin> pPin;
  while (pEnum->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION pinDir;
    pPin->QueryDirection(&pinDir);
    if (pinDir == dir && n-- == 0) return pPin;
  }
  return ComPtr<IPin>();
}

// The current reference count, read through AddRef and Release.
inline ULONG RefCount(IUnknown* pUnk) {
  pUnk->AddRef();
  return pUnk->Release();
}

inline ComPtr<IPin> PeerOf(IPin* pPin) {
  ComPtr<IPin> pPeer;
  pPin->ConnectedTo(pPeer.ReleaseAndGetAddressOf());
  return pPeer;
}

// Register requests as a library sends them: one 64-byte block, read by Set
// then Get with the read property, written by Set with the write property.
inline HRESULT ReadRegister(IKsPropertySet* pProps, std::uint32_t dwOffset, std::uint32_t* pdwValue) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  vcam::StoreQuadlet(block, vcam::REGISTER_OFFSET_AT, dwOffset);
  const GUID& set = vcam::PROPSETID_IIDC_CAMERA;
  HRESULT hr = pProps->Set(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, sizeof block, block, sizeof block);
  DWORD cbReturned = 0;
  if (SUCCEEDED(hr)) {
    hr = pProps->Get(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, sizeof block, block, sizeof block, &cbReturned);
  }
  if (SUCCEEDED(hr)) *pdwValue = vcam::LoadQuadlet(block, vcam::REGISTER_VALUE_AT);
  return hr;
}

inline HRESULT WriteRegister(IKsPropertySet* pProps, std::uint32_t dwOffset, std::uint32_t dwValue) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  vcam::StoreQuadlet(block, vcam::REGISTER_OFFSET_AT, dwOffset);
  vcam::StoreQuadlet(block, vcam::REGISTER_VALUE_AT, dwValue);
  return pProps->Set(vcam::PROPSETID_IIDC_CAMERA, vcam::IIDC_PROPERTY_WRITE_QUADLET, block, sizeof block, block,
                     sizeof block);
}

inline HRESULT RequestArea(IKsPropertySet* pProps, LONG nLeft, LONG nTop, LONG nWidth, LONG nHeight) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  const LONG fields[] = {nLeft, nTop, nWidth, nHeight, 1};
  std::memcpy(block + 24, fields, sizeof fields);
  return pProps->Set(vcam::PROPSETID_IIDC_CAMERA, vcam::IIDC_PROPERTY_AREA, block, sizeof block, block, sizeof block);
}

// The shape of the frames camera n sends now.
inline vcam::VideoShape ShapeOf(std::size_t nCamera) {
  const vcam::StreamInfo stream = vcam::GetCameraModel(nCamera)->GetStream();
  return vcam::VideoShape{stream.nColor, stream.nWidth, stream.nHeight, stream.llInterval};
}

// A Sample Grabber callback that records each frame it is given, of the
// colour camera's format when it was made.
class CFrameRecorder final : public CComBase<ISampleGrabberCB> {
 public:
  struct CFrame {
    uint32_t nSequence;
    LONG cbData;
    bool bSample;  // through SampleCB rather than BufferCB
    std::thread::id thread;
  };

  CFrameRecorder() : CComBase("CFrameRecorder"), m_shape(ShapeOf(COLOR_CAMERA)) {}

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_ISampleGrabberCB) return GetInterface(static_cast<ISampleGrabberCB*>(this), ppv);
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP SampleCB(double, IMediaSample* pSample) override {
    BYTE* pData = nullptr;
    pSample->GetPointer(&pData);
    Record(pData, pSample->GetActualDataLength(), true);
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE* pBuffer, LONG cbBuffer) override {
    Record(pBuffer, cbBuffer, false);
    return S_OK;
  }

  bool WaitFrames(size_t nFrames) {
    std::unique_lock lock(m_mx);
    return m_cv.wait_for(lock, WAIT_LIMIT, [&] { return m_frames.size() >= nFrames; });
  }
  std::vector<CFrame> Frames() {
    std::lock_guard lock(m_mx);
    return m_frames;
  }
  std::vector<uint32_t> Sequence() {
    std::vector<uint32_t> sequence;
    for (const CFrame& frame : Frames()) sequence.push_back(frame.nSequence);
    return sequence;
  }
  // While held, the callback waits on the streaming thread before it
  // records: a sample stays in the grabber's hands.
  void Hold(bool bHold) {
    std::lock_guard lock(m_mx);
    m_bHold = bHold;
    m_cv.notify_all();
  }

 private:
  void Record(const BYTE* pData, LONG cbData, bool bSample) {
    const uint32_t nSequence = pData != nullptr && cbData > 0
                                   ? vcam::SampleSequence(pData, static_cast<size_t>(cbData), m_shape, false)
                                   : 0xFFFFFFFF;
    std::unique_lock lock(m_mx);
    m_frames.push_back({nSequence, cbData, bSample, std::this_thread::get_id()});
    m_cv.notify_all();
    m_cv.wait(lock, [&] { return !m_bHold; });
  }

  const vcam::VideoShape m_shape;
  std::mutex m_mx;
  std::condition_variable m_cv;
  std::vector<CFrame> m_frames;
  bool m_bHold = false;
};
