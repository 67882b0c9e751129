// The Sample Grabber (CLSID_SampleGrabber): a pass-through filter with one
// input and one output pin that shows every sample to an application
// callback (ISampleGrabberCB) and optionally keeps a copy of the last one.
// Samples go on downstream unchanged, in the same buffer. In one-shot mode
// the first sample after the graph starts is the only one: the grabber then
// refuses more (Receive answers S_FALSE, so the source stops sending) and
// sends end of stream downstream, so the graph reports EC_COMPLETE.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "winapi.h"
#include "base/com_ptr.h"
#include "base/filter_base.h"
#include "base/input_pin.h"
#include "base/media_type.h"
#include "base/output_pin.h"

class CSampleGrabber;

class CGrabberInputPin final : public CInputPinBase {
 public:
  explicit CGrabberInputPin(CSampleGrabber* pGrabber);

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

 protected:
  HRESULT OnReceive(IMediaSample* pSample) override;
  HRESULT OnEndOfStream() override;
  HRESULT OnBeginFlush() override;
  HRESULT OnEndFlush() override;

 private:
  CSampleGrabber* const m_pGrabber;  // uncounted: the pin lives inside it
};

class CGrabberOutputPin final : public COutputPinBase {
 public:
  explicit CGrabberOutputPin(CSampleGrabber* pGrabber);

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
  HRESULT GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt) override;

 protected:
  HRESULT CheckConnect(IPin* pPin) override;
  // In place: downstream is told the upstream allocator, whose samples it
  // will get; the grabber needs no buffers of its own.
  HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAllocator) override;

 private:
  CSampleGrabber* const m_pGrabber;  // uncounted: the pin lives inside it
};

class CSampleGrabber final : public CFilterBase, public ISampleGrabber {
 public:
  CSampleGrabber();
  ~CSampleGrabber() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CFilterBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CFilterBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CFilterBase::Release(); }
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ISampleGrabber
  STDMETHODIMP SetOneShot(BOOL OneShot) override;
  STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE* pType) override;
  STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* pType) override;
  STDMETHODIMP SetBufferSamples(BOOL BufferThem) override;
  STDMETHODIMP GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) override;
  STDMETHODIMP GetCurrentSample(IMediaSample** ppSample) override;
  STDMETHODIMP SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback) override;

  int GetPinCount() override { return 2; }
  CPinBase* GetPin(int n) override;

  // For the pins.
  HRESULT CheckInputType(const AM_MEDIA_TYPE* pmt) const;
  HRESULT ReceiveSample(IMediaSample* pSample);  // streaming thread
  CGrabberInputPin* InputPin() const { return m_pInput.get(); }
  CGrabberOutputPin* OutputPin() const { return m_pOutput.get(); }

 protected:
  HRESULT OnStartStreaming() override;

 private:
  void Callback(IMediaSample* pSample, BYTE* pData, LONG cbData);

  std::unique_ptr<CGrabberInputPin> m_pInput;
  std::unique_ptr<CGrabberOutputPin> m_pOutput;
  CMediaType m_mtAccept;  // application thread, while stopped (connection time)
  std::atomic<bool> m_bOneShot{false};
  std::atomic<bool> m_bOneShotDone{false};  // streaming thread sets, start of streaming clears
  std::atomic<bool> m_bBufferSamples{false};
  // The callback, replaced by application threads while the streaming thread
  // may be calling it: the streaming thread takes a reference under the lock
  // and calls outside it.
  std::mutex m_mxCallback;
  ComPtr<ISampleGrabberCB> m_pCallback;
  LONG m_nCallbackMethod = 0;
  std::mutex m_mxBuffer;
  std::vector<BYTE> m_buffer;  // the last sample, when buffering
  bool m_bHaveBuffer = false;
};
