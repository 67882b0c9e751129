// Start-up and its failures, and the error slots.
#include <thread>

#include "../support/camera_fixture.h"

namespace {

class LibraryTest : public CCameraTest {};

TEST_F(LibraryTest, CapabilityOfNegativeIndexesNeedsNoStart) {
  EXPECT_EQ(iidc_getcapability(-1, 0), 0x01000000u);
  EXPECT_EQ(iidc_getcapability(0, 0), 0u);
}

TEST_F(LibraryTest, NoDeviceOrAFailedStepMeansNoStart) {
  vcam::InstallSteppedCameraSet({});
  EXPECT_FALSE(iidc_init());
  EXPECT_EQ(iidc_getcameracount(), 0);
  vcam::InstallSteppedCameraSet();
  for (const char* op : {"CoCreateInstance", "ICreateDevEnum::CreateClassEnumerator"}) {
    emul::FailOperation(op, E_FAIL, 1);
    EXPECT_FALSE(iidc_init()) << op;
    EXPECT_EQ(iidc_getcameracount(), 0) << op;
  }
  EXPECT_TRUE(iidc_init());
}

TEST_F(LibraryTest, ComInTheOtherApartmentIsKept) {
  vcam::InstallSteppedCameraSet();
  std::thread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_TRUE(iidc_init());
    EXPECT_EQ(iidc_getcameracount(), 2);
    iidc_uninit();
    // The application's own initialisation is still in force.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  }).join();
}

TEST_F(LibraryTest, ErrorSlotOfTheLastCameraAndSuccessesThatClearNothing) {
  Start();
  const int32_t n = iidc_getcameracount();
  EXPECT_EQ(iidc_getcapability(n - 1, 7), 0u);
  EXPECT_EQ(iidc_getlasterror(n - 1), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getlasterror(0), 0u);
  EXPECT_EQ(iidc_getcapability(0, 2), 6u);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getlasterror(1000), 0u);
}

}  // namespace
