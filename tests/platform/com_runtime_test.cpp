#include <gtest/gtest.h>

#include <cwchar>
#include <thread>

#include "base/com_ptr.h"
#include "emul/class_registry.h"
#include "tests/platform/test_object.h"
#include "tests/support/emul_env.h"

namespace {

class ComRuntimeTest : public CEmulTest {
 protected:
  void SetUp() override {
    CEmulTest::SetUp();
    emul::RegisterClass(CLSID_TestObject, &CreateComInstance<CTestObject>);
  }
  void TearDown() override {
    emul::RegisterClass(CLSID_TestObject, nullptr);
    CEmulTest::TearDown();
  }

  // Apartment state is per thread: each check runs on a fresh one.
  template <class F>
  static void OnNewThread(F f) {
    std::thread(f).join();
  }
};

TEST_F(ComRuntimeTest, InitialisationCountsPerApartment) {
  OnNewThread([] {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();
    // Balanced: the thread may now choose the other apartment.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();  // one too many is ignored
    EXPECT_EQ(CoInitializeEx(reinterpret_cast<LPVOID>(1), COINIT_MULTITHREADED), E_INVALIDARG);
  });
}

TEST_F(ComRuntimeTest, CreationNeedsAnApartment) {
  OnNewThread([] {
    ComPtr<IPersist> pPersist;
    EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IPersist,
                               pPersist.ReleaseAndGetVoidAddressOf()),
              CO_E_NOTINITIALIZED);
    EXPECT_FALSE(pPersist);
  });
  // Any thread in the multithreaded apartment lets uninitialised threads in.
  CComApartment mta(COINIT_MULTITHREADED);
  ASSERT_EQ(mta.Result(), S_OK);
  OnNewThread([] {
    ComPtr<IPersist> pPersist;
    EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IPersist,
                               pPersist.ReleaseAndGetVoidAddressOf()),
              S_OK);
  });
}

TEST_F(ComRuntimeTest, CreatesRegisteredClassesOnly) {
  CComApartment sta;
  ComPtr<IPersist> pPersist;
  ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IPersist,
                             pPersist.ReleaseAndGetVoidAddressOf()),
            S_OK);
  CLSID clsid{};
  EXPECT_EQ(pPersist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(clsid == CLSID_TestObject);
  EXPECT_EQ(RefCount(pPersist.Get()), 1u);

  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IPin, &pv), E_NOINTERFACE);
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, 0, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_REMOTE_SERVER, IID_IUnknown, &pv),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, pPersist.Get(), CLSCTX_ALL, IID_IPersist, &pv),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IPersist, nullptr), E_POINTER);

  const CLSID CLSID_Unknown{0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
  EXPECT_EQ(CoCreateInstance(CLSID_Unknown, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(pv, nullptr);

  emul::RegisterClass(CLSID_TestObject, nullptr);
  EXPECT_EQ(emul::FindClass(CLSID_TestObject), nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);
}

TEST_F(ComRuntimeTest, BstrKeepsItsLengthAndEmptyAllocationsAreBlocks) {
  BSTR bstr = SysAllocString(L"Camera");
  ASSERT_NE(bstr, nullptr);
  EXPECT_EQ(SysStringLen(bstr), 6u);
  EXPECT_EQ(std::wcscmp(bstr, L"Camera"), 0);
  SysFreeString(bstr);

  BSTR blank = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(SysStringLen(blank), 3u);
  EXPECT_EQ(blank[0], L'\0');
  EXPECT_EQ(blank[3], L'\0');
  SysFreeString(blank);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);

  void* p = CoTaskMemAlloc(0);  // a block, not a failure
  EXPECT_NE(p, nullptr);
  CoTaskMemFree(p);
  CoTaskMemFree(nullptr);
}

TEST_F(ComRuntimeTest, VariantClearReleasesWhatItHolds) {
  VARIANT var;
  VariantInit(&var);
  EXPECT_EQ(var.vt, VT_EMPTY);
  var.vt = VT_BSTR;
  var.bstrVal = SysAllocString(L"FriendlyName");
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(var.vt, VT_EMPTY);

  ComPtr<IUnknown> pUnk;
  ASSERT_EQ(CreateComInstance<CTestObject>(nullptr, IID_IUnknown, pUnk.ReleaseAndGetVoidAddressOf()), S_OK);
  var.vt = VT_UNKNOWN;
  ASSERT_EQ(pUnk.CopyTo(&var.punkVal), S_OK);
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(RefCount(pUnk.Get()), 1u);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace
