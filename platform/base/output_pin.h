// The output-pin base: agrees an allocator with the downstream IMemInputPin at
// connection time and delivers samples on the filter's streaming thread. A
// source filter fills and sends one frame with DeliverBuffer; filters that
// fill samples in place use GetDeliveryBuffer and Deliver.
#pragma once

#include "winapi.h"
#include "base/com_ptr.h"
#include "base/pin_base.h"

class COutputPinBase : public CPinBase {
 public:
  COutputPinBase(CFilterBase* pFilter, LPCWSTR pszName);

  // Streaming thread. Each returns VFW_E_NOT_CONNECTED when nothing is
  // connected downstream.
  // Copies cbData bytes into a fresh sample stamped with the given times
  // (both null: no time) and sends it downstream; data larger than the
  // agreed buffer size is refused with VFW_E_BUFFER_OVERFLOW. Returns the
  // downstream Receive result (S_FALSE: downstream wants no more samples).
  HRESULT DeliverBuffer(const BYTE* pData, LONG cbData, const REFERENCE_TIME* ptStart, const REFERENCE_TIME* ptStop);
  // Blocks until a buffer is free (or the allocator is decommitted by Stop,
  // which returns VFW_E_NOT_COMMITTED).
  HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* ptStart, REFERENCE_TIME* ptStop, DWORD dwFlags);
  HRESULT Deliver(IMediaSample* pSample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

  IMemAllocator* GetAllocatorInUse() const { return m_pAllocator.Get(); }  // not AddRef'd

 protected:
  // Buffer sizes asked of the allocator; the default takes the connection's
  // sample size (at least one byte), at least two buffers and whatever the
  // downstream pin asked for.
  virtual HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pRequest);
  // Agrees the allocator with the downstream pin: its own if it offers one,
  // else a new memory allocator; either is told with NotifyAllocator.
  virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAllocator);

  HRESULT CheckConnect(IPin* pPin) override;
  HRESULT CompleteConnect(IPin* pReceivePin) override;
  void BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

 private:
  HRESULT InitAllocator(IMemInputPin* pPin, IMemAllocator* pAllocator, const ALLOCATOR_PROPERTIES& requirements);

  // Set at connection time on an application thread (filter stopped), used
  // by the streaming thread.
  ComPtr<IMemInputPin> m_pInputPin;
  ComPtr<IMemAllocator> m_pAllocator;
};
