// Raw register access through the driver's property set.
#include "../support/camera_fixture.h"

namespace {

class RegistersTest : public CCameraTest {};

constexpr uint32_t V_FORMAT_INQ = 0x100;
constexpr uint32_t CUR_V_MODE = 0x604;
constexpr uint32_t BRIGHTNESS_CONTROL = 0x800;

TEST_F(RegistersTest, ReadsAndWritesOneQuadletWhateverTheLength) {
  iidc_handle handle = Open(0);
  uint32_t value = 0;
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, V_FORMAT_INQ, &value, 4), 4);
  EXPECT_NE(value & 0x01000000u, 0u) << "the colour camera offers Format 7";
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, CUR_V_MODE, &value, 0), 4);
  EXPECT_EQ(value >> 29, 3u);

  uint32_t control = 0;
  ASSERT_EQ(iidc1394_asyncreadquadlet(handle, BRIGHTNESS_CONTROL, &control, 8), 4);
  const uint32_t written = (control & ~0xFFFu) | 77;
  EXPECT_EQ(iidc1394_asyncwritequadlet(handle, BRIGHTNESS_CONTROL, &written, 8), 4);
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, BRIGHTNESS_CONTROL, &value, 4), 4);
  EXPECT_EQ(value & 0xFFF, 77u);
}

TEST_F(RegistersTest, TheRomIsReachedThroughWrappingOffsets) {
  iidc_handle handle = Open(0);
  uint32_t value = 0;
  // Bus information block: the quadlet after the header reads "1394".
  ASSERT_EQ(iidc1394_asyncreadquadlet(handle, 0xFF100404, &value, 4), 4);
  EXPECT_EQ(value, 0x31333934u);
  ASSERT_EQ(iidc1394_asyncreadquadlet(handle, 0xFF100410, &value, 4), 4);
  EXPECT_EQ(value, 0x00000001u);   // low half of the unique id
}

TEST_F(RegistersTest, FailuresLeaveTheValueAndRecordNothing) {
  iidc_handle handle = Open(0);
  const uint32_t before = iidc_getlasterror(0);
  uint32_t value = 0xDEADBEEF;
  emul::FailOperation("IKsPropertySet::Set", E_FAIL, 1);
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, V_FORMAT_INQ, &value, 4), 0);
  emul::FailOperation("IKsPropertySet::Get", E_FAIL, 1);
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, V_FORMAT_INQ, &value, 4), 0);
  EXPECT_EQ(value, 0xDEADBEEFu);
  // An address the camera does not implement fails; it never reads as zero.
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, 0x3FC, &value, 4), 0);
  EXPECT_EQ(value, 0xDEADBEEFu);
  vcam::GetCameraFaults(0)->writeFailure.SetAll();
  EXPECT_EQ(iidc1394_asyncwritequadlet(handle, BRIGHTNESS_CONTROL, &value, 4), 0);
  EXPECT_EQ(iidc_getlasterror(0), before);
}

TEST_F(RegistersTest, BadHandlesAndPointersAreRefused) {
  iidc_handle handle = Open(0);
  uint32_t value = 0;
  int local = 0;
  EXPECT_EQ(iidc1394_asyncreadquadlet(reinterpret_cast<iidc_handle>(&local), V_FORMAT_INQ, &value, 4), 0);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc1394_asyncwritequadlet(nullptr, V_FORMAT_INQ, &value, 4), 0);
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, V_FORMAT_INQ, nullptr, 4), 0);
  EXPECT_EQ(iidc1394_asyncwritequadlet(handle, V_FORMAT_INQ, nullptr, 4), 0);
  iidc_close(handle);
  EXPECT_EQ(iidc1394_asyncreadquadlet(handle, V_FORMAT_INQ, &value, 4), 0);
}

}  // namespace
