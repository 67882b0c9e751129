// The filter graph manager (CLSID_FilterGraph): holds the filters, connects
// their pins, moves them all through stop/pause/run, and collects the events
// they report. Its IVideoWindow passes every call to the first filter in the
// graph that has a video window, as DirectShow's graph does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "winapi.h"
#include "base/com_ptr.h"
#include "base/unknown.h"

class CFilterGraph final
    : public CComBase<IGraphBuilder, IMediaControl, IMediaEventEx, IMediaEventSink, IVideoWindow> {
 public:
  CFilterGraph();
  ~CFilterGraph() override;

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IFilterGraph
  STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
  STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override;
  STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override;
  STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
  STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP Reconnect(IPin* ppin) override;
  STDMETHODIMP Disconnect(IPin* ppin) override;
  STDMETHODIMP SetDefaultSyncSource() override;
  // IGraphBuilder
  STDMETHODIMP Connect(IPin* ppinOut, IPin* ppinIn) override;
  STDMETHODIMP Render(IPin* ppinOut) override;
  STDMETHODIMP RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;
  STDMETHODIMP AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter** ppFilter) override;
  STDMETHODIMP SetLogFile(DWORD_PTR hFile) override;
  STDMETHODIMP Abort() override;
  STDMETHODIMP ShouldOperationContinue() override;

  // IDispatch, shared by IMediaControl, IMediaEventEx and IVideoWindow (no
  // type information: scripting is not supported).
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                      VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // IMediaControl
  STDMETHODIMP Run() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP GetState(LONG msTimeout, OAFilterState* pfs) override;
  STDMETHODIMP RenderFile(BSTR strFilename) override;
  STDMETHODIMP AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) override;
  STDMETHODIMP get_FilterCollection(IDispatch** ppUnk) override;
  STDMETHODIMP get_RegFilterCollection(IDispatch** ppUnk) override;
  STDMETHODIMP StopWhenReady() override;

  // IMediaEvent, IMediaEventEx
  STDMETHODIMP GetEventHandle(OAEVENT* hEvent) override;
  STDMETHODIMP GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) override;
  STDMETHODIMP WaitForCompletion(LONG msTimeout, LONG* pEvCode) override;
  STDMETHODIMP CancelDefaultHandling(LONG lEvCode) override;
  STDMETHODIMP RestoreDefaultHandling(LONG lEvCode) override;
  STDMETHODIMP FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;
  STDMETHODIMP SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) override;
  STDMETHODIMP SetNotifyFlags(LONG lNoNotifyFlags) override;
  STDMETHODIMP GetNotifyFlags(LONG* lplNoNotifyFlags) override;

  // IMediaEventSink: filters report here, from any thread.
  STDMETHODIMP Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

  // IVideoWindow, passed to the graph's video renderer.
  STDMETHODIMP put_Caption(BSTR strCaption) override;
  STDMETHODIMP get_Caption(BSTR* strCaption) override;
  STDMETHODIMP put_WindowStyle(LONG WindowStyle) override;
  STDMETHODIMP get_WindowStyle(LONG* WindowStyle) override;
  STDMETHODIMP put_WindowStyleEx(LONG WindowStyleEx) override;
  STDMETHODIMP get_WindowStyleEx(LONG* WindowStyleEx) override;
  STDMETHODIMP put_AutoShow(LONG AutoShow) override;
  STDMETHODIMP get_AutoShow(LONG* AutoShow) override;
  STDMETHODIMP put_WindowState(LONG WindowState) override;
  STDMETHODIMP get_WindowState(LONG* WindowState) override;
  STDMETHODIMP put_BackgroundPalette(LONG BackgroundPalette) override;
  STDMETHODIMP get_BackgroundPalette(LONG* pBackgroundPalette) override;
  STDMETHODIMP put_Visible(LONG Visible) override;
  STDMETHODIMP get_Visible(LONG* pVisible) override;
  STDMETHODIMP put_Left(LONG Left) override;
  STDMETHODIMP get_Left(LONG* pLeft) override;
  STDMETHODIMP put_Width(LONG Width) override;
  STDMETHODIMP get_Width(LONG* pWidth) override;
  STDMETHODIMP put_Top(LONG Top) override;
  STDMETHODIMP get_Top(LONG* pTop) override;
  STDMETHODIMP put_Height(LONG Height) override;
  STDMETHODIMP get_Height(LONG* pHeight) override;
  STDMETHODIMP put_Owner(OAHWND Owner) override;
  STDMETHODIMP get_Owner(OAHWND* Owner) override;
  STDMETHODIMP put_MessageDrain(OAHWND Drain) override;
  STDMETHODIMP get_MessageDrain(OAHWND* Drain) override;
  STDMETHODIMP get_BorderColor(LONG* Color) override;
  STDMETHODIMP put_BorderColor(LONG Color) override;
  STDMETHODIMP get_FullScreenMode(LONG* FullScreenMode) override;
  STDMETHODIMP put_FullScreenMode(LONG FullScreenMode) override;
  STDMETHODIMP SetWindowForeground(LONG Focus) override;
  STDMETHODIMP NotifyOwnerMessage(OAHWND hwnd, LONG uMsg, LONG_PTR wParam, LONG_PTR lParam) override;
  STDMETHODIMP SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) override;
  STDMETHODIMP GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) override;
  STDMETHODIMP GetMinIdealImageSize(LONG* pWidth, LONG* pHeight) override;
  STDMETHODIMP GetMaxIdealImageSize(LONG* pWidth, LONG* pHeight) override;
  STDMETHODIMP GetRestorePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) override;
  STDMETHODIMP HideCursor(LONG HideCursor) override;
  STDMETHODIMP IsCursorHidden(LONG* CursorHidden) override;

 private:
  struct CFilterEntry {
    ComPtr<IBaseFilter> pFilter;  // the graph's reference
    std::wstring wszName;
  };
  struct CEvent {
    LONG lCode;
    LONG_PTR lParam1;
    LONG_PTR lParam2;
  };

  // Under m_mxGraph.
  HRESULT AddFilterLocked(IBaseFilter* pFilter, LPCWSTR pName);
  HRESULT RemoveFilterLocked(IBaseFilter* pFilter);
  HRESULT ConnectDirectLocked(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt);
  bool ContainsLocked(IBaseFilter* pFilter) const;
  bool PinInGraphLocked(IPin* pPin) const;
  std::vector<IBaseFilter*> DownstreamFirstLocked() const;
  HRESULT PauseLocked();
  HRESULT RunLocked();
  void StopLocked();
  // A new run begins: completion is counted afresh over the renderers now
  // connected in the graph.
  void StartCompletionLocked();

  // Events, under m_mxEvents.
  void QueueEventLocked(LONG lCode, LONG_PTR lParam1, LONG_PTR lParam2);

  // The video window of the graph's renderer, or E_NOINTERFACE.
  template <class F>
  HRESULT ForwardToVideoWindow(const char* pszOperation, F&& f);

  // Application threads: the filter list and state changes. Filters' state
  // hooks run under it, but the streaming threads never take it (they only
  // Notify, which takes m_mxEvents).
  std::mutex m_mxGraph;
  std::vector<CFilterEntry> m_filters;
  std::atomic<FILTER_STATE> m_nState{State_Stopped};

  // Any thread: the event queue and the completion of the current run.
  std::mutex m_mxEvents;
  std::condition_variable m_cvEvents;
  std::deque<CEvent> m_events;
  HANDLE m_hEvent = nullptr;  // manual-reset, signalled while m_events is not empty
  size_t m_nRenderers = 0;
  std::set<LONG_PTR> m_completedRenderers;  // identities only, never dereferenced
  bool m_bCompleted = false;
  LONG m_lCompletionCode = 0;
  bool m_bDefaultCompleteHandling = true;
  LONG m_lNotifyFlags = 0;
};
