// Test support for code running on the emulated platform.
//
// CEmulTest: a fixture that starts every test with no injected faults, an
// empty call log and real time, and fails a test that leaves behind a COM
// object it did not find alive at its start:
//
//   class CaptureGraphTest : public CEmulTest {};
//   TEST_F(CaptureGraphTest, ...) { ... }
//
// CComApartment: COM initialised on the current thread for a scope.
#pragma once

#include <gtest/gtest.h>

#include "emul/clock.h"
#include "emul/fault.h"
#include "winapi.h"

class CEmulTest : public ::testing::Test {
 protected:
  void SetUp() override {
    emul::ResetFaults();
    emul::UseVirtualTime(false);
    m_nLiveAtStart = emul::LiveComObjects();
  }

  void TearDown() override {
    EXPECT_EQ(emul::LiveComObjects(), m_nLiveAtStart) << "COM objects left alive by the test";
    emul::ResetFaults();
    emul::UseVirtualTime(false);
  }

  long m_nLiveAtStart = 0;
};

class CComApartment {
 public:
  explicit CComApartment(DWORD dwCoInit = COINIT_APARTMENTTHREADED)
      : m_hr(CoInitializeEx(nullptr, dwCoInit)) {}
  ~CComApartment() {
    if (SUCCEEDED(m_hr)) {
      CoUninitialize();
    }
  }
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;

  HRESULT Result() const { return m_hr; }

 private:
  HRESULT m_hr;
};
