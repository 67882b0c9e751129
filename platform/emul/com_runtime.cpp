// COM apartments and object creation. Each thread tracks its own
// initialisation count and apartment model, as COM does; a thread that never
// initialised may still create objects while some thread of the process is
// in the multithreaded apartment (the implicit MTA).
#include <atomic>

#include "emul/class_registry.h"
#include "emul/com_api.h"
#include "emul/fault.h"

namespace {

enum class Apartment { None, SingleThreaded, MultiThreaded };

struct CThreadApartment {
  Apartment model = Apartment::None;
  int nInits = 0;
};

thread_local CThreadApartment t_apartment;
std::atomic<int> g_nMtaThreads{0};

constexpr DWORD CLSCTX_SUPPORTED = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

HRESULT EnterApartment(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved != nullptr) {
    return E_INVALIDARG;
  }
  const Apartment model =
      (dwCoInit & COINIT_APARTMENTTHREADED) != 0 ? Apartment::SingleThreaded : Apartment::MultiThreaded;
  if (t_apartment.nInits > 0) {
    if (t_apartment.model != model) {
      return RPC_E_CHANGED_MODE;
    }
    ++t_apartment.nInits;
    return S_FALSE;
  }
  t_apartment.model = model;
  t_apartment.nInits = 1;
  if (model == Apartment::MultiThreaded) {
    g_nMtaThreads.fetch_add(1);
  }
  return S_OK;
}

}  // namespace

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
  if (const HRESULT hr = emul::FaultFor("CoInitialize"); FAILED(hr)) {
    return hr;
  }
  return EnterApartment(pvReserved, COINIT_APARTMENTTHREADED);
}

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (const HRESULT hr = emul::FaultFor("CoInitializeEx"); FAILED(hr)) {
    return hr;
  }
  return EnterApartment(pvReserved, dwCoInit);
}

void WINAPI CoUninitialize() {
  if (t_apartment.nInits == 0) {
    return;
  }
  if (--t_apartment.nInits == 0) {
    if (t_apartment.model == Apartment::MultiThreaded) {
      g_nMtaThreads.fetch_sub(1);
    }
    t_apartment.model = Apartment::None;
  }
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                LPVOID* ppv) {
  if (const HRESULT hr = emul::FaultFor("CoCreateInstance"); FAILED(hr)) {
    if (ppv != nullptr) {
      *ppv = nullptr;
    }
    return hr;
  }
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  if (t_apartment.nInits == 0 && g_nMtaThreads.load() == 0) {
    return CO_E_NOTINITIALIZED;
  }
  // An aggregating caller must ask for the inner object's IUnknown.
  if (pUnkOuter != nullptr && !(riid == IID_IUnknown)) {
    return CLASS_E_NOAGGREGATION;
  }
  const emul::PFN_CREATEINSTANCE pfnCreate = emul::FindClass(rclsid);
  if (pfnCreate == nullptr || (dwClsContext & CLSCTX_SUPPORTED) == 0) {
    return REGDB_E_CLASSNOTREG;
  }
  return pfnCreate(pUnkOuter, riid, ppv);
}
