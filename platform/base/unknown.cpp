#include "base/unknown.h"

namespace {

std::atomic<LONG> g_nLiveObjects{0};
std::atomic<PFN_INTERFACEFILTER> g_pfnDenyInterface{nullptr};

}  // namespace

void SetInterfaceFilter(PFN_INTERFACEFILTER pfnDeny) { g_pfnDenyInterface.store(pfnDeny); }

CUnknown::CUnknown(LPCSTR pName, IUnknown* pUnkOuter) : m_pName(pName), m_pOwner(pUnkOuter), m_cRef(0) {
  g_nLiveObjects.fetch_add(1);
}

CUnknown::~CUnknown() { g_nLiveObjects.fetch_sub(1); }

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() { return static_cast<ULONG>(m_cRef.fetch_add(1) + 1); }

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
  const LONG nCount = m_cRef.fetch_sub(1) - 1;
  if (nCount == 0) {
    // A destructor that hands out and releases references to the object
    // itself must not bring the count to 0 a second time.
    m_cRef.store(1);
    delete this;
    return 0;
  }
  return static_cast<ULONG>(nCount);
}

LONG CUnknown::LiveObjects() { return g_nLiveObjects.load(); }

HRESULT CUnknown::OwnQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  const PFN_INTERFACEFILTER pfnDeny = g_pfnDenyInterface.load();
  if (pfnDeny != nullptr && pfnDeny(riid)) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  return NonDelegatingQueryInterface(riid, ppv);
}

HRESULT GetInterface(IUnknown* pUnk, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = pUnk;
  if (pUnk != nullptr) {
    pUnk->AddRef();
  }
  return S_OK;
}
