// Closing at shut-down, and every failure on the open path.
#include "../support/camera_fixture.h"

namespace {

class OpenCloseTest : public CCameraTest {};

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

TEST_F(OpenCloseTest, RegisterFailuresLeaveTheValueAndRecordNothing) {
  iidc_handle handle = Open(0);
  const uint32_t before = iidc_getlasterror(0);
  uint32_t value = 0xDEADBEEF;
  emul::FailOperation("IKsPropertySet::Set", E_FAIL, 1);
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, 0x100, &value, 4), 0);
  emul::FailOperation("IKsPropertySet::Get", E_FAIL, 1);
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, 0x100, &value, 4), 0);
  EXPECT_EQ(value, 0xDEADBEEFu);
  // An address the camera does not implement fails; it never reads as zero.
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, 0x3FC, &value, 4), 0);
  EXPECT_EQ(value, 0xDEADBEEFu);
  vcam::GetCameraFaults(0)->writeFailure.SetAll();
  EXPECT_EQ(iidc1394_asyncwritequadlet(handle, 0x800, &value, 4), 0);
  EXPECT_EQ(iidc_getlasterror(0), before);
}

}  // namespace
