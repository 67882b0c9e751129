#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/emul_env.h"

namespace {

class FaultTest : public CEmulTest {
 protected:
  // Whether CreateEventA succeeded, closing what it made.
  static bool CreateEventSucceeds() {
    HANDLE h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (h == nullptr) {
      return false;
    }
    CloseHandle(h);
    return true;
  }
};

TEST_F(FaultTest, NthCallFailsOnceAndZeroEveryCallUntilReset) {
  emul::FailOperation("CreateEventA", E_FAIL, -1);  // ignored
  emul::FailOperation("CreateEventA", E_OUTOFMEMORY, 2);
  EXPECT_TRUE(CreateEventSucceeds());
  EXPECT_FALSE(CreateEventSucceeds());
  EXPECT_EQ(GetLastError(), 14u);  // E_OUTOFMEMORY carries ERROR_OUTOFMEMORY
  EXPECT_TRUE(CreateEventSucceeds());

  emul::FailOperation("CreateEventA", E_FAIL);
  EXPECT_FALSE(CreateEventSucceeds());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_FAIL));  // not a Win32 code: passed whole
  EXPECT_FALSE(CreateEventSucceeds());
  emul::ResetFaults();
  EXPECT_TRUE(CreateEventSucceeds());
}

TEST_F(FaultTest, FaultsCountFromWhenTheyWereSet) {
  emul::FailOperation("CoCreateInstance", E_FAIL, 2);  // calls 2 from here
  void* pv = nullptr;
  CComApartment sta;
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);
  // Set after call 1: these fire on calls 3 and 4.
  emul::FailOperation("CoCreateInstance", E_ABORT, 2);
  emul::FailOperation("CoCreateInstance", E_ACCESSDENIED, 3);
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), E_FAIL);
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), E_ABORT);
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), E_ACCESSDENIED);
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(emul::CallCount("CoCreateInstance"), 5);
}

TEST_F(FaultTest, EarlierFaultWinsWhenTwoFire) {
  emul::FailOperation("SetEvent", E_ABORT, 1);
  emul::FailOperation("SetEvent", E_FAIL, 0);
  SetEvent(nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_ABORT));
  SetEvent(nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_FAIL));
}

TEST_F(FaultTest, Win32FunctionsFailWithTheirOwnValues) {
  emul::FailOperation("WaitForSingleObject", HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  emul::FailOperation("VirtualAlloc", E_OUTOFMEMORY);
  emul::FailOperation("VirtualFree", E_FAIL);
  emul::FailOperation("CreateBitmap", E_FAIL);
  HANDLE h = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
  EXPECT_EQ(VirtualAlloc(nullptr, 1, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_FALSE(VirtualFree(nullptr, 0, MEM_RELEASE));
  EXPECT_EQ(CreateBitmap(1, 1, 1, 24, nullptr), nullptr);
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(FaultTest, LogListsFaultableCallsInOrder) {
  HANDLE h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  SetEvent(h);
  WaitForSingleObject(h, 0);
  CloseHandle(h);
  const std::vector<std::string> expected = {"CreateEventA", "SetEvent", "WaitForSingleObject", "CloseHandle"};
  EXPECT_EQ(emul::CallLog(), expected);
  emul::ResetFaults();
  EXPECT_TRUE(emul::CallLog().empty());
  EXPECT_EQ(emul::CallCount("SetEvent"), 0);
}

TEST_F(FaultTest, CountsCallsFromManyThreads) {
  constexpr int THREADS = 4;
  constexpr int CALLS = 500;
  std::vector<std::thread> threads;
  for (int i = 0; i < THREADS; ++i) {
    threads.emplace_back([] {
      for (int n = 0; n < CALLS; ++n) {
        emul::FaultFor("IMediaControl::Run");
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(emul::CallCount("IMediaControl::Run"), THREADS * CALLS);
}

}  // namespace
