// Start-up, camera count, error slots, capability and bus-type queries.
#include <thread>

#include "../support/camera_fixture.h"

namespace {

class LibraryTest : public CCameraTest {};

TEST_F(LibraryTest, NotStartedHasNoCamerasAndRecordsNothing) {
  EXPECT_EQ(iidc_getcameracount(), 0);
  EXPECT_EQ(iidc_getbustype(0), 0u);
  EXPECT_EQ(iidc_getlasterror(-1), 0u);
  EXPECT_EQ(iidc_open(0), nullptr);
  // Negative indexes pass the capability check even before start-up.
  EXPECT_EQ(iidc_getcapability(-1, 0), 0x01000000u);
  EXPECT_EQ(iidc_getcapability(0, 0), 0u);
}

TEST_F(LibraryTest, StartsOnceAndCountsTheDevices) {
  Start();
  EXPECT_EQ(iidc_getcameracount(), 2);
  EXPECT_TRUE(iidc_init());
  EXPECT_EQ(iidc_getcameracount(), 2);
  iidc_uninit();
  EXPECT_EQ(iidc_getcameracount(), 0);
  iidc_uninit();   // a second shut-down does nothing
}

TEST_F(LibraryTest, NoDeviceMeansNoStart) {
  vcam::InstallSteppedCameraSet({});
  EXPECT_FALSE(iidc_init());
  EXPECT_EQ(iidc_getcameracount(), 0);
}

TEST_F(LibraryTest, FailedStartUndoesEverything) {
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

TEST_F(LibraryTest, ErrorSlots) {
  Start();
  const int32_t n = iidc_getcameracount();
  // A failure under the last camera is visible in its slot and the global one.
  EXPECT_EQ(iidc_getcapability(n - 1, 7), 0u);
  EXPECT_EQ(iidc_getlasterror(n - 1), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);
  // An invalid handle reaches the global slot only.
  EXPECT_EQ(iidc_handletoindex(reinterpret_cast<iidc_handle>(const_cast<int32_t*>(&n))), -1);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_getlasterror(n - 1), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getlasterror(0), 0u);
  // Success clears nothing; indexes past the last camera read 0.
  EXPECT_EQ(iidc_getcapability(0, 2), 6u);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_getlasterror(n), 0u);
  EXPECT_EQ(iidc_getlasterror(1000), 0u);
  // A new start begins with clear slots.
  iidc_uninit();
  ASSERT_TRUE(iidc_init());
  EXPECT_EQ(iidc_getlasterror(-1), 0u);
}

TEST_F(LibraryTest, CapabilityAndBusType) {
  Start();
  const int32_t n = iidc_getcameracount();
  EXPECT_EQ(iidc_getcapability(n, 0), 0x01000000u);
  EXPECT_EQ(iidc_getcapability(0, 1), 0x01000001u);
  EXPECT_EQ(iidc_getcapability(n + 1, 0), 0u);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_getcapability(0, 3), 0u);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER);

  EXPECT_EQ(iidc_getbustype(n - 1), 0x00010001u);
  EXPECT_EQ(iidc_getbustype(-5), 0x00010001u);
  EXPECT_EQ(iidc_getbustype(n), 0u);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
}

}  // namespace
