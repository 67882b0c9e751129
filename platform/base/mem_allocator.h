// The memory allocator (CLSID_MemoryAllocator) and its media samples: a
// fixed pool of buffers handed out by GetBuffer and returned when the last
// reference to a sample goes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "winapi.h"
#include "base/unknown.h"

class CMemAllocator;

// Like CComBase (unknown.h): the Windows headers give interfaces a public
// non-virtual destructor, but pins and samples are never deleted through one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// One buffer of the pool. It lives inside its allocator: when its count
// drops to 0 it goes back to the free list instead of being deleted, and
// every sample handed out holds a reference to the allocator (taken by
// GetBuffer, dropped by ReleaseBuffer), so the allocator outlives its samples.
// A sample is used by one thread at a time: whoever holds it.
class CMediaSample final : public IMediaSample {
 public:
  CMediaSample(CMemAllocator* pAllocator, BYTE* pBuffer, LONG cbBuffer);
  ~CMediaSample();
  CMediaSample(const CMediaSample&) = delete;
  CMediaSample& operator=(const CMediaSample&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetPointer(BYTE** ppBuffer) override;
  STDMETHODIMP_(LONG) GetSize() override;
  STDMETHODIMP GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
  STDMETHODIMP SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
  STDMETHODIMP IsSyncPoint() override;
  STDMETHODIMP SetSyncPoint(BOOL bIsSyncPoint) override;
  STDMETHODIMP IsPreroll() override;
  STDMETHODIMP SetPreroll(BOOL bIsPreroll) override;
  STDMETHODIMP_(LONG) GetActualDataLength() override;
  STDMETHODIMP SetActualDataLength(LONG lLen) override;
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
  STDMETHODIMP IsDiscontinuity() override;
  STDMETHODIMP SetDiscontinuity(BOOL bDiscontinuity) override;
  STDMETHODIMP GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
  STDMETHODIMP SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

 private:
  friend class CMemAllocator;
  // Back to the state of a fresh buffer; the allocator calls it on return.
  void ResetProperties();

  CMemAllocator* const m_pAllocator;  // uncounted: the sample lives inside it
  BYTE* const m_pBuffer;
  const LONG m_cbBuffer;
  std::atomic<LONG> m_cRef{0};
  LONG m_lActual = 0;
  REFERENCE_TIME m_tStart = 0;
  REFERENCE_TIME m_tStop = 0;
  LONGLONG m_tMediaStart = 0;
  LONGLONG m_tMediaStop = 0;
  bool m_bStartValid = false;
  bool m_bStopValid = false;
  bool m_bMediaTimeValid = false;
  bool m_bSyncPoint = false;
  bool m_bPreroll = false;
  bool m_bDiscontinuity = false;
  AM_MEDIA_TYPE* m_pMediaType = nullptr;  // owned; set only on a type change
};
#pragma GCC diagnostic pop

class CMemAllocator final : public CComBase<IMemAllocator> {
 public:
  CMemAllocator();
  ~CMemAllocator() override;

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
  STDMETHODIMP Commit() override;
  STDMETHODIMP Decommit() override;
  STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                         DWORD dwFlags) override;
  STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override;

 private:
  void FreeBuffersLocked();

  // Guards everything below; GetBuffer waits on m_cvFree for a buffer or for
  // Decommit. Any thread.
  std::mutex m_mx;
  std::condition_variable m_cvFree;
  ALLOCATOR_PROPERTIES m_props{};
  bool m_bPropertiesSet = false;
  bool m_bCommitted = false;
  std::unique_ptr<BYTE[]> m_pMemory;
  std::vector<std::unique_ptr<CMediaSample>> m_samples;
  std::vector<CMediaSample*> m_free;
  LONG m_nOutstanding = 0;
};

// A new memory allocator with one reference, as CoCreateInstance of
// CLSID_MemoryAllocator gives it; pins use this so that connecting makes no
// COM runtime call of its own.
HRESULT CreateMemoryAllocator(IMemAllocator** ppAllocator);
