// A minimal COM object with two interfaces, for tests of the COM plumbing.
#pragma once

#include "base/unknown.h"

inline constexpr CLSID CLSID_TestObject{0x5f0d3a41, 0x7c2e, 0x4b8a, {0x9e, 0x11, 0x2a, 0x6c, 0x40, 0x83, 0xd5, 0x17}};

class CTestObject : public CComBase<IPersist, IMediaEventSink> {
 public:
  CTestObject() : CComBase("test object") {}

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IPersist) {
      return GetInterface(static_cast<IPersist*>(this), ppv);
    }
    if (riid == IID_IMediaEventSink) {
      return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    }
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override {
    if (pClassID == nullptr) {
      return E_POINTER;
    }
    *pClassID = CLSID_TestObject;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Notify(LONG, LONG_PTR, LONG_PTR) override { return S_OK; }
};

// The current reference count of an object, read through AddRef/Release.
inline ULONG RefCount(IUnknown* pUnk) {
  pUnk->AddRef();
  return pUnk->Release();
}
