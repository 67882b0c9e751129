#include "emul/dshow/filter_graph.h"

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <new>
#include <string>

#include "base/operation_fault.h"
#include "emul/class_registry.h"
#include "emul/dshow/pin_walk.h"

namespace {

const bool g_bRegistered = emul::RegisterClass(CLSID_FilterGraph, &CreateComInstance<CFilterGraph>);

constexpr LONG AM_MEDIAEVENT_NONOTIFY = 0x01;

// IEnumFilters over the filters the graph held when it was asked.
class CEnumFilters final : public CComBase<IEnumFilters> {
 public:
  CEnumFilters(std::vector<ComPtr<IBaseFilter>> filters, ULONG nPosition)
      : CComBase("CEnumFilters"), m_filters(std::move(filters)), m_nPosition(nPosition) {}

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_IEnumFilters) {
      return GetInterface(static_cast<IEnumFilters*>(this), ppv);
    }
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }

  STDMETHODIMP Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) override {
    if (ppFilter == nullptr || (pcFetched == nullptr && cFilters != 1)) {
      return E_POINTER;
    }
    ULONG cFetched = 0;
    while (cFetched < cFilters && m_nPosition < m_filters.size()) {
      m_filters[m_nPosition++].CopyTo(&ppFilter[cFetched++]);
    }
    if (pcFetched != nullptr) {
      *pcFetched = cFetched;
    }
    return cFetched == cFilters ? S_OK : S_FALSE;
  }

  STDMETHODIMP Skip(ULONG cFilters) override {
    const size_t nLeft = m_filters.size() - std::min<size_t>(m_nPosition, m_filters.size());
    if (cFilters > nLeft) {
      m_nPosition = m_filters.size();
      return S_FALSE;
    }
    m_nPosition += cFilters;
    return S_OK;
  }

  STDMETHODIMP Reset() override {
    m_nPosition = 0;
    return S_OK;
  }

  STDMETHODIMP Clone(IEnumFilters** ppEnum) override {
    if (ppEnum == nullptr) {
      return E_POINTER;
    }
    *ppEnum = new (std::nothrow) CEnumFilters(m_filters, static_cast<ULONG>(m_nPosition));
    if (*ppEnum == nullptr) {
      return E_OUTOFMEMORY;
    }
    (*ppEnum)->AddRef();
    return S_OK;
  }

 private:
  std::vector<ComPtr<IBaseFilter>> m_filters;
  size_t m_nPosition;
};

// A renderer declares itself through IAMFilterMiscFlags; a filter without
// that interface counts when it has input pins and no output pins.
bool IsRenderer(IBaseFilter* pFilter) {
  ComPtr<IAMFilterMiscFlags> pFlags;
  if (SUCCEEDED(pFilter->QueryInterface(IID_IAMFilterMiscFlags, pFlags.ReleaseAndGetVoidAddressOf())) && pFlags) {
    return (pFlags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER) != 0;
  }
  bool bInput = false;
  for (const ComPtr<IPin>& pPin : emul::FilterPins(pFilter)) {
    PIN_DIRECTION dir;
    if (!emul::PinDirection(pPin.Get(), &dir)) {
      continue;
    }
    if (dir == PINDIR_OUTPUT) {
      return false;
    }
    bInput = true;
  }
  return bInput;
}

bool HasConnectedInput(IBaseFilter* pFilter) {
  for (const ComPtr<IPin>& pPin : emul::FilterPins(pFilter)) {
    PIN_DIRECTION dir;
    if (emul::PinDirection(pPin.Get(), &dir) && dir == PINDIR_INPUT && emul::ConnectedPin(pPin.Get())) {
      return true;
    }
  }
  return false;
}

// Disconnects both ends of every connection of the filter.
void DisconnectFilter(IBaseFilter* pFilter) {
  for (const ComPtr<IPin>& pPin : emul::FilterPins(pFilter)) {
    if (ComPtr<IPin> pPeer = emul::ConnectedPin(pPin.Get())) {
      pPeer->Disconnect();
      pPin->Disconnect();
    }
  }
}

// How long to wait: a negative time-out (INFINITE) waits without limit.
template <class Predicate>
bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, LONG msTimeout, Predicate pred) {
  if (msTimeout < 0) {
    cv.wait(lock, pred);
    return true;
  }
  return cv.wait_for(lock, std::chrono::milliseconds(msTimeout), pred);
}

}  // namespace

CFilterGraph::CFilterGraph() : CComBase("CFilterGraph") {}

// As DirectShow's graph does on its final release: stop, then take every
// filter out, which breaks the pin connections that would otherwise keep the
// filters alive through each other.
CFilterGraph::~CFilterGraph() {
  const COperation teardown(nullptr);
  std::lock_guard lock(m_mxGraph);
  StopLocked();
  while (!m_filters.empty()) {
    RemoveFilterLocked(m_filters.back().pFilter.Get());
  }
  if (m_hEvent != nullptr) {
    CloseHandle(m_hEvent);
  }
}

STDMETHODIMP CFilterGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr) {
    if (riid == IID_IFilterGraph || riid == IID_IGraphBuilder) {
      return GetInterface(static_cast<IGraphBuilder*>(this), ppv);
    }
    if (riid == IID_IMediaControl || riid == IID_IDispatch) {
      return GetInterface(static_cast<IMediaControl*>(this), ppv);
    }
    if (riid == IID_IMediaEvent || riid == IID_IMediaEventEx) {
      return GetInterface(static_cast<IMediaEventEx*>(this), ppv);
    }
    if (riid == IID_IMediaEventSink) {
      return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    }
    if (riid == IID_IVideoWindow) {
      return GetInterface(static_cast<IVideoWindow*>(this), ppv);
    }
  }
  return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

// ---- IFilterGraph ----

bool CFilterGraph::ContainsLocked(IBaseFilter* pFilter) const {
  return std::any_of(m_filters.begin(), m_filters.end(),
                     [&](const CFilterEntry& e) { return e.pFilter.Get() == pFilter; });
}

bool CFilterGraph::PinInGraphLocked(IPin* pPin) const {
  ComPtr<IBaseFilter> pFilter = emul::PinFilter(pPin);
  return pFilter && ContainsLocked(pFilter.Get());
}

STDMETHODIMP CFilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
  return RunOperation("IGraphBuilder::AddFilter", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    return AddFilterLocked(pFilter, pName);
  });
}

// A name already in use gets a number appended, as DirectShow does; a filter
// joins a graph once.
HRESULT CFilterGraph::AddFilterLocked(IBaseFilter* pFilter, LPCWSTR pName) {
  if (pFilter == nullptr) {
    return E_POINTER;
  }
  if (ContainsLocked(pFilter)) {
    return E_INVALIDARG;
  }
  const std::wstring wszBase = (pName != nullptr && *pName != L'\0') ? pName : L"Filter";
  std::wstring wszName = wszBase;
  for (int n = 1; std::any_of(m_filters.begin(), m_filters.end(),
                              [&](const CFilterEntry& e) { return e.wszName == wszName; });
       ++n) {
    wchar_t szSuffix[16];
    std::swprintf(szSuffix, 16, L" %04d", n);
    wszName = wszBase + szSuffix;
  }
  HRESULT hr = pFilter->JoinFilterGraph(this, wszName.c_str());
  if (FAILED(hr)) {
    return hr;
  }
  CFilterEntry entry;
  pFilter->AddRef();
  entry.pFilter.Attach(pFilter);
  entry.wszName = wszName;
  m_filters.push_back(std::move(entry));
  return S_OK;
}

STDMETHODIMP CFilterGraph::RemoveFilter(IBaseFilter* pFilter) {
  return RunOperation("IFilterGraph::RemoveFilter", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    return RemoveFilterLocked(pFilter);
  });
}

// As a DirectShow graph does: the filter is stopped if it runs, its
// connections are broken at both ends, and it leaves the graph.
HRESULT CFilterGraph::RemoveFilterLocked(IBaseFilter* pFilter) {
  if (pFilter == nullptr) {
    return E_POINTER;
  }
  auto it = std::find_if(m_filters.begin(), m_filters.end(),
                         [&](const CFilterEntry& e) { return e.pFilter.Get() == pFilter; });
  if (it == m_filters.end()) {
    return VFW_E_NOT_FOUND;
  }
  ComPtr<IBaseFilter> pHold = it->pFilter;
  m_filters.erase(it);
  FILTER_STATE state = State_Stopped;
  if (SUCCEEDED(pFilter->GetState(0, &state)) && state != State_Stopped) {
    pFilter->Stop();
  }
  DisconnectFilter(pFilter);
  pFilter->JoinFilterGraph(nullptr, nullptr);
  return S_OK;
}

STDMETHODIMP CFilterGraph::EnumFilters(IEnumFilters** ppEnum) {
  if (ppEnum == nullptr) {
    return E_POINTER;
  }
  *ppEnum = nullptr;
  return RunOperation("IFilterGraph::EnumFilters", [&]() -> HRESULT {
    std::vector<ComPtr<IBaseFilter>> filters;
    {
      std::lock_guard lock(m_mxGraph);
      for (const CFilterEntry& e : m_filters) {
        filters.push_back(e.pFilter);
      }
    }
    *ppEnum = new (std::nothrow) CEnumFilters(std::move(filters), 0);
    if (*ppEnum == nullptr) {
      return E_OUTOFMEMORY;
    }
    (*ppEnum)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP CFilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) {
  if (pName == nullptr || ppFilter == nullptr) {
    return E_POINTER;
  }
  *ppFilter = nullptr;
  return RunOperation("IFilterGraph::FindFilterByName", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    for (const CFilterEntry& e : m_filters) {
      if (e.wszName == pName) {
        return e.pFilter.CopyTo(ppFilter);
      }
    }
    return VFW_E_NOT_FOUND;
  });
}

STDMETHODIMP CFilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
  return RunOperation("IFilterGraph::ConnectDirect", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    return ConnectDirectLocked(ppinOut, ppinIn, pmt);
  });
}

HRESULT CFilterGraph::ConnectDirectLocked(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
  if (ppinOut == nullptr || ppinIn == nullptr) {
    return E_POINTER;
  }
  if (!PinInGraphLocked(ppinOut) || !PinInGraphLocked(ppinIn)) {
    return VFW_E_NOT_IN_GRAPH;
  }
  if (m_nState.load() != State_Stopped) {
    return VFW_E_NOT_STOPPED;
  }
  PIN_DIRECTION dirOut;
  PIN_DIRECTION dirIn;
  if (!emul::PinDirection(ppinOut, &dirOut) || !emul::PinDirection(ppinIn, &dirIn) || dirOut != PINDIR_OUTPUT ||
      dirIn != PINDIR_INPUT) {
    return VFW_E_INVALID_DIRECTION;
  }
  return ppinOut->Connect(ppinIn, pmt);
}

STDMETHODIMP CFilterGraph::Reconnect(IPin* /*ppin*/) { return E_NOTIMPL; }

// One end only, as in DirectShow: callers disconnect both.
STDMETHODIMP CFilterGraph::Disconnect(IPin* ppin) {
  if (ppin == nullptr) {
    return E_POINTER;
  }
  return RunOperation("IFilterGraph::Disconnect", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    return ppin->Disconnect();
  });
}

// The emulated graph keeps no reference clock; filters run on their own time.
STDMETHODIMP CFilterGraph::SetDefaultSyncSource() { return S_OK; }

// ---- IGraphBuilder ----

// Only direct connections: the emulation has no intermediate filters to
// insert. The pins negotiate the media type (the input pin's preferred types,
// then the output pin's).
STDMETHODIMP CFilterGraph::Connect(IPin* ppinOut, IPin* ppinIn) {
  return RunOperation("IGraphBuilder::Connect", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    HRESULT hr = ConnectDirectLocked(ppinOut, ppinIn, nullptr);
    if (SUCCEEDED(hr) || hr == E_POINTER || hr == VFW_E_NOT_IN_GRAPH || hr == VFW_E_NOT_STOPPED ||
        hr == VFW_E_INVALID_DIRECTION || hr == VFW_E_ALREADY_CONNECTED) {
      return hr;
    }
    return VFW_E_CANNOT_CONNECT;
  });
}

// Connects the output pin to a new video renderer, the only renderer the
// emulation has.
STDMETHODIMP CFilterGraph::Render(IPin* ppinOut) {
  if (ppinOut == nullptr) {
    return E_POINTER;
  }
  return RunOperation("IGraphBuilder::Render", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    PIN_DIRECTION dir;
    if (!emul::PinDirection(ppinOut, &dir) || dir != PINDIR_OUTPUT) {
      return VFW_E_INVALID_DIRECTION;
    }
    if (!PinInGraphLocked(ppinOut)) {
      return VFW_E_NOT_IN_GRAPH;
    }
    if (emul::ConnectedPin(ppinOut)) {
      return VFW_E_ALREADY_CONNECTED;
    }
    // Through the class table, so a test's replacement renderer is used, but
    // not through CoCreateInstance: the caller made no such call.
    emul::PFN_CREATEINSTANCE pfnCreate = emul::FindClass(CLSID_VideoRenderer);
    if (pfnCreate == nullptr) {
      return VFW_E_CANNOT_RENDER;
    }
    ComPtr<IBaseFilter> pRenderer;
    HRESULT hr = pfnCreate(nullptr, IID_IBaseFilter, pRenderer.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr)) {
      return hr;
    }
    hr = AddFilterLocked(pRenderer.Get(), L"Video Renderer");
    if (FAILED(hr)) {
      return hr;
    }
    for (const ComPtr<IPin>& pPin : emul::FilterPins(pRenderer.Get())) {
      if (emul::PinDirection(pPin.Get(), &dir) && dir == PINDIR_INPUT &&
          SUCCEEDED(ConnectDirectLocked(ppinOut, pPin.Get(), nullptr))) {
        return S_OK;
      }
    }
    RemoveFilterLocked(pRenderer.Get());
    return VFW_E_CANNOT_RENDER;
  });
}

STDMETHODIMP CFilterGraph::RenderFile(LPCWSTR /*lpcwstrFile*/, LPCWSTR /*lpcwstrPlayList*/) { return E_NOTIMPL; }

STDMETHODIMP CFilterGraph::AddSourceFilter(LPCWSTR /*lpcwstrFileName*/, LPCWSTR /*lpcwstrFilterName*/,
                                           IBaseFilter** ppFilter) {
  if (ppFilter != nullptr) {
    *ppFilter = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP CFilterGraph::SetLogFile(DWORD_PTR /*hFile*/) { return S_OK; }

STDMETHODIMP CFilterGraph::Abort() { return S_OK; }

STDMETHODIMP CFilterGraph::ShouldOperationContinue() { return S_OK; }

// ---- IDispatch ----

STDMETHODIMP CFilterGraph::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) {
    return E_POINTER;
  }
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP CFilterGraph::GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/, ITypeInfo** ppTInfo) {
  if (ppTInfo != nullptr) {
    *ppTInfo = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP CFilterGraph::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* /*rgszNames*/, UINT /*cNames*/, LCID /*lcid*/,
                                         DISPID* /*rgDispId*/) {
  return E_NOTIMPL;
}

STDMETHODIMP CFilterGraph::Invoke(DISPID /*dispIdMember*/, REFIID /*riid*/, LCID /*lcid*/, WORD /*wFlags*/,
                                  DISPPARAMS* /*pDispParams*/, VARIANT* /*pVarResult*/, EXCEPINFO* /*pExcepInfo*/,
                                  UINT* /*puArgErr*/) {
  return E_NOTIMPL;
}

// ---- IMediaControl ----

// Renderers first, sources last, as DirectShow orders state changes: every
// filter is ready to take samples before the filters upstream of it start
// sending.
std::vector<IBaseFilter*> CFilterGraph::DownstreamFirstLocked() const {
  struct CNode {
    IBaseFilter* pFilter;
    std::vector<IBaseFilter*> downstream;
  };
  std::vector<CNode> nodes;
  for (const CFilterEntry& e : m_filters) {
    CNode node{e.pFilter.Get(), {}};
    for (const ComPtr<IPin>& pPin : emul::FilterPins(e.pFilter.Get())) {
      PIN_DIRECTION dir;
      if (emul::PinDirection(pPin.Get(), &dir) && dir == PINDIR_OUTPUT) {
        if (ComPtr<IBaseFilter> pNext = emul::PinFilter(emul::ConnectedPin(pPin.Get()).Get())) {
          node.downstream.push_back(pNext.Get());
        }
      }
    }
    nodes.push_back(std::move(node));
  }
  std::vector<IBaseFilter*> order;
  auto placed = [&](IBaseFilter* p) { return std::find(order.begin(), order.end(), p) != order.end(); };
  while (order.size() < nodes.size()) {
    const size_t nBefore = order.size();
    for (const CNode& node : nodes) {
      if (!placed(node.pFilter) && std::all_of(node.downstream.begin(), node.downstream.end(), [&](IBaseFilter* p) {
            return placed(p) || !ContainsLocked(p);
          })) {
        order.push_back(node.pFilter);
      }
    }
    if (order.size() == nBefore) {  // a cycle: take the rest as they come
      for (const CNode& node : nodes) {
        if (!placed(node.pFilter)) {
          order.push_back(node.pFilter);
        }
      }
    }
  }
  return order;
}

void CFilterGraph::StartCompletionLocked() {
  size_t nRenderers = 0;
  for (const CFilterEntry& e : m_filters) {
    if (IsRenderer(e.pFilter.Get()) && HasConnectedInput(e.pFilter.Get())) {
      ++nRenderers;
    }
  }
  std::lock_guard lock(m_mxEvents);
  m_nRenderers = nRenderers;
  m_completedRenderers.clear();
  m_bCompleted = false;
  m_lCompletionCode = 0;
}

// State changes only when every filter changed: on a failure the filters
// already moved go back to where they were.
HRESULT CFilterGraph::PauseLocked() {
  const FILTER_STATE nBefore = m_nState.load();
  if (nBefore == State_Paused) {
    return S_OK;
  }
  if (nBefore == State_Stopped) {
    StartCompletionLocked();
  }
  const std::vector<IBaseFilter*> order = DownstreamFirstLocked();
  for (size_t i = 0; i < order.size(); ++i) {
    HRESULT hr = order[i]->Pause();
    if (FAILED(hr)) {
      for (size_t j = 0; j < i; ++j) {
        if (nBefore == State_Stopped) {
          order[j]->Stop();
        } else {
          order[j]->Run(0);
        }
      }
      return hr;
    }
  }
  m_nState.store(State_Paused);
  m_cvEvents.notify_all();
  return S_OK;
}

HRESULT CFilterGraph::RunLocked() {
  const FILTER_STATE nBefore = m_nState.load();
  if (nBefore == State_Running) {
    return S_OK;
  }
  HRESULT hr = PauseLocked();
  if (FAILED(hr)) {
    return hr;
  }
  const std::vector<IBaseFilter*> order = DownstreamFirstLocked();
  for (size_t i = 0; i < order.size(); ++i) {
    hr = order[i]->Run(0);
    if (FAILED(hr)) {
      for (size_t j = 0; j < i; ++j) {
        order[j]->Pause();
      }
      if (nBefore == State_Stopped) {
        StopLocked();
      }
      return hr;
    }
  }
  m_nState.store(State_Running);
  return S_OK;
}

// Stopping does not fail: every filter is told, whatever the others answer,
// and without memory for the downstream-first order, in the graph's order.
void CFilterGraph::StopLocked() {
  try {
    for (IBaseFilter* pFilter : DownstreamFirstLocked()) {
      pFilter->Stop();
    }
  } catch (const std::bad_alloc&) {
    for (const CFilterEntry& e : m_filters) {
      e.pFilter->Stop();
    }
  }
  m_nState.store(State_Stopped);
  std::lock_guard lock(m_mxEvents);
  m_cvEvents.notify_all();
}

STDMETHODIMP CFilterGraph::Run() {
  return RunOperation("IMediaControl::Run", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    return RunLocked();
  });
}

STDMETHODIMP CFilterGraph::Pause() {
  return RunOperation("IMediaControl::Pause", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    return PauseLocked();
  });
}

STDMETHODIMP CFilterGraph::Stop() {
  return RunOperation("IMediaControl::Stop", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    StopLocked();
    return S_OK;
  });
}

// Transitions complete inside Run, Pause and Stop, so the state is never
// intermediate and no wait is needed.
STDMETHODIMP CFilterGraph::GetState(LONG /*msTimeout*/, OAFilterState* pfs) {
  if (pfs == nullptr) {
    return E_POINTER;
  }
  return RunOperation("IMediaControl::GetState", [&]() -> HRESULT {
    *pfs = m_nState.load();
    return S_OK;
  });
}

STDMETHODIMP CFilterGraph::RenderFile(BSTR /*strFilename*/) { return E_NOTIMPL; }

STDMETHODIMP CFilterGraph::AddSourceFilter(BSTR /*strFilename*/, IDispatch** ppUnk) {
  if (ppUnk != nullptr) {
    *ppUnk = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP CFilterGraph::get_FilterCollection(IDispatch** ppUnk) {
  if (ppUnk != nullptr) {
    *ppUnk = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP CFilterGraph::get_RegFilterCollection(IDispatch** ppUnk) {
  if (ppUnk != nullptr) {
    *ppUnk = nullptr;
  }
  return E_NOTIMPL;
}

// DirectShow pauses, waits for the data to be ready, then stops; a live
// graph has no data to wait for, so this is a stop through pause.
STDMETHODIMP CFilterGraph::StopWhenReady() {
  return RunOperation("IMediaControl::StopWhenReady", [&]() -> HRESULT {
    std::lock_guard lock(m_mxGraph);
    if (m_nState.load() == State_Running) {
      PauseLocked();
    }
    StopLocked();
    return S_OK;
  });
}

// ---- IMediaEvent, IMediaEventEx, IMediaEventSink ----

void CFilterGraph::QueueEventLocked(LONG lCode, LONG_PTR lParam1, LONG_PTR lParam2) {
  if ((m_lNotifyFlags & AM_MEDIAEVENT_NONOTIFY) != 0) {
    return;
  }
  m_events.push_back(CEvent{lCode, lParam1, lParam2});
  if (m_hEvent != nullptr) {
    SetEvent(m_hEvent);
  }
  m_cvEvents.notify_all();
}

// EC_COMPLETE is held back until every renderer of the run has sent one (the
// default handling); EC_ERRORABORT, EC_USERABORT and the loss of a device end
// the run at once.
STDMETHODIMP CFilterGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
  std::lock_guard lock(m_mxEvents);
  if (EventCode == EC_COMPLETE && m_bDefaultCompleteHandling) {
    m_completedRenderers.insert(EventParam2);
    if (!m_bCompleted && m_completedRenderers.size() >= std::max<size_t>(m_nRenderers, 1)) {
      m_bCompleted = true;
      m_lCompletionCode = EC_COMPLETE;
      QueueEventLocked(EC_COMPLETE, S_OK, 0);
    }
    m_cvEvents.notify_all();
    return S_OK;
  }
  const bool bEndsRun = EventCode == EC_ERRORABORT || EventCode == EC_USERABORT ||
                        (EventCode == EC_DEVICE_LOST && EventParam2 == 0);
  if (bEndsRun && !m_bCompleted) {
    m_bCompleted = true;
    m_lCompletionCode = EventCode;
  }
  QueueEventLocked(EventCode, EventParam1, EventParam2);
  return S_OK;
}

STDMETHODIMP CFilterGraph::GetEventHandle(OAEVENT* hEvent) {
  if (hEvent == nullptr) {
    return E_POINTER;
  }
  std::lock_guard lock(m_mxEvents);
  if (m_hEvent == nullptr) {
    m_hEvent = CreateEventA(nullptr, TRUE, m_events.empty() ? FALSE : TRUE, nullptr);
    if (m_hEvent == nullptr) {
      return E_OUTOFMEMORY;
    }
  }
  *hEvent = reinterpret_cast<OAEVENT>(m_hEvent);
  return S_OK;
}

STDMETHODIMP CFilterGraph::GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) {
  if (lEventCode == nullptr || lParam1 == nullptr || lParam2 == nullptr) {
    return E_POINTER;
  }
  *lEventCode = 0;
  *lParam1 = *lParam2 = 0;
  return RunOperation("IMediaEvent::GetEvent", [&]() -> HRESULT {
    std::unique_lock lock(m_mxEvents);
    if (!WaitFor(m_cvEvents, lock, msTimeout, [&] { return !m_events.empty(); })) {
      return E_ABORT;
    }
    const CEvent event = m_events.front();
    m_events.pop_front();
    if (m_events.empty() && m_hEvent != nullptr) {
      ResetEvent(m_hEvent);
    }
    *lEventCode = event.lCode;
    *lParam1 = event.lParam1;
    *lParam2 = event.lParam2;
    return S_OK;
  });
}

// Waits for the end of the current run: EC_COMPLETE from every renderer, or
// an event that aborts the run. The events stay queued for GetEvent.
STDMETHODIMP CFilterGraph::WaitForCompletion(LONG msTimeout, LONG* pEvCode) {
  if (pEvCode == nullptr) {
    return E_POINTER;
  }
  *pEvCode = 0;
  return RunOperation("IMediaEvent::WaitForCompletion", [&]() -> HRESULT {
    std::unique_lock lock(m_mxEvents);
    WaitFor(m_cvEvents, lock, msTimeout, [&] { return m_bCompleted || m_nState.load() != State_Running; });
    if (m_bCompleted) {
      *pEvCode = m_lCompletionCode;
      return S_OK;
    }
    return m_nState.load() != State_Running ? VFW_E_WRONG_STATE : E_ABORT;
  });
}

STDMETHODIMP CFilterGraph::CancelDefaultHandling(LONG lEvCode) {
  if (lEvCode != EC_COMPLETE) {
    return E_INVALIDARG;
  }
  std::lock_guard lock(m_mxEvents);
  m_bDefaultCompleteHandling = false;
  return S_OK;
}

STDMETHODIMP CFilterGraph::RestoreDefaultHandling(LONG lEvCode) {
  if (lEvCode != EC_COMPLETE) {
    return E_INVALIDARG;
  }
  std::lock_guard lock(m_mxEvents);
  m_bDefaultCompleteHandling = true;
  return S_OK;
}

// No event of the emulated filters carries allocated parameters.
STDMETHODIMP CFilterGraph::FreeEventParams(LONG /*lEvCode*/, LONG_PTR /*lParam1*/, LONG_PTR /*lParam2*/) {
  return S_OK;
}

// Window messages are not posted; applications wait or poll with GetEvent.
STDMETHODIMP CFilterGraph::SetNotifyWindow(OAHWND /*hwnd*/, LONG /*lMsg*/, LONG_PTR /*lInstanceData*/) {
  return S_OK;
}

STDMETHODIMP CFilterGraph::SetNotifyFlags(LONG lNoNotifyFlags) {
  if (lNoNotifyFlags != 0 && lNoNotifyFlags != AM_MEDIAEVENT_NONOTIFY) {
    return E_INVALIDARG;
  }
  std::lock_guard lock(m_mxEvents);
  m_lNotifyFlags = lNoNotifyFlags;
  if (lNoNotifyFlags != 0) {
    m_events.clear();
    if (m_hEvent != nullptr) {
      ResetEvent(m_hEvent);
    }
  }
  return S_OK;
}

STDMETHODIMP CFilterGraph::GetNotifyFlags(LONG* lplNoNotifyFlags) {
  if (lplNoNotifyFlags == nullptr) {
    return E_POINTER;
  }
  std::lock_guard lock(m_mxEvents);
  *lplNoNotifyFlags = m_lNotifyFlags;
  return S_OK;
}
