// The generic filter: IBaseFilter with its IMediaFilter and IPersist parts.
// The base owns the stop/pause/run transitions and calls the specific
// filter's hooks; the state changes only when every hook succeeded.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "winapi.h"
#include "base/com_ptr.h"
#include "base/unknown.h"

class CPinBase;

// A filter with more interfaces derives from them too, answers them in its
// NonDelegatingQueryInterface before calling this one's, and routes the
// extra interfaces' IUnknown methods here (QueryInterface, AddRef, Release
// overridden once in the derived class, calling CFilterBase's).
class CFilterBase : public CComBase<IBaseFilter> {
 public:
  CFilterBase(LPCSTR pName, REFCLSID clsid);
  ~CFilterBase() override;

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IPersist
  STDMETHODIMP GetClassID(CLSID* pClassID) override;
  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME tStart) override;
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* pState) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** ppClock) override;
  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
  STDMETHODIMP FindPin(LPCWSTR pszId, IPin** ppPin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pszName) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* ppVendorInfo) override;

  // The specific filter's pins, 0 .. GetPinCount() - 1; fixed for the
  // filter's lifetime.
  virtual int GetPinCount() = 0;
  virtual CPinBase* GetPin(int n) = 0;

  // Readable from any thread, the streaming thread included.
  FILTER_STATE GetFilterState() const { return m_nState.load(std::memory_order_acquire); }
  REFERENCE_TIME GetStartTime() const { return m_tStart.load(std::memory_order_acquire); }

  // Reports an event to the graph the filter has joined (IMediaEventSink);
  // E_NOTIMPL when it has joined none. Callable from the streaming thread.
  HRESULT NotifyEvent(LONG lEventCode, LONG_PTR lParam1, LONG_PTR lParam2);

 protected:
  // Hooks, called with the state lock held and the pins already told
  // (Active before OnStartStreaming, Inactive before OnStopStreaming). A
  // failing hook leaves the state as it was. The streaming thread must never
  // need the state lock: OnStopStreaming may wait for it to end.
  virtual HRESULT OnStartStreaming() { return S_OK; }  // stopped -> paused
  virtual HRESULT OnStopStreaming() { return S_OK; }   // paused/running -> stopped
  virtual HRESULT OnRun(REFERENCE_TIME /*tStart*/) { return S_OK; }  // paused -> running
  virtual HRESULT OnPauseFromRun() { return S_OK; }  // running -> paused

 private:
  HRESULT StartStreamingLocked();
  HRESULT StopStreamingLocked();

  const CLSID m_clsid;
  // Serialises state transitions; held while the hooks run. Application
  // threads only.
  std::mutex m_mxState;
  std::atomic<FILTER_STATE> m_nState{State_Stopped};
  std::atomic<REFERENCE_TIME> m_tStart{0};
  // The graph and its event sink are uncounted back-pointers: the graph holds
  // a reference to the filter and tells it (JoinFilterGraph with null) before
  // letting go, so a counted pointer back would only make a cycle.
  // Written under m_mxInfo; the streaming thread reads m_pSink through
  // NotifyEvent.
  mutable std::mutex m_mxInfo;
  IFilterGraph* m_pGraph = nullptr;
  IMediaEventSink* m_pSink = nullptr;
  std::wstring m_wszName;
  ComPtr<IReferenceClock> m_pClock;  // counted, as DirectShow filters hold their clock
};
