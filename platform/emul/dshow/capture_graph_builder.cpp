// The capture graph builder (CLSID_CaptureGraphBuilder2): pin and interface
// searches over the graph it is attached to, and simple stream rendering.
#include <new>

#include "base/com_ptr.h"
#include "base/operation_fault.h"
#include "base/unknown.h"
#include "emul/class_registry.h"
#include "emul/dshow/pin_walk.h"

namespace {

// Long enough for any chain the emulation builds; stops a walk round a cycle.
constexpr int MAX_SEARCH_DEPTH = 32;

bool PinHasCategory(IPin* pPin, const GUID& category) {
  ComPtr<IKsPropertySet> pProps;
  if (FAILED(pPin->QueryInterface(IID_IKsPropertySet, pProps.ReleaseAndGetVoidAddressOf())) || !pProps) {
    return false;
  }
  GUID pinCategory{};
  DWORD cbReturned = 0;
  return SUCCEEDED(pProps->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &pinCategory,
                               sizeof(pinCategory), &cbReturned)) &&
         cbReturned >= sizeof(pinCategory) && pinCategory == category;
}

bool PinMatches(IPin* pPin, PIN_DIRECTION dir, const GUID* pCategory, const GUID* pType, BOOL fUnconnected) {
  PIN_DIRECTION pinDir;
  if (!emul::PinDirection(pPin, &pinDir) || pinDir != dir) {
    return false;
  }
  if (fUnconnected && emul::ConnectedPin(pPin)) {
    return false;
  }
  if (pCategory != nullptr && !PinHasCategory(pPin, *pCategory)) {
    return false;
  }
  return pType == nullptr || emul::PinHasMajorType(pPin, *pType);
}

HRESULT QueryFilterAndPins(IBaseFilter* pFilter, REFIID riid, void** ppint) {
  if (SUCCEEDED(pFilter->QueryInterface(riid, ppint)) && *ppint != nullptr) {
    return S_OK;
  }
  for (const ComPtr<IPin>& pPin : emul::FilterPins(pFilter)) {
    if (SUCCEEDED(pPin->QueryInterface(riid, ppint)) && *ppint != nullptr) {
      return S_OK;
    }
  }
  *ppint = nullptr;
  return E_NOINTERFACE;
}

// Searches the filters connected to pFilter's pins of direction dir (the
// connected pin, its filter, that filter's pins), then on beyond them.
HRESULT SearchAlong(IBaseFilter* pFilter, PIN_DIRECTION dir, const GUID* pType, REFIID riid, void** ppint,
                    int nDepth) {
  if (nDepth >= MAX_SEARCH_DEPTH) {
    return E_NOINTERFACE;
  }
  for (const ComPtr<IPin>& pPin : emul::FilterPins(pFilter)) {
    if (!PinMatches(pPin.Get(), dir, nullptr, nDepth == 0 ? pType : nullptr, FALSE)) {
      continue;
    }
    ComPtr<IPin> pPeer = emul::ConnectedPin(pPin.Get());
    if (!pPeer) {
      continue;
    }
    if (SUCCEEDED(pPeer->QueryInterface(riid, ppint)) && *ppint != nullptr) {
      return S_OK;
    }
    ComPtr<IBaseFilter> pNext = emul::PinFilter(pPeer.Get());
    if (pNext && (SUCCEEDED(QueryFilterAndPins(pNext.Get(), riid, ppint)) ||
                  SUCCEEDED(SearchAlong(pNext.Get(), dir, nullptr, riid, ppint, nDepth + 1)))) {
      return S_OK;
    }
  }
  *ppint = nullptr;
  return E_NOINTERFACE;
}

class CCaptureGraphBuilder final : public CComBase<ICaptureGraphBuilder2> {
 public:
  CCaptureGraphBuilder() : CComBase("CCaptureGraphBuilder") {}

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_ICaptureGraphBuilder2) {
      return GetInterface(static_cast<ICaptureGraphBuilder2*>(this), ppv);
    }
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }

  // The builder keeps a reference to its graph; the graph knows nothing of
  // the builder, so there is no cycle. It is attached once.
  STDMETHODIMP SetFiltergraph(IGraphBuilder* pfg) override {
    if (pfg == nullptr) {
      return E_POINTER;
    }
    return RunOperation("ICaptureGraphBuilder2::SetFiltergraph", [&]() -> HRESULT {
      if (m_pGraph) {
        return E_UNEXPECTED;
      }
      pfg->AddRef();
      m_pGraph.Attach(pfg);
      return S_OK;
    });
  }

  STDMETHODIMP GetFiltergraph(IGraphBuilder** ppfg) override {
    if (ppfg == nullptr) {
      return E_POINTER;
    }
    *ppfg = nullptr;
    return RunOperation("ICaptureGraphBuilder2::GetFiltergraph", [&]() -> HRESULT {
      return m_pGraph ? m_pGraph.CopyTo(ppfg) : E_UNEXPECTED;
    });
  }

  STDMETHODIMP SetOutputFileName(const GUID* /*pType*/, LPCOLESTR /*lpstrFile*/, IBaseFilter** ppf,
                                 IFileSinkFilter** ppSink) override {
    if (ppf != nullptr) {
      *ppf = nullptr;
    }
    if (ppSink != nullptr) {
      *ppSink = nullptr;
    }
    return E_NOTIMPL;
  }

  // As DirectShow searches: LOOK_UPSTREAM_ONLY and LOOK_DOWNSTREAM_ONLY
  // search only that way from pf (not pf itself); a pin category starts at
  // pf's output pin of that category and goes downstream; no category
  // searches pf, its pins, then downstream, then upstream.
  STDMETHODIMP FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                             void** ppint) override {
    if (pf == nullptr || ppint == nullptr) {
      return E_POINTER;
    }
    *ppint = nullptr;
    return RunOperation("ICaptureGraphBuilder2::FindInterface", [&]() -> HRESULT {
      if (pCategory != nullptr && *pCategory == LOOK_UPSTREAM_ONLY) {
        return SearchAlong(pf, PINDIR_INPUT, pType, riid, ppint, 0);
      }
      if (pCategory != nullptr && *pCategory == LOOK_DOWNSTREAM_ONLY) {
        return SearchAlong(pf, PINDIR_OUTPUT, pType, riid, ppint, 0);
      }
      if (pCategory != nullptr) {
        ComPtr<IPin> pPin;
        if (FAILED(FindPinOf(pf, PINDIR_OUTPUT, pCategory, pType, FALSE, 0, pPin.ReleaseAndGetAddressOf()))) {
          return E_FAIL;
        }
        if (SUCCEEDED(pPin->QueryInterface(riid, ppint)) && *ppint != nullptr) {
          return S_OK;
        }
        ComPtr<IPin> pPeer = emul::ConnectedPin(pPin.Get());
        ComPtr<IBaseFilter> pNext = emul::PinFilter(pPeer.Get());
        if (pPeer && SUCCEEDED(pPeer->QueryInterface(riid, ppint)) && *ppint != nullptr) {
          return S_OK;
        }
        if (pNext && (SUCCEEDED(QueryFilterAndPins(pNext.Get(), riid, ppint)) ||
                      SUCCEEDED(SearchAlong(pNext.Get(), PINDIR_OUTPUT, nullptr, riid, ppint, 1)))) {
          return S_OK;
        }
        *ppint = nullptr;
        return E_NOINTERFACE;
      }
      if (SUCCEEDED(QueryFilterAndPins(pf, riid, ppint)) ||
          SUCCEEDED(SearchAlong(pf, PINDIR_OUTPUT, pType, riid, ppint, 0)) ||
          SUCCEEDED(SearchAlong(pf, PINDIR_INPUT, pType, riid, ppint, 0))) {
        return S_OK;
      }
      return E_NOINTERFACE;
    });
  }

  // Connects the source's first free output pin of the category and type,
  // through the compressor when one is given, to the renderer or, without
  // one, to whatever IGraphBuilder::Render chooses.
  STDMETHODIMP RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource, IBaseFilter* pfCompressor,
                            IBaseFilter* pfRenderer) override {
    if (pSource == nullptr) {
      return E_POINTER;
    }
    return RunOperation("ICaptureGraphBuilder2::RenderStream", [&]() -> HRESULT {
      if (!m_pGraph) {
        return E_UNEXPECTED;
      }
      ComPtr<IPin> pOut;
      HRESULT hr = FindPinOf(pSource, PINDIR_OUTPUT, pCategory, pType, TRUE, 0, pOut.ReleaseAndGetAddressOf());
      if (FAILED(hr)) {
        return hr;
      }
      if (pfCompressor != nullptr) {
        ComPtr<IPin> pIn;
        hr = FindPinOf(pfCompressor, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, pIn.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr)) {
          hr = m_pGraph->Connect(pOut.Get(), pIn.Get());
        }
        if (SUCCEEDED(hr)) {
          hr = FindPinOf(pfCompressor, PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0, pOut.ReleaseAndGetAddressOf());
        }
        if (FAILED(hr)) {
          return hr;
        }
      }
      if (pfRenderer == nullptr) {
        return m_pGraph->Render(pOut.Get());
      }
      ComPtr<IPin> pIn;
      hr = FindPinOf(pfRenderer, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, pIn.ReleaseAndGetAddressOf());
      return SUCCEEDED(hr) ? m_pGraph->Connect(pOut.Get(), pIn.Get()) : hr;
    });
  }

  STDMETHODIMP ControlStream(const GUID* /*pCategory*/, const GUID* /*pType*/, IBaseFilter* /*pFilter*/,
                             REFERENCE_TIME* /*pstart*/, REFERENCE_TIME* /*pstop*/, WORD /*wStartCookie*/,
                             WORD /*wStopCookie*/) override {
    return E_NOTIMPL;
  }

  STDMETHODIMP AllocCapFile(LPCOLESTR /*lpstr*/, DWORDLONG /*dwlSize*/) override { return E_NOTIMPL; }

  STDMETHODIMP CopyCaptureFile(LPOLESTR /*lpwstrOld*/, LPOLESTR /*lpwstrNew*/, int /*fAllowEscAbort*/,
                               IAMCopyCaptureFileProgress* /*pCallback*/) override {
    return E_NOTIMPL;
  }

  STDMETHODIMP FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory, const GUID* pType,
                       BOOL fUnconnected, int num, IPin** ppPin) override {
    if (pSource == nullptr || ppPin == nullptr) {
      return E_POINTER;
    }
    *ppPin = nullptr;
    return RunOperation("ICaptureGraphBuilder2::FindPin", [&]() -> HRESULT {
      return FindPinOf(pSource, pindir, pCategory, pType, fUnconnected, num, ppPin);
    });
  }

 private:
  // The num-th matching pin of a filter; a pin given as the source is the
  // only candidate, as in DirectShow. E_FAIL when there is none.
  static HRESULT FindPinOf(IUnknown* pSource, PIN_DIRECTION dir, const GUID* pCategory, const GUID* pType,
                           BOOL fUnconnected, int num, IPin** ppPin) {
    *ppPin = nullptr;
    std::vector<ComPtr<IPin>> candidates;
    ComPtr<IBaseFilter> pFilter;
    ComPtr<IPin> pPin;
    if (SUCCEEDED(pSource->QueryInterface(IID_IBaseFilter, pFilter.ReleaseAndGetVoidAddressOf())) && pFilter) {
      candidates = emul::FilterPins(pFilter.Get());
    } else if (SUCCEEDED(pSource->QueryInterface(IID_IPin, pPin.ReleaseAndGetVoidAddressOf())) && pPin) {
      candidates.push_back(pPin);
    } else {
      return E_NOINTERFACE;
    }
    int nFound = 0;
    for (const ComPtr<IPin>& pCandidate : candidates) {
      if (PinMatches(pCandidate.Get(), dir, pCategory, pType, fUnconnected) && nFound++ == num) {
        return pCandidate.CopyTo(ppPin);
      }
    }
    return E_FAIL;
  }

  ComPtr<IGraphBuilder> m_pGraph;
};

const bool g_bRegistered =
    emul::RegisterClass(CLSID_CaptureGraphBuilder2, &CreateComInstance<CCaptureGraphBuilder>);

}  // namespace
