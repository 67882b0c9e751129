// The input-pin base: IPin plus IMemInputPin. Receive runs on the upstream
// filter's streaming thread; the base checks the filter's state, flushing and
// end of stream, then hands the sample to the specific pin's OnReceive.
#pragma once

#include <atomic>
#include <mutex>

#include "winapi.h"
#include "base/com_ptr.h"
#include "base/pin_base.h"

// Like CComBase (unknown.h): the Windows headers give interfaces a public
// non-virtual destructor, but pins and samples are never deleted through one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CInputPinBase : public CPinBase, public IMemInputPin {
 public:
  CInputPinBase(CFilterBase* pFilter, LPCWSTR pszName);

  // IUnknown, shared by IPin and IMemInputPin.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CPinBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CPinBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CPinBase::Release(); }
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IPin streaming notifications (upstream filter's streaming thread).
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

  // IMemInputPin
  STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
  STDMETHODIMP Receive(IMediaSample* pSample) override;
  STDMETHODIMP ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) override;
  STDMETHODIMP ReceiveCanBlock() override;

  // The allocator agreed at connection time (not AddRef'd); null before.
  IMemAllocator* GetConnectedAllocator() const { return m_pAllocator.Get(); }
  bool IsFlushing() const { return m_bFlushing.load(std::memory_order_acquire); }

 protected:
  // Hooks of the specific pin, on the streaming thread. OnReceive gets only
  // samples that arrive while the filter is paused or running, not flushing
  // and before end of stream; S_FALSE tells upstream to stop sending.
  virtual HRESULT OnReceive(IMediaSample* pSample) = 0;
  virtual HRESULT OnEndOfStream() { return S_OK; }
  virtual HRESULT OnBeginFlush() { return S_OK; }
  virtual HRESULT OnEndFlush() { return S_OK; }

  HRESULT Active() override;
  HRESULT Inactive() override;
  void BreakConnect() override;

 private:
  HRESULT CheckStreaming() const;

  // Set at connection time on an application thread (filter stopped).
  ComPtr<IMemAllocator> m_pAllocator;
  BOOL m_bReadOnly = FALSE;
  // Held by the streaming thread for the whole of Receive and EndOfStream,
  // and taken by Inactive to wait for them when the filter stops.
  std::mutex m_mxReceive;
  // Shared with the streaming thread.
  std::atomic<bool> m_bFlushing{false};
  std::atomic<bool> m_bAtEndOfStream{false};
};
#pragma GCC diagnostic pop
