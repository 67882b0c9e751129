// What the emulated renderers share: one input pin, samples handed to the
// renderer on the streaming thread, and end of stream reported to the graph
// as EC_COMPLETE once the renderer runs (DirectShow renderers hold it back
// while paused).
#pragma once

#include <memory>
#include <mutex>

#include "winapi.h"
#include "base/filter_base.h"
#include "base/input_pin.h"

class CRendererBase;

class CRendererInputPin final : public CInputPinBase {
 public:
  explicit CRendererInputPin(CRendererBase* pRenderer);

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;

 protected:
  HRESULT OnReceive(IMediaSample* pSample) override;
  HRESULT OnEndOfStream() override;
  HRESULT CompleteConnect(IPin* pReceivePin) override;

 private:
  CRendererBase* const m_pRenderer;  // uncounted: the pin lives inside it
};

class CRendererBase : public CFilterBase, public IAMFilterMiscFlags {
 public:
  CRendererBase(LPCSTR pName, REFCLSID clsid);
  ~CRendererBase() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CFilterBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CFilterBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CFilterBase::Release(); }
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IAMFilterMiscFlags: the graph counts renderers by it.
  STDMETHODIMP_(ULONG) GetMiscFlags() override;

  int GetPinCount() override { return 1; }
  CPinBase* GetPin(int n) override;

  // Hooks of the specific renderer.
  virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) = 0;
  // Streaming thread; called for samples that arrive while paused or running.
  virtual HRESULT RenderSample(IMediaSample* pSample) = 0;
  // Application thread, filter stopped: the connection's type is agreed. A
  // failure refuses the connection.
  virtual HRESULT OnConnected(const AM_MEDIA_TYPE& /*mt*/) { return S_OK; }

  // Streaming thread.
  HRESULT EndOfStreamReceived();

 protected:
  HRESULT OnStartStreaming() override;
  HRESULT OnRun(REFERENCE_TIME tStart) override;

 private:
  void SendCompleteLocked();

  std::unique_ptr<CRendererInputPin> m_pInputPin;
  // End of stream as seen by the streaming thread and the Run transition.
  std::mutex m_mxEndOfStream;
  bool m_bEndOfStream = false;
  bool m_bCompleteSent = false;
};
