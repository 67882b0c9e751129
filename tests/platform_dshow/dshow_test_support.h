// Shared pieces of the DirectShow tests: the fixture, object creation, pin
// lookup, reference counts, and a Sample Grabber callback that records what
// it is given.
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
#include "emul/dshow/x11_window.h"
#include "test_source.h"
#include "tests/support/emul_env.h"
#include "winapi.h"

// Every test starts with COM initialised and no faults, and must leave no
// COM object alive (checked by CEmulTest).
class CDshowTest : public CEmulTest {
 protected:
  CComApartment m_apartment;
};

// True when the video renderer can open an X display, which IGraphBuilder::
// Render needs. The probe's connection stays open for the whole program: an
// X server whose last client leaves resets itself and refuses connections
// meanwhile.
inline bool HaveDisplay() {
  static const std::unique_ptr<emul::CX11VideoWindow> s_pProbe = emul::CX11VideoWindow::Create();
  return s_pProbe != nullptr;
}

constexpr const char* NO_DISPLAY = "no X display for the video renderer";

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
    if (pinDir == dir && n-- == 0) {
      return pPin;
    }
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

// A Sample Grabber callback that records each frame it is given.
class CFrameRecorder final : public CComBase<ISampleGrabberCB> {
 public:
  struct CFrame {
    uint32_t nSequence;  // the frame's first four bytes, or 0xFFFFFFFF
    double dTime;
    LONG cbData;
    bool bSample;  // through SampleCB rather than BufferCB
    std::thread::id thread;
  };

  CFrameRecorder() : CComBase("CFrameRecorder") {}

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_ISampleGrabberCB) {
      return GetInterface(static_cast<ISampleGrabberCB*>(this), ppv);
    }
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }

  STDMETHODIMP SampleCB(double dTime, IMediaSample* pSample) override {
    BYTE* pData = nullptr;
    pSample->GetPointer(&pData);
    Record(dTime, pData, pSample->GetActualDataLength(), true);
    return S_OK;
  }

  STDMETHODIMP BufferCB(double dTime, BYTE* pBuffer, LONG cbBuffer) override {
    Record(dTime, pBuffer, cbBuffer, false);
    return S_OK;
  }

  bool WaitFrames(size_t nFrames) {
    std::unique_lock lock(m_mx);
    return m_cv.wait_for(lock, std::chrono::seconds(20), [&] { return m_frames.size() >= nFrames; });
  }

  std::vector<CFrame> Frames() {
    std::lock_guard lock(m_mx);
    return m_frames;
  }

  // While held, the callback waits on the streaming thread before it
  // records: a sample stays in the grabber's hands.
  void Hold(bool bHold) {
    std::lock_guard lock(m_mx);
    m_bHold = bHold;
    m_cv.notify_all();
  }

  std::vector<uint32_t> Sequence() {
    std::vector<uint32_t> sequence;
    for (const CFrame& frame : Frames()) {
      sequence.push_back(frame.nSequence);
    }
    return sequence;
  }

 private:
  void Record(double dTime, const BYTE* pData, LONG cbData, bool bSample) {
    uint32_t nSequence = 0xFFFFFFFF;
    if (pData != nullptr && cbData >= 4) {
      std::memcpy(&nSequence, pData, sizeof(nSequence));
    }
    std::unique_lock lock(m_mx);
    m_frames.push_back({nSequence, dTime, cbData, bSample, std::this_thread::get_id()});
    m_cv.notify_all();
    m_cv.wait(lock, [&] { return !m_bHold; });
  }

  std::mutex m_mx;
  std::condition_variable m_cv;
  std::vector<CFrame> m_frames;
  bool m_bHold = false;
};

inline ComPtr<CFrameRecorder> CreateRecorder() { return ComPtr<CFrameRecorder>(new CFrameRecorder()); }
