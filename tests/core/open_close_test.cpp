// Opening and closing cameras, and every failure on the open path.
#include "../support/camera_fixture.h"

namespace {

class OpenCloseTest : public CCameraTest {};

TEST_F(OpenCloseTest, OpenTwiceIsRefused) {
  iidc_handle first = Open(1);
  EXPECT_EQ(iidc_open(1), nullptr);
  EXPECT_EQ(iidc_getlasterror(1), IIDC_ERR_ALREADY_OPEN);
  EXPECT_EQ(iidc_handletoindex(first), 1);
  EXPECT_EQ(iidc_getstatus(first), IIDC_STATE_OPENED);
}

TEST_F(OpenCloseTest, IndexOutOfRangeIsRecordedUnderCameraZero) {
  Start();
  EXPECT_EQ(iidc_open(2), nullptr);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_open(-1), nullptr);
}

TEST_F(OpenCloseTest, CloseClearsTheCamerasSlotAndInvalidatesTheHandle) {
  iidc_handle handle = Open(0);
  EXPECT_EQ(iidc_getformatidlist(handle, nullptr, 0), 0);   // records a failure for camera 0
  ASSERT_NE(iidc_getlasterror(0), 0u);
  const uint32_t global = iidc_getlasterror(-1);
  EXPECT_TRUE(iidc_close(handle));
  EXPECT_EQ(iidc_getlasterror(0), 0u);
  EXPECT_EQ(iidc_getlasterror(-1), global);

  EXPECT_FALSE(iidc_close(handle));
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_handletoindex(handle), -1);

  iidc_handle again = iidc_open(0);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(iidc_handletoindex(again), 0);
}

TEST_F(OpenCloseTest, UninitClosesWhatIsStillOpen) {
  iidc_handle handle = Open(0);
  Open(1);
  iidc_uninit();
  EXPECT_EQ(iidc_handletoindex(handle), -1);
  // The leak check of the fixture proves that both graphs were released.
}

TEST_F(OpenCloseTest, EveryPlatformFailureOnTheOpenPathFailsCleanly) {
  Start();
  struct Case {
    const char* op;
    int nth;
    uint32_t code;
  };
  const Case cases[] = {
      {"CoCreateInstance", 1, IIDC_ERR_FAIL},   // system device enumerator
      {"ICreateDevEnum::CreateClassEnumerator", 1, IIDC_ERR_FAIL},
      {"IMoniker::BindToObject", 1, IIDC_ERR_NO_DEVICE},
      {"CoCreateInstance", 2, IIDC_ERR_FAIL},   // filter graph
      {"IGraphBuilder::AddFilter", 1, IIDC_ERR_FAIL},
      {"CoCreateInstance", 3, IIDC_ERR_FAIL},   // capture graph builder
      {"ICaptureGraphBuilder2::SetFiltergraph", 1, IIDC_ERR_FAIL},
      {"ICaptureGraphBuilder2::FindPin", 1, IIDC_ERR_FAIL},
  };
  for (const Case& c : cases) {
    emul::ResetFaults();
    emul::FailOperation(c.op, E_FAIL, c.nth);
    EXPECT_EQ(iidc_open(0), nullptr) << c.op << " #" << c.nth;
    EXPECT_EQ(iidc_getlasterror(0), c.code) << c.op << " #" << c.nth;
  }
  emul::ResetFaults();
  // A camera without the register property set cannot be opened.
  vcam::GetCameraFaults(0)->bNoPropertySet = true;
  EXPECT_EQ(iidc_open(0), nullptr);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_FAIL);
  vcam::GetCameraFaults(0)->bNoPropertySet = false;
  // After all that the camera still opens.
  EXPECT_NE(iidc_open(0), nullptr);
}

TEST_F(OpenCloseTest, PinWithoutStreamConfigurationStillOpens) {
  Start();
  vcam::GetCameraFaults(0)->bNoStreamConfig = true;
  iidc_handle handle = iidc_open(0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(iidc_getformatcount(handle), 0);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
}

}  // namespace
