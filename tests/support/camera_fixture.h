// CCameraTest: the library started over a set of virtual cameras on stepped
// clocks (the built-in pair unless a test installs its own first), with the
// emulation's leak check of CEmulTest around every test.
//
//   class FeatureTest : public CCameraTest {};
//   TEST_F(FeatureTest, ...) { iidc_handle h = Open(0); ... }
#pragma once

#include <memory>
#include <vector>

#include "emul_env.h"
#include "iidc.h"
#include "vcam/filter/test_support.h"

class CCameraTest : public CEmulTest {
 protected:
  void SetUp() override {
    CEmulTest::SetUp();
    m_apartment = std::make_unique<CComApartment>();
  }

  void TearDown() override {
    iidc_uninit();   // also closes what a test left open
    vcam::ResetActiveCameraSet();
    m_apartment.reset();
    CEmulTest::TearDown();
  }

  // Installs set and starts the library over it.
  void Start(std::vector<vcam::Profile> set = vcam::BuiltInCameraSet()) {
    m_clocks = vcam::InstallSteppedCameraSet(std::move(set));
    ASSERT_TRUE(iidc_init());
  }

  // Starts the library (over the built-in pair if nothing was started) and
  // opens camera index.
  iidc_handle Open(int32_t index) {
    if (iidc_getcameracount() == 0) {
      Start();
    }
    iidc_handle handle = iidc_open(index);
    EXPECT_NE(handle, nullptr) << "iidc_open(" << index << ") failed: 0x" << std::hex << iidc_getlasterror(-1);
    return handle;
  }

  std::vector<std::shared_ptr<vcam::CSteppedClock>> m_clocks;

 private:
  std::unique_ptr<CComApartment> m_apartment;
};
