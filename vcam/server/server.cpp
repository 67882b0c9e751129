// The virtual cameras as an in-process COM server for Windows: the capture
// filter's class object, and registration of every camera of the active set
// as a video input device, so that the system's device enumerator lists them
// beside real cameras.
//
// Each device is registered with IFilterMapper2 under an instance name of
// its own, its profile's friendly name, and its camera's index in its
// property bag; binding the device makes a filter and loads it from that bag
// (CVcamFilter::Load). The active set is the built-in pair, or the profiles
// file IIDC_VCAM_PROFILE names, at registration as at use.
#include <string>

#include "winapi.h"
#include "base/barrier.h"
#include "base/com_ptr.h"
#include "base/unknown.h"
#include "vcam/filter/capture_filter.h"
#include "vcam/filter/devices.h"
#include "vcam/model/camera_set.h"

namespace vcam {
namespace {

HMODULE g_hModule = nullptr;
LONG g_nServerLocks = 0;  // IClassFactory::LockServer

// Registered devices are named by their index; unregistration removes this
// many, whatever the active set is then.
constexpr int MAX_DEVICES = 64;

std::wstring InstanceName(int nIndex) { return L"IIDC virtual camera " + std::to_wstring(nIndex); }

// The class's key under HKEY_CLASSES_ROOT.
std::wstring ClassKey() {
  wchar_t szClsid[40] = {};
  StringFromGUID2(CLSID_VcamCaptureFilter, szClsid, 40);
  return std::wstring(L"CLSID\\") + szClsid;
}

// The class object lives as long as the module and is not counted.
class CClassFactory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  // A new filter on camera 0 of the active set; the device's bag rebinds it.
  STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    return ComBarrier([&]() -> HRESULT {
      if (ppv == nullptr) {
        return E_POINTER;
      }
      *ppv = nullptr;
      if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
      }
      std::shared_ptr<CCameraModel> pCamera = GetCameraModel(0);
      if (!pCamera) {
        return E_FAIL;  // the profiles file has no camera or cannot be read
      }
      ComPtr<IBaseFilter> pFilter;
      HRESULT hr = CVcamFilter::Create(pCamera, DriverLogOf(pCamera), pFilter.ReleaseAndGetAddressOf());
      return SUCCEEDED(hr) ? pFilter->QueryInterface(riid, ppv) : hr;
    });
  }
  STDMETHODIMP LockServer(BOOL fLock) override {
    if (fLock) {
      InterlockedIncrement(&g_nServerLocks);
    } else {
      InterlockedDecrement(&g_nServerLocks);
    }
    return S_OK;
  }
};

CClassFactory g_classFactory;

LONG SetString(HKEY hKey, LPCWSTR pszName, const std::wstring& value) {
  return RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// HKEY_CLASSES_ROOT\CLSID\{class}\InprocServer32 naming this module.
HRESULT RegisterClassKey() {
  wchar_t szPath[MAX_PATH] = {};
  const DWORD cchPath = GetModuleFileNameW(g_hModule, szPath, MAX_PATH);
  if (cchPath == 0 || cchPath >= MAX_PATH) {
    return E_FAIL;
  }
  const std::wstring key = ClassKey();
  HKEY hClass = nullptr;
  HKEY hServer = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hClass, nullptr);
  if (rc == ERROR_SUCCESS) {
    rc = SetString(hClass, nullptr, L"Virtual IIDC camera");
  }
  if (rc == ERROR_SUCCESS) {
    rc = RegCreateKeyExW(hClass, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &hServer, nullptr);
  }
  if (rc == ERROR_SUCCESS) {
    rc = SetString(hServer, nullptr, szPath);
  }
  if (rc == ERROR_SUCCESS) {
    rc = SetString(hServer, L"ThreadingModel", L"Both");
  }
  if (hServer != nullptr) {
    RegCloseKey(hServer);
  }
  if (hClass != nullptr) {
    RegCloseKey(hClass);
  }
  return HRESULT_FROM_WIN32(rc);
}

// One device: its registration, then its camera index in its bag.
HRESULT RegisterDevice(IFilterMapper2* pMapper, int nIndex, const std::wstring& friendlyName) {
  REGPINTYPES type{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
  REGFILTERPINS2 pin{};
  pin.dwFlags = REG_PINFLAG_B_OUTPUT;
  pin.cInstances = 1;
  pin.nMediaTypes = 1;
  pin.lpMediaType = &type;
  pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
  REGFILTER2 filter{};
  filter.dwVersion = 2;
  filter.dwMerit = MERIT_DO_NOT_USE;
  filter.cPins2 = 1;
  filter.rgPins2 = &pin;
  ComPtr<IMoniker> pMoniker;
  HRESULT hr = pMapper->RegisterFilter(CLSID_VcamCaptureFilter, friendlyName.c_str(), pMoniker.ReleaseAndGetAddressOf(),
                                       &CLSID_VideoInputDeviceCategory, InstanceName(nIndex).c_str(), &filter);
  if (FAILED(hr)) {
    return hr;
  }
  if (!pMoniker) {
    return E_FAIL;
  }
  ComPtr<IPropertyBag> pBag;
  hr = pMoniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, pBag.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = nIndex;
  return pBag->Write(CAMERA_INDEX_PROPERTY, &value);
}

HRESULT CreateMapper(IFilterMapper2** ppMapper) {
  return CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                          reinterpret_cast<void**>(ppMapper));
}

HRESULT UnregisterDevices(IFilterMapper2* pMapper) {
  for (int i = 0; i < MAX_DEVICES; ++i) {
    // Instances never registered answer an error, which is no error here.
    pMapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, InstanceName(i).c_str(), CLSID_VcamCaptureFilter);
  }
  return S_OK;
}

// COM for the calling thread for as long as it lives, if it had none.
class CComScope {
 public:
  CComScope() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~CComScope() {
    if (SUCCEEDED(m_hr)) {
      CoUninitialize();
    }
  }
  CComScope(const CComScope&) = delete;
  CComScope& operator=(const CComScope&) = delete;

 private:
  HRESULT m_hr;
};

}  // namespace
}  // namespace vcam

using namespace vcam;

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*pReserved*/) {
  if (dwReason == DLL_PROCESS_ATTACH) {
    g_hModule = hInstance;
    DisableThreadLibraryCalls(hInstance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  if (rclsid != CLSID_VcamCaptureFilter) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return g_classFactory.QueryInterface(riid, ppv);
}

// Filters may still stream on their own threads; the module stays while any
// object of it lives.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return CUnknown::LiveObjects() == 0 && g_nServerLocks == 0 ? S_OK : S_FALSE;
}

// Registers the class and one video input device per camera of the active
// set, replacing the devices of an earlier registration.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return ComBarrier([&]() -> HRESULT {
    const CComScope com;
    HRESULT hr = RegisterClassKey();
    if (FAILED(hr)) {
      return hr;
    }
    ComPtr<IFilterMapper2> pMapper;
    hr = CreateMapper(pMapper.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      return hr;
    }
    UnregisterDevices(pMapper.Get());
    const std::vector<Profile> profiles = GetActiveCameraSet();
    if (profiles.empty()) {
      return E_FAIL;  // a profiles file that cannot be read leaves no camera
    }
    for (std::size_t i = 0; i < profiles.size() && i < MAX_DEVICES; ++i) {
      hr = RegisterDevice(pMapper.Get(), static_cast<int>(i), WidenUtf8(profiles[i].strFriendlyName));
      if (FAILED(hr)) {
        UnregisterDevices(pMapper.Get());
        return hr;
      }
    }
    return S_OK;
  });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return ComBarrier([&]() -> HRESULT {
    const CComScope com;
    ComPtr<IFilterMapper2> pMapper;
    if (SUCCEEDED(CreateMapper(pMapper.ReleaseAndGetAddressOf()))) {
      UnregisterDevices(pMapper.Get());
    }
    const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
  });
}
