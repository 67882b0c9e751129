// The system device enumerator (CLSID_SystemDeviceEnum) over the video
// capture devices of emul/devices.h: one moniker per device, which binds to
// the device's filter and to a property bag with its friendly name.
#include <algorithm>
#include <cwchar>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "base/com_ptr.h"
#include "base/operation_fault.h"
#include "base/unknown.h"
#include "emul/class_registry.h"
#include "emul/devices.h"

namespace {

class CDevicePropertyBag final : public CComBase<IPropertyBag> {
 public:
  explicit CDevicePropertyBag(std::wstring wszFriendlyName)
      : CComBase("CDevicePropertyBag"), m_wszFriendlyName(std::move(wszFriendlyName)) {}

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_IPropertyBag) {
      return GetInterface(static_cast<IPropertyBag*>(this), ppv);
    }
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }

  // Only "FriendlyName" is kept, as a string; E_INVALIDARG for any other
  // name, as for a property the bag does not have.
  STDMETHODIMP Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* /*pErrorLog*/) override {
    if (pszPropName == nullptr || pVar == nullptr) {
      return E_POINTER;
    }
    return RunOperation("IPropertyBag::Read", [&]() -> HRESULT {
      if (std::wcscmp(pszPropName, L"FriendlyName") != 0) {
        return E_INVALIDARG;
      }
      if (pVar->vt != VT_EMPTY && pVar->vt != VT_BSTR) {
        return E_FAIL;
      }
      BSTR bstr = SysAllocString(m_wszFriendlyName.c_str());
      if (bstr == nullptr) {
        return E_OUTOFMEMORY;
      }
      pVar->vt = VT_BSTR;
      pVar->bstrVal = bstr;
      return S_OK;
    });
  }

  STDMETHODIMP Write(LPCOLESTR /*pszPropName*/, VARIANT* /*pVar*/) override { return E_NOTIMPL; }

 private:
  const std::wstring m_wszFriendlyName;
};

class CDeviceMoniker final : public CComBase<IMoniker> {
 public:
  explicit CDeviceMoniker(emul::CaptureDevice device) : CComBase("CDeviceMoniker"), m_device(std::move(device)) {}

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && (riid == IID_IMoniker || riid == IID_IPersistStream || riid == IID_IPersist)) {
      return GetInterface(static_cast<IMoniker*>(this), ppv);
    }
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }

  STDMETHODIMP GetClassID(CLSID* pClassID) override {
    if (pClassID != nullptr) {
      *pClassID = GUID_NULL;
    }
    return E_NOTIMPL;
  }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream* /*pStm*/) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream* /*pStm*/, BOOL /*fClearDirty*/) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* /*pcbSize*/) override { return E_NOTIMPL; }

  // Each binding creates a new filter for the device, as binding a device
  // moniker does.
  STDMETHODIMP BindToObject(IBindCtx* /*pbc*/, IMoniker* /*pmkToLeft*/, REFIID riidResult,
                            void** ppvResult) override {
    if (ppvResult == nullptr) {
      return E_POINTER;
    }
    *ppvResult = nullptr;
    return RunOperation("IMoniker::BindToObject", [&]() -> HRESULT {
      if (!m_device.create) {
        return E_FAIL;
      }
      ComPtr<IBaseFilter> pFilter;
      HRESULT hr = m_device.create(pFilter.ReleaseAndGetAddressOf());
      if (FAILED(hr)) {
        return hr;
      }
      return pFilter ? pFilter->QueryInterface(riidResult, ppvResult) : E_FAIL;
    });
  }

  STDMETHODIMP BindToStorage(IBindCtx* /*pbc*/, IMoniker* /*pmkToLeft*/, REFIID riid, void** ppvObj) override {
    if (ppvObj == nullptr) {
      return E_POINTER;
    }
    *ppvObj = nullptr;
    return RunOperation("IMoniker::BindToStorage", [&]() -> HRESULT {
      if (riid != IID_IPropertyBag) {
        return E_NOINTERFACE;
      }
      auto* pBag = new (std::nothrow) CDevicePropertyBag(m_device.friendlyName);
      if (pBag == nullptr) {
        return E_OUTOFMEMORY;
      }
      pBag->NonDelegatingAddRef();
      HRESULT hr = pBag->QueryInterface(riid, ppvObj);
      pBag->NonDelegatingRelease();
      return hr;
    });
  }

  STDMETHODIMP Reduce(IBindCtx* /*pbc*/, DWORD /*dwReduceHowFar*/, IMoniker** ppmkToLeft,
                      IMoniker** ppmkReduced) override {
    if (ppmkToLeft != nullptr) {
      *ppmkToLeft = nullptr;
    }
    if (ppmkReduced != nullptr) {
      *ppmkReduced = nullptr;
    }
    return E_NOTIMPL;
  }
  STDMETHODIMP ComposeWith(IMoniker* /*pmkRight*/, BOOL /*fOnlyIfNotGeneric*/, IMoniker** ppmkComposite) override {
    if (ppmkComposite != nullptr) {
      *ppmkComposite = nullptr;
    }
    return E_NOTIMPL;
  }
  STDMETHODIMP Enum(BOOL /*fForward*/, IEnumMoniker** ppenumMoniker) override {
    if (ppenumMoniker == nullptr) {
      return E_POINTER;
    }
    *ppenumMoniker = nullptr;  // a simple moniker has no parts
    return S_OK;
  }
  STDMETHODIMP IsEqual(IMoniker* pmkOtherMoniker) override {
    return pmkOtherMoniker == static_cast<IMoniker*>(this) ? S_OK : S_FALSE;
  }
  STDMETHODIMP Hash(DWORD* pdwHash) override {
    if (pdwHash == nullptr) {
      return E_POINTER;
    }
    *pdwHash = static_cast<DWORD>(std::hash<std::wstring>{}(m_device.friendlyName));
    return S_OK;
  }
  STDMETHODIMP IsRunning(IBindCtx* /*pbc*/, IMoniker* /*pmkToLeft*/, IMoniker* /*pmkNewlyRunning*/) override {
    return S_FALSE;
  }
  STDMETHODIMP GetTimeOfLastChange(IBindCtx* /*pbc*/, IMoniker* /*pmkToLeft*/, FILETIME* /*pFileTime*/) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Inverse(IMoniker** ppmk) override {
    if (ppmk != nullptr) {
      *ppmk = nullptr;
    }
    return E_NOTIMPL;
  }
  STDMETHODIMP CommonPrefixWith(IMoniker* /*pmkOther*/, IMoniker** ppmkPrefix) override {
    if (ppmkPrefix != nullptr) {
      *ppmkPrefix = nullptr;
    }
    return E_NOTIMPL;
  }
  STDMETHODIMP RelativePathTo(IMoniker* /*pmkOther*/, IMoniker** ppmkRelPath) override {
    if (ppmkRelPath != nullptr) {
      *ppmkRelPath = nullptr;
    }
    return E_NOTIMPL;
  }
  STDMETHODIMP GetDisplayName(IBindCtx* /*pbc*/, IMoniker* /*pmkToLeft*/, LPOLESTR* ppszDisplayName) override {
    if (ppszDisplayName == nullptr) {
      return E_POINTER;
    }
    const std::wstring wszName = L"@device:emul:" + m_device.friendlyName;
    const size_t cb = (wszName.size() + 1) * sizeof(OLECHAR);
    *ppszDisplayName = static_cast<LPOLESTR>(CoTaskMemAlloc(cb));
    if (*ppszDisplayName == nullptr) {
      return E_OUTOFMEMORY;
    }
    std::wmemcpy(*ppszDisplayName, wszName.c_str(), wszName.size() + 1);
    return S_OK;
  }
  STDMETHODIMP ParseDisplayName(IBindCtx* /*pbc*/, IMoniker* /*pmkToLeft*/, LPOLESTR /*pszDisplayName*/,
                                ULONG* /*pchEaten*/, IMoniker** ppmkOut) override {
    if (ppmkOut != nullptr) {
      *ppmkOut = nullptr;
    }
    return E_NOTIMPL;
  }
  STDMETHODIMP IsSystemMoniker(DWORD* pdwMksys) override {
    if (pdwMksys == nullptr) {
      return E_POINTER;
    }
    *pdwMksys = 0;  // MKSYS_NONE
    return S_FALSE;
  }

 private:
  const emul::CaptureDevice m_device;
};

class CEnumDeviceMonikers final : public CComBase<IEnumMoniker> {
 public:
  CEnumDeviceMonikers(std::vector<ComPtr<IMoniker>> monikers, size_t nPosition)
      : CComBase("CEnumDeviceMonikers"), m_monikers(std::move(monikers)), m_nPosition(nPosition) {}

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_IEnumMoniker) {
      return GetInterface(static_cast<IEnumMoniker*>(this), ppv);
    }
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }

  STDMETHODIMP Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) override {
    if (rgelt == nullptr || (pceltFetched == nullptr && celt != 1)) {
      return E_POINTER;
    }
    return RunOperation("IEnumMoniker::Next", [&]() -> HRESULT {
      ULONG cFetched = 0;
      while (cFetched < celt && m_nPosition < m_monikers.size()) {
        m_monikers[m_nPosition++].CopyTo(&rgelt[cFetched++]);
      }
      if (pceltFetched != nullptr) {
        *pceltFetched = cFetched;
      }
      return cFetched == celt ? S_OK : S_FALSE;
    });
  }

  STDMETHODIMP Skip(ULONG celt) override {
    const size_t nLeft = m_monikers.size() - std::min(m_nPosition, m_monikers.size());
    if (celt > nLeft) {
      m_nPosition = m_monikers.size();
      return S_FALSE;
    }
    m_nPosition += celt;
    return S_OK;
  }

  STDMETHODIMP Reset() override {
    return RunOperation("IEnumMoniker::Reset", [&]() -> HRESULT {
      m_nPosition = 0;
      return S_OK;
    });
  }

  STDMETHODIMP Clone(IEnumMoniker** ppenum) override {
    if (ppenum == nullptr) {
      return E_POINTER;
    }
    return NewComObject<CEnumDeviceMonikers>(ppenum, m_monikers, m_nPosition);
  }

 private:
  const std::vector<ComPtr<IMoniker>> m_monikers;
  size_t m_nPosition;
};

class CSystemDeviceEnum final : public CComBase<ICreateDevEnum> {
 public:
  CSystemDeviceEnum() : CComBase("CSystemDeviceEnum") {}

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_ICreateDevEnum) {
      return GetInterface(static_cast<ICreateDevEnum*>(this), ppv);
    }
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }

  // An empty category, or one the emulation does not know, gives S_FALSE and
  // no enumerator, as Windows does.
  STDMETHODIMP CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                     DWORD /*dwFlags*/) override {
    if (ppEnumMoniker == nullptr) {
      return E_POINTER;
    }
    *ppEnumMoniker = nullptr;
    return RunOperation("ICreateDevEnum::CreateClassEnumerator", [&]() -> HRESULT {
      if (clsidDeviceClass != CLSID_VideoInputDeviceCategory) {
        return S_FALSE;
      }
      std::vector<ComPtr<IMoniker>> monikers;
      for (emul::CaptureDevice& device : emul::CurrentCaptureDevices()) {
        auto* pMoniker = new (std::nothrow) CDeviceMoniker(std::move(device));
        if (pMoniker == nullptr) {
          return E_OUTOFMEMORY;
        }
        pMoniker->AddRef();
        ComPtr<IMoniker> p;
        p.Attach(pMoniker);
        monikers.push_back(p);
      }
      if (monikers.empty()) {
        return S_FALSE;
      }
      return NewComObject<CEnumDeviceMonikers>(ppEnumMoniker, std::move(monikers), 0);
    });
  }
};

const bool g_bRegistered = emul::RegisterClass(CLSID_SystemDeviceEnum, &CreateComInstance<CSystemDeviceEnum>);

}  // namespace
