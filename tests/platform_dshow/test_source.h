// A small source filter built on the filter base, for the DirectShow tests:
// a "Capture" output pin (PIN_CATEGORY_CAPTURE) that sends numbered frames
// from the filter's own streaming thread, and a "Preview" pin
// (PIN_CATEGORY_PREVIEW) that sends nothing.
//
// Frames go out only when asked: Push(n) queues n frames, or SetFreeRunning
// sends without end. Each frame is FRAME_BYTES long and starts with its
// 32-bit sequence number (0, 1, 2, ... since the filter was created); the
// sample's start time is the sequence number in seconds.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "winapi.h"
#include "base/filter_base.h"
#include "base/output_pin.h"

inline constexpr CLSID CLSID_TestSource{0x8a3c52e0, 0x61d4, 0x4f0b, {0xa7, 0x2e, 0x19, 0xc4, 0x5b, 0x80, 0x3d, 0x6f}};

inline constexpr LONG FRAME_WIDTH = 64;
inline constexpr LONG FRAME_HEIGHT = 48;
inline constexpr LONG FRAME_BYTES = FRAME_WIDTH * FRAME_HEIGHT * 2;

class CTestSource;

class CTestSourcePin final : public COutputPinBase, public IKsPropertySet {
 public:
  CTestSourcePin(CTestSource* pSource, LPCWSTR pszName, const GUID& category);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return COutputPinBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return COutputPinBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return COutputPinBase::Release(); }
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IKsPropertySet: the pin category (AMPROPSETID_Pin) only.
  STDMETHODIMP Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData, LPVOID pPropData,
                   DWORD cbPropData) override;
  STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData, LPVOID pPropData,
                   DWORD cbPropData, DWORD* pcbReturned) override;
  STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

  // Offers UYVY first, then RGB24 (same frame size for the tests' purposes).
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
  HRESULT GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt) override;

 private:
  const GUID m_category;
};

class CTestSource final : public CFilterBase {
 public:
  CTestSource();
  ~CTestSource() override;

  int GetPinCount() override { return 2; }
  CPinBase* GetPin(int n) override;
  CTestSourcePin* CapturePin() const { return m_pCapture.get(); }

  // Test controls, from the test's thread.
  void Push(int nFrames);
  void SetFreeRunning(bool bFreeRunning);
  // Waits (bounded) until at least nFrames frames have gone out since the
  // filter was created; false on time-out.
  bool WaitDelivered(uint32_t nFrames);
  uint32_t Delivered();
  // The last Deliver result other than S_OK, or S_OK.
  HRESULT LastRefusal();
  std::thread::id StreamingThreadId();
  // The next start of streaming fails with hr (S_OK: succeeds again).
  void FailNextStart(HRESULT hr);

 protected:
  HRESULT OnStartStreaming() override;
  HRESULT OnStopStreaming() override;

 private:
  void StreamingThread();

  std::unique_ptr<CTestSourcePin> m_pCapture;
  std::unique_ptr<CTestSourcePin> m_pPreview;

  // Shared with the streaming thread.
  std::mutex m_mx;
  std::condition_variable m_cv;
  int m_nPending = 0;
  bool m_bFreeRunning = false;
  bool m_bQuit = false;
  uint32_t m_nDelivered = 0;
  uint32_t m_nNextSequence = 0;
  HRESULT m_hrLastRefusal = S_OK;
  std::thread::id m_streamingThreadId;
  HRESULT m_hrFailStart = S_OK;

  std::thread m_thread;  // application threads, under the filter's state lock
};

// A new test source with one reference, as an IBaseFilter.
ComPtr<IBaseFilter> CreateTestSource(CTestSource** ppSource = nullptr);
