// The system device enumerator over an installed device provider.
#include "dshow_test_support.h"
#include "emul/devices.h"
#include "emul/fault.h"

namespace {

class DeviceEnumTest : public CDshowTest {
 protected:
  void SetUp() override {
    CDshowTest::SetUp();
    emul::SetDeviceProvider([this] {
      ++m_nProviderCalls;
      std::vector<emul::CaptureDevice> devices;
      for (const std::wstring& name : m_names) {
        devices.push_back({name, [](IBaseFilter** ppFilter) {
                             *ppFilter = CreateTestSource().Detach();
                             return S_OK;
                           }});
      }
      return devices;
    });
    m_pDevEnum = Create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
  }
  void TearDown() override {
    m_pDevEnum.Reset();
    emul::SetDeviceProvider(nullptr);
    CDshowTest::TearDown();
  }

  std::vector<ComPtr<IMoniker>> Monikers(HRESULT hrExpected = S_OK) {
    ComPtr<IEnumMoniker> pEnum;
    EXPECT_EQ(m_pDevEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, pEnum.ReleaseAndGetAddressOf(), 0),
              hrExpected);
    std::vector<ComPtr<IMoniker>> monikers;
    if (pEnum) {
      EXPECT_EQ(pEnum->Reset(), S_OK);
      ComPtr<IMoniker> pMoniker;
      while (pEnum->Next(1, pMoniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        monikers.push_back(pMoniker);
      }
    }
    return monikers;
  }

  static std::wstring FriendlyName(IMoniker* pMoniker) {
    ComPtr<IPropertyBag> pBag;
    EXPECT_EQ(pMoniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, pBag.ReleaseAndGetVoidAddressOf()), S_OK);
    VARIANT var;
    VariantInit(&var);
    EXPECT_EQ(pBag->Read(L"FriendlyName", &var, nullptr), S_OK);
    EXPECT_EQ(var.vt, VT_BSTR);
    std::wstring name = var.bstrVal != nullptr ? var.bstrVal : L"";
    VariantClear(&var);
    return name;
  }

  std::vector<std::wstring> m_names{L"Camera A", L"Camera B"};
  int m_nProviderCalls = 0;
  ComPtr<ICreateDevEnum> m_pDevEnum;
};

TEST_F(DeviceEnumTest, ListsTheProvidersDevicesInOrder) {
  std::vector<ComPtr<IMoniker>> monikers = Monikers();
  ASSERT_EQ(monikers.size(), 2u);
  EXPECT_EQ(FriendlyName(monikers[0].Get()), L"Camera A");
  EXPECT_EQ(FriendlyName(monikers[1].Get()), L"Camera B");
  EXPECT_EQ(RefCount(monikers[0].Get()), 1u);  // the enumerator is gone; only ours remains

  ComPtr<IPropertyBag> pBag;
  ASSERT_EQ(monikers[0]->BindToStorage(nullptr, nullptr, IID_IPropertyBag, pBag.ReleaseAndGetVoidAddressOf()), S_OK);
  VARIANT var;
  VariantInit(&var);
  EXPECT_EQ(pBag->Read(L"DevicePath", &var, nullptr), E_INVALIDARG);
  EXPECT_EQ(var.vt, VT_EMPTY);
}

TEST_F(DeviceEnumTest, BindingCreatesTheDevicesFilter) {
  std::vector<ComPtr<IMoniker>> monikers = Monikers();
  ASSERT_FALSE(monikers.empty());
  const long nLive = emul::LiveComObjects();
  ComPtr<IBaseFilter> pFilter;
  ASSERT_EQ(monikers[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, pFilter.ReleaseAndGetVoidAddressOf()), S_OK);
  EXPECT_GT(emul::LiveComObjects(), nLive);
  EXPECT_EQ(RefCount(pFilter.Get()), 1u);
  CLSID clsid;
  ASSERT_EQ(pFilter->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestSource);
  EXPECT_EQ(pFilter.Get()->Release(), 0u);
  (void)pFilter.Detach();
  EXPECT_EQ(emul::LiveComObjects(), nLive);

  ComPtr<IUnknown> pOther;
  EXPECT_EQ(monikers[0]->BindToObject(nullptr, nullptr, IID_IMediaControl, pOther.ReleaseAndGetVoidAddressOf()),
            E_NOINTERFACE);
  emul::FailOperation("IMoniker::BindToObject", E_FAIL, 1);
  EXPECT_EQ(monikers[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, pFilter.ReleaseAndGetVoidAddressOf()),
            E_FAIL);
  EXPECT_EQ(pFilter.Get(), nullptr);
}

TEST_F(DeviceEnumTest, AsksTheProviderAfreshEachTime) {
  EXPECT_EQ(Monikers().size(), 2u);
  m_names.push_back(L"Camera C");
  EXPECT_EQ(Monikers().size(), 3u);
  EXPECT_EQ(m_nProviderCalls, 2);
}

TEST_F(DeviceEnumTest, AnEmptyCategoryGivesSFalseAndNoEnumerator) {
  m_names.clear();
  EXPECT_TRUE(Monikers(S_FALSE).empty());
  emul::SetDeviceProvider(nullptr);
  EXPECT_TRUE(Monikers(S_FALSE).empty());
  ComPtr<IEnumMoniker> pEnum;
  const CLSID CLSID_AudioInputDeviceCategory{0x33d9a762, 0x90c8, 0x11d0, {0xbd, 0x43, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
  EXPECT_EQ(m_pDevEnum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, pEnum.ReleaseAndGetAddressOf(), 0),
            S_FALSE);
  EXPECT_EQ(pEnum.Get(), nullptr);
}

}  // namespace
