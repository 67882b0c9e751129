// Start-up in an apartment the application chose, the error slots at the
// edges of the camera set, and what the library knows before it starts.
#include <string>
#include <thread>

#include "tests/support/camera_fixture.h"

namespace {

class LibraryTest : public CCameraTest {};

TEST_F(LibraryTest, CapabilityOfNegativeIndexesNeedsNoStart) {
  EXPECT_EQ(iidc_getcapability(-1, 0), 0x01000000u);
  EXPECT_EQ(iidc_getcapability(0, 0), 0u);
}

TEST_F(LibraryTest, NoDeviceMeansNoStart) {
  vcam::InstallSteppedCameraSet({});
  EXPECT_FALSE(iidc_init());
  EXPECT_EQ(iidc_getcameracount(), 0);
  EXPECT_EQ(iidc_getlasterror(0), 0u);
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

// Sets of one, two and three cameras: the last camera has a slot of its own,
// the index past it reads 0, and a success clears nothing.
TEST_F(LibraryTest, ErrorSlotOfTheLastCameraAndSuccessesThatClearNothing) {
  for (size_t nCameras = 1; nCameras <= 3; ++nCameras) {
    SCOPED_TRACE(std::to_string(nCameras) + " cameras");
    std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
    const vcam::Profile first = set[0];
    set.resize(nCameras, first);
    for (size_t i = 0; i < nCameras; ++i) set[i].ullUniqueId += i;
    Start(set);
    const int32_t n = iidc_getcameracount();
    ASSERT_EQ(n, static_cast<int32_t>(nCameras));
    EXPECT_EQ(iidc_getcapability(n - 1, 7), 0u);
    EXPECT_EQ(iidc_getlasterror(n - 1), IIDC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(iidc_getlasterror(n), 0u);
    EXPECT_EQ(iidc_getcapability(n, 2), 6u);
    EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);
    iidc_handle h = iidc_open(n - 1);
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(iidc_handletoindex(h), n - 1);
    EXPECT_EQ(iidc_open(n), nullptr);
    EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
    iidc_uninit();
    EXPECT_EQ(iidc_handletoindex(h), -1) << "closed at shut-down";
  }
}

}  // namespace
