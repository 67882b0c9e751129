// Library start, camera enumeration, identity, open and close, and raw
// register access on the built-in camera pair.
#include <cstring>
#include <string>

#include "behaviour_fixture.h"

using namespace behaviour;

namespace {

class BehaviourLibraryTest : public BehaviourTest {};

std::string Text(int32_t index, uint32_t id) {
  char buffer[64] = {};
  const int32_t n = iidc_getstring(index, id, buffer, sizeof buffer);
  return std::string(buffer, static_cast<size_t>((std::max)(n, 0)));
}

TEST_F(BehaviourLibraryTest, CountsTheTwoCamerasAndStartsOnlyOnce) {
  EXPECT_EQ(iidc_getcameracount(), CAMERA_COUNT);
  EXPECT_TRUE(iidc_init()) << "a second start succeeds";
  EXPECT_EQ(iidc_getcameracount(), CAMERA_COUNT) << "and enumerates nothing anew";
  EXPECT_EQ(iidc_getlasterror(-1), 0u) << "starting clears every slot";
  EXPECT_EQ(iidc_getlasterror(CAMERA_COUNT), 0u) << "an index past the cameras reads 0";

  iidc_uninit();
  EXPECT_EQ(iidc_getcameracount(), 0);
  EXPECT_EQ(iidc_getbustype(0), 0u) << "not started";
  EXPECT_EQ(iidc_getlasterror(0), 0u);
  ASSERT_TRUE(iidc_init());
  EXPECT_EQ(iidc_getcameracount(), CAMERA_COUNT);
}

TEST_F(BehaviourLibraryTest, CapabilityAndBusTypeJudgeTheIndex) {
  EXPECT_EQ(iidc_getcapability(0, IIDC_CAPABILITY_INTERFACE), IIDC_INTERFACE_VERSION);
  EXPECT_EQ(iidc_getcapability(1, IIDC_CAPABILITY_REVISION), IIDC_INTERFACE_REVISION);
  EXPECT_EQ(iidc_getcapability(-1, IIDC_CAPABILITY_COLORS), uint32_t{IIDC_COLOR_LAST});
  EXPECT_EQ(iidc_getcapability(CAMERA_COUNT, 0), IIDC_INTERFACE_VERSION) << "the count itself passes";

  EXPECT_EQ(iidc_getcapability(CAMERA_COUNT + 1, 0), 0u);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_getcapability(0, 3), 0u);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);

  EXPECT_EQ(iidc_getbustype(0), IIDC_BUSTYPE_1394);
  EXPECT_EQ(iidc_getbustype(CAMERA_COUNT - 1), IIDC_BUSTYPE_1394);
  EXPECT_EQ(iidc_getbustype(-1), IIDC_BUSTYPE_1394) << "negative indexes pass";
  EXPECT_EQ(iidc_getbustype(CAMERA_COUNT), 0u);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_getlasterror(1), 0u) << "an index out of range reaches the global slot only";
}

TEST_F(BehaviourLibraryTest, IdentityOfBothCamerasOpenOrClosed) {
  // Closed indexes: the device is bound for the call only.
  EXPECT_EQ(Text(COLOR_CAMERA, IIDC_STRING_UNIQUEID), "0100000001");
  EXPECT_EQ(Text(MONO_CAMERA, IIDC_STRING_UNIQUEID), "0100000002");
  EXPECT_EQ(Text(COLOR_CAMERA, IIDC_STRING_VENDOR), std::string("Virtual Optics\0\0", 16))
      << "the leaf's zero padding is part of the text";
  EXPECT_EQ(Text(COLOR_CAMERA, IIDC_STRING_MODEL), "VC-1280C");
  EXPECT_EQ(Text(MONO_CAMERA, IIDC_STRING_MODEL), "VM-1024M");

  // The same texts through an open camera, which stays open and usable.
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Text(COLOR_CAMERA, IIDC_STRING_MODEL), "VC-1280C");
  EXPECT_EQ(Text(COLOR_CAMERA, IIDC_STRING_UNIQUEID), "0100000001");
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);

  // The closed index read above opens normally afterwards.
  iidc_handle hMono = Open(MONO_CAMERA);
  EXPECT_NE(hMono, nullptr);
}

TEST_F(BehaviourLibraryTest, OpenGivesOneHandlePerIndex) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
  EXPECT_EQ(iidc_handletoindex(h), COLOR_CAMERA);

  EXPECT_EQ(iidc_open(COLOR_CAMERA), nullptr) << "already open";
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_ALREADY_OPEN);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED) << "the first handle stays valid";

  iidc_handle hMono = Open(MONO_CAMERA);
  ASSERT_NE(hMono, nullptr);
  EXPECT_NE(hMono, h);
  EXPECT_EQ(iidc_handletoindex(hMono), MONO_CAMERA);
  EXPECT_EQ(iidc_getlasterror(MONO_CAMERA), 0u);

  // One past the last camera: recorded under camera 0 as well as globally.
  EXPECT_EQ(iidc_open(CAMERA_COUNT), nullptr);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_HANDLE);
  iidc_getcapability(0, 7);
  ASSERT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_open(-1), nullptr);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_HANDLE) << "recorded under camera 0";
}

TEST_F(BehaviourLibraryTest, ClosedHandlesAreInvalidAndTheIndexOpensAgain) {
  iidc_handle h = Open(MONO_CAMERA);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(iidc_getstring(MONO_CAMERA, 0x99, nullptr, 0), 0);
  ASSERT_EQ(iidc_getlasterror(MONO_CAMERA), IIDC_ERR_INVALID_PARAMETER);

  EXPECT_TRUE(Close(h));
  EXPECT_EQ(iidc_getlasterror(MONO_CAMERA), 0u) << "closing clears the camera's slot";
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER) << "but not the global one";

  // A closed handle fails through the global slot (every export with every
  // kind of bad handle is the bad-input suite's).
  EXPECT_FALSE(iidc_close(h));
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_getlasterror(MONO_CAMERA), 0u);
  EXPECT_EQ(iidc_handletoindex(h), -1);
  EXPECT_EQ(iidc_getstatus(h), 0);

  iidc_handle hAgain = Open(MONO_CAMERA);
  ASSERT_NE(hAgain, nullptr);
  EXPECT_EQ(iidc_getstatus(hAgain), IIDC_STATE_OPENED);
  EXPECT_EQ(iidc_handletoindex(hAgain), MONO_CAMERA);
}

TEST_F(BehaviourLibraryTest, RegistersReadAndWriteOneQuadlet) {
  iidc_handle hColor = Open(COLOR_CAMERA);
  iidc_handle hMono = Open(MONO_CAMERA);
  ASSERT_NE(hColor, nullptr);
  ASSERT_NE(hMono, nullptr);

  // Formats 0, 1 and 7 on the colour camera, 0 and 1 on the monochrome one.
  uint32_t value = 0;
  EXPECT_EQ(iidc1394_asyncreadquadlet(hColor, REG_V_FORMAT_INQ, &value, 4), 4);
  EXPECT_EQ(value, 0xC1000000u);
  EXPECT_EQ(iidc1394_asyncreadquadlet(hMono, REG_V_FORMAT_INQ, &value, 8), 4) << "the length is not examined";
  EXPECT_EQ(value, 0xC0000000u);
  EXPECT_EQ(iidc1394_asyncreadquadlet(hColor, REG_CUR_V_FORMAT, &value, 0), 4);
  EXPECT_EQ(value >> 29, 0u);
  EXPECT_EQ(iidc1394_asyncreadquadlet(hColor, REG_CUR_V_MODE, &value, 4), 4);
  EXPECT_EQ(value >> 29, 3u);
  EXPECT_EQ(iidc1394_asyncreadquadlet(hColor, REG_CUR_V_FRM_RATE, &value, 4), 4);
  EXPECT_EQ(value >> 29, 4u) << "30 frames per second";

  // Bus information block through offsets that wrap below the base: "1394",
  // then the chip id's top byte and its lower 32 bits.
  EXPECT_EQ(iidc1394_asyncreadquadlet(hColor, INITIAL_SPACE + 0x404, &value, 4), 4);
  EXPECT_EQ(value, 0x31333934u);
  EXPECT_EQ(iidc1394_asyncreadquadlet(hColor, INITIAL_SPACE + 0x40C, &value, 4), 4);
  EXPECT_EQ(value & 0xFF, 0x01u);
  EXPECT_EQ(iidc1394_asyncreadquadlet(hMono, INITIAL_SPACE + 0x410, &value, 4), 4);
  EXPECT_EQ(value, 0x00000002u);

  // A write to brightness takes effect and reads back.
  uint32_t original = 0;
  ASSERT_EQ(iidc1394_asyncreadquadlet(hColor, REG_BRIGHTNESS, &original, 4), 4);
  CFinally restore([&] { iidc1394_asyncwritequadlet(hColor, REG_BRIGHTNESS, &original, 4); });
  EXPECT_EQ(original & 0xFFF, 128u);
  const uint32_t written = (original & ~0xFFFu) | 77;
  EXPECT_EQ(iidc1394_asyncwritequadlet(hColor, REG_BRIGHTNESS, &written, 8), 4);
  EXPECT_EQ(iidc1394_asyncreadquadlet(hColor, REG_BRIGHTNESS, &value, 4), 4);
  EXPECT_EQ(value, written);
}

TEST_F(BehaviourLibraryTest, RefusedRegisterLeavesTheValueAndRecordsNothing) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  const uint32_t before = iidc_getlasterror(-1);
  uint32_t value = 0x5A5A5A5A;
  EXPECT_EQ(iidc1394_asyncreadquadlet(h, 0x101, &value, 4), 0) << "unaligned";
  EXPECT_EQ(iidc1394_asyncreadquadlet(h, 0x00F0, &value, 4), 0) << "not a register of the camera";
  EXPECT_EQ(value, 0x5A5A5A5Au);
  EXPECT_EQ(iidc1394_asyncwritequadlet(h, 0x101, &value, 4), 0);
  EXPECT_EQ(iidc_getlasterror(-1), before);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), 0u);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
}

}  // namespace
