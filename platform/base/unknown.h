// Reference-counted COM objects without the DirectShow base classes.
//
// CUnknown is the object's own (non-delegating) unknown: the reference count,
// the owner for aggregation and the process-wide count of live objects.
// CComBase<Interfaces...> adds the interfaces and routes their IUnknown
// methods to the owner, so a concrete class only answers its interfaces:
//
//   class CNullRenderer : public CComBase<IBaseFilter, IAMFilterMiscFlags> {
//     STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
//       if (riid == IID_IBaseFilter) return GetInterface(static_cast<IBaseFilter*>(this), ppv);
//       ...
//       return CComBase::NonDelegatingQueryInterface(riid, ppv);
//     }
//   };
//
// A class that writes IUnknown's methods itself instead forwards its
// QueryInterface to OwnQueryInterface when it has no owner, so that
// interfaces made unavailable by fault injection stay unavailable.
#pragma once

#include <atomic>
#include <new>
#include <utility>

#include "winapi.h"

// IUnknown's three methods without delegation to an outer object, first in
// the vtable of every CUnknown.
struct INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;

 protected:
  ~INonDelegatingUnknown() = default;
};

// Decides whether QueryInterface may hand out an interface; installed by the
// emulation's fault injection, never on Windows.
using PFN_INTERFACEFILTER = bool (*)(REFIID riid);
void SetInterfaceFilter(PFN_INTERFACEFILTER pfnDeny);

class CUnknown : public INonDelegatingUnknown {
 public:
  // pName names the object for diagnostics (a literal: it is not copied).
  // pUnkOuter is the aggregating object, or null.
  CUnknown(LPCSTR pName, IUnknown* pUnkOuter);
  virtual ~CUnknown();
  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;

  // Answers nothing but E_POINTER for a null ppv and E_NOINTERFACE; IUnknown
  // itself is answered by CComBase.
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  // Both return the new count; the release that reaches 0 deletes the object.
  ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
  ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

  LPCSTR Name() const { return m_pName; }
  // The aggregating object, or null when the object stands alone.
  IUnknown* GetOwner() const { return m_pOwner; }

  // Objects derived from CUnknown alive in the process now.
  static LONG LiveObjects();

 protected:
  // QueryInterface as the object's own interfaces answer it when it is not
  // aggregated: the interface filter first, then NonDelegatingQueryInterface.
  HRESULT OwnQueryInterface(REFIID riid, void** ppv);

 private:
  LPCSTR m_pName;
  IUnknown* const m_pOwner;  // not counted: the owner holds this object
  std::atomic<LONG> m_cRef;
};

// Stores an interface pointer into an out parameter with one reference.
HRESULT GetInterface(IUnknown* pUnk, void** ppv);

// The Windows headers give interfaces a public non-virtual destructor; COM
// objects die by their last Release, never by delete through an interface,
// so the warning about it says nothing here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <class First, class... Rest>
class CComBase : public CUnknown, public First, public Rest... {
 public:
  explicit CComBase(LPCSTR pName, IUnknown* pUnkOuter = nullptr) : CUnknown(pName, pUnkOuter) {}

  // One definition overrides IUnknown's methods in every interface base.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    IUnknown* pOwner = GetOwner();
    return pOwner ? pOwner->QueryInterface(riid, ppv) : OwnQueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    IUnknown* pOwner = GetOwner();
    return pOwner ? pOwner->AddRef() : NonDelegatingAddRef();
  }
  ULONG STDMETHODCALLTYPE Release() override {
    IUnknown* pOwner = GetOwner();
    return pOwner ? pOwner->Release() : NonDelegatingRelease();
  }

  // The object's identity is its first interface.
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_IUnknown) {
      return GetInterface(static_cast<IUnknown*>(static_cast<First*>(this)), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
};
#pragma GCC diagnostic pop

// A new T handed out through *pp with the one reference its receiver owns;
// E_OUTOFMEMORY (and *pp null) when there is no memory for it.
template <class T, class I, class... Args>
HRESULT NewComObject(I** pp, Args&&... args) {
  T* pObject = new (std::nothrow) T(std::forward<Args>(args)...);
  *pp = pObject;
  if (pObject == nullptr) {
    return E_OUTOFMEMORY;
  }
  static_cast<I*>(pObject)->AddRef();
  return S_OK;
}

// A factory for a class with a default constructor, usable as IClassFactory's
// CreateInstance and in the emulation's class table. Aggregation is refused.
template <class T>
HRESULT CreateComInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  if (pUnkOuter != nullptr) {
    return CLASS_E_NOAGGREGATION;
  }
  T* pObject = new (std::nothrow) T();
  if (pObject == nullptr) {
    return E_OUTOFMEMORY;
  }
  pObject->NonDelegatingAddRef();
  const HRESULT hr = pObject->QueryInterface(riid, ppv);
  pObject->NonDelegatingRelease();
  return hr;
}
