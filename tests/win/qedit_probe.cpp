// Built by the Windows cross compilers only: a sample callback and the ids
// the capture graph uses must compile against win/qedit.h and resolve from
// the Windows import libraries, whichever of win/qedit.h and the system's
// <qedit.h> comes first.
#include <windows.h>
#ifdef IIDC_SYSTEM_QEDIT_FIRST
#include <qedit.h>
#endif
#include "win/qedit.h"
#ifndef IIDC_SYSTEM_QEDIT_FIRST
#include <qedit.h>
#endif

namespace {

class CProbeCB final : public ISampleGrabberCB {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_ISampleGrabberCB) || IsEqualIID(riid, __uuidof(IUnknown))) {
      *ppv = static_cast<ISampleGrabberCB*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
};

}  // namespace

int main() {
  if (FAILED(CoInitialize(nullptr))) return 1;
  ISampleGrabber* pGrabber = nullptr;
  IBaseFilter* pRenderer = nullptr;
  CProbeCB callback;
  if (SUCCEEDED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_ALL, IID_ISampleGrabber,
                                 reinterpret_cast<void**>(&pGrabber)))) {
    pGrabber->SetCallback(&callback, 1);
    pGrabber->Release();
  }
  if (SUCCEEDED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_ALL,
                                 __uuidof(IBaseFilter), reinterpret_cast<void**>(&pRenderer)))) {
    pRenderer->Release();
  }
  const bool bSameIds = IsEqualIID(__uuidof(ISampleGrabber), IID_ISampleGrabber) &&
                        IsEqualIID(__uuidof(ISampleGrabberCB), IID_ISampleGrabberCB);
  CoUninitialize();
  return bSameIds ? 0 : 2;
}
