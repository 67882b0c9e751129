// The virtual cameras in the emulated system device enumerator.
#include <cstdlib>
#include <optional>
#include <string>

#include "tests/vcam_filter/vcam_test.h"

namespace vcam_test {
namespace {

struct CListedDevice {
  std::wstring name;
  ComPtr<IMoniker> pMoniker;
};

std::vector<CListedDevice> EnumerateVideoInputDevices() {
  std::vector<CListedDevice> devices;
  ComPtr<ICreateDevEnum> pDevEnum;
  EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_ALL, IID_ICreateDevEnum,
                             pDevEnum.ReleaseAndGetVoidAddressOf()),
            S_OK);
  ComPtr<IEnumMoniker> pEnum;
  if (!pDevEnum || pDevEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &pEnum, 0) != S_OK) {
    return devices;
  }
  ComPtr<IMoniker> pMoniker;
  while (pEnum->Next(1, &pMoniker, nullptr) == S_OK) {
    CListedDevice device;
    ComPtr<IPropertyBag> pBag;
    if (SUCCEEDED(pMoniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, pBag.ReleaseAndGetVoidAddressOf()))) {
      VARIANT name;
      VariantInit(&name);
      if (SUCCEEDED(pBag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR) {
        device.name = name.bstrVal;
      }
      VariantClear(&name);
    }
    device.pMoniker = pMoniker;
    devices.push_back(std::move(device));
  }
  return devices;
}

class CDevicesTest : public CVcamTest {};

TEST_F(CDevicesTest, TheBuiltInPairIsListedByFriendlyNameAndBindsToItsCameras) {
  ::unsetenv(vcam::PROFILE_ENVIRONMENT_VARIABLE);
  vcam::ResetActiveCameraSet();
  const std::vector<CListedDevice> devices = EnumerateVideoInputDevices();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].name, L"Virtual Optics VC-1280C");
  EXPECT_EQ(devices[1].name, L"Virtual Optics VM-1024M");
  for (std::size_t i = 0; i < devices.size(); ++i) {
    ComPtr<IBaseFilter> pFilter;
    ASSERT_EQ(devices[i].pMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, pFilter.ReleaseAndGetVoidAddressOf()),
              S_OK);
    EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(i));
  }
}

TEST_F(CDevicesTest, AnInstalledSetReplacesTheList) {
  std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
  set.resize(1);
  set[0].strFriendlyName = "Bench camera \xC3\xA9";  // UTF-8 e-acute
  m_clocks = vcam::InstallSteppedCameraSet(set);
  const std::vector<CListedDevice> devices = EnumerateVideoInputDevices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].name, L"Bench camera \u00E9");
  vcam::SetActiveCameraSet({});
  EXPECT_TRUE(EnumerateVideoInputDevices().empty());
}

// The property bag of a registered device, holding what the test puts in.
class CBag final : public IPropertyBag {
 public:
  explicit CBag(std::optional<LONG> nIndex) : m_nIndex(nIndex) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown && riid != IID_IPropertyBag) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IPropertyBag*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }  // lives on the test's stack
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog*) override {
    if (std::wstring(pszPropName) != vcam::CAMERA_INDEX_PROPERTY || !m_nIndex) {
      return E_INVALIDARG;
    }
    pVar->vt = VT_I4;
    pVar->lVal = *m_nIndex;
    return S_OK;
  }
  STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  std::optional<LONG> m_nIndex;
};

// Registered as a system device, one filter class serves every camera: the
// device's bag names the camera.
TEST_F(CDevicesTest, TheDeviceBagBindsTheFilterToItsCamera) {
  ComPtr<IBaseFilter> pFilter = CreateFilter(COLOR_CAMERA);
  ComPtr<IPersistPropertyBag> pPersist;
  ASSERT_EQ(pFilter.As(IID_IPersistPropertyBag, pPersist), S_OK);

  CBag mono(static_cast<LONG>(MONO_CAMERA));
  ASSERT_EQ(pPersist->Load(&mono, nullptr), S_OK);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA));
  // The pin offers the mono camera's picture (Mono8 travels as RGB8).
  AM_MEDIA_TYPE* pmt = nullptr;
  ASSERT_EQ(StreamConfig(pFilter.Get())->GetFormat(&pmt), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_RGB8);
  DeleteMediaType(pmt);

  CBag none(std::nullopt);
  EXPECT_EQ(pPersist->Load(&none, nullptr), S_OK);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA));
  CBag missing(2);
  CBag negative(-1);
  EXPECT_EQ(pPersist->Load(&missing, nullptr), E_INVALIDARG);
  EXPECT_EQ(pPersist->Load(&negative, nullptr), E_INVALIDARG);
  EXPECT_EQ(pPersist->Load(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA));

  // A connected filter keeps its camera.
  CCaptureGraph graph;
  ASSERT_EQ(graph.Build(pFilter.Get()), S_OK);
  CBag colour(static_cast<LONG>(COLOR_CAMERA));
  EXPECT_EQ(pPersist->Load(&colour, nullptr), VFW_E_WRONG_STATE);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA));
  graph.Release();
}

}  // namespace
}  // namespace vcam_test
