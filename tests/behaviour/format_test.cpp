// Format catalogue, format selection, frame rates and the Format 7 image
// area on the built-in camera pair.
#include <cmath>
#include <vector>

#include "behaviour_fixture.h"

using namespace behaviour;

namespace {

class BehaviourFormatTest : public BehaviourTest {
 protected:
  // Puts the colour camera into Format 7 mode m through its own registers (the
  // library selects Formats 0-2 only) and back to its power-up mode when the
  // returned guard ends.
  static void EnterFormat7(iidc_handle h, uint32_t mode) {
    const uint32_t format = 7u << 29;
    const uint32_t modeValue = mode << 29;
    ASSERT_EQ(iidc1394_asyncwritequadlet(h, REG_CUR_V_FORMAT, &format, 4), 4);
    ASSERT_EQ(iidc1394_asyncwritequadlet(h, REG_CUR_V_MODE, &modeValue, 4), 4);
    ASSERT_EQ(IIDC_FORMATID_FORMAT(iidc_currentformat(h)), 7);
  }
};

constexpr float RATE_TOLERANCE = 0.01f;

// What the colour camera's driver offers (format, mode, colour), then its
// Format 7 codings.
const std::vector<uint32_t>& ColorCatalogue() {
  static const std::vector<uint32_t> ids = {
      ListedId(0, 0, IIDC_COLOR_YUV444), ListedId(0, 1, IIDC_COLOR_YUV422), ListedId(0, 2, IIDC_COLOR_YUV411),
      ListedId(0, 3, IIDC_COLOR_YUV422), ListedId(0, 4, IIDC_COLOR_RGB8),   ListedId(0, 5, IIDC_COLOR_MONO8),
      ListedId(1, 0, IIDC_COLOR_YUV422), ListedId(1, 1, IIDC_COLOR_RGB8),   ListedId(1, 2, IIDC_COLOR_MONO8),
      ListedId(1, 3, IIDC_COLOR_YUV422), ListedId(1, 5, IIDC_COLOR_MONO8),
      // Format 7 mode 0: Mono8, YUV411, YUV422, RGB8, Mono16; mode 1: Mono8, YUV422, Mono16.
      ListedId(7, 0, IIDC_COLOR_MONO8), ListedId(7, 0, IIDC_COLOR_YUV411), ListedId(7, 0, IIDC_COLOR_YUV422),
      ListedId(7, 0, IIDC_COLOR_RGB8), ListedId(7, 0, IIDC_COLOR_MONO16), ListedId(7, 1, IIDC_COLOR_MONO8),
      ListedId(7, 1, IIDC_COLOR_YUV422), ListedId(7, 1, IIDC_COLOR_MONO16)};
  return ids;
}

std::vector<uint32_t> IdList(iidc_handle h, int32_t capacity) {
  std::vector<uint32_t> ids(static_cast<size_t>(capacity) + 1, 0xDEADBEEF);
  const int32_t cb = iidc_getformatidlist(h, ids.data(), capacity * 4);
  ids.resize(static_cast<size_t>((std::max)(cb, 0) / 4));
  return ids;
}

TEST_F(BehaviourFormatTest, CatalogueOfBothCameras) {
  iidc_handle hColor = Open(COLOR_CAMERA);
  iidc_handle hMono = Open(MONO_CAMERA);
  ASSERT_NE(hColor, nullptr);
  ASSERT_NE(hMono, nullptr);

  EXPECT_EQ(iidc_getformatcount(hColor), 19);
  EXPECT_EQ(IdList(hColor, 32), ColorCatalogue());

  EXPECT_EQ(iidc_getformatcount(hMono), 6) << "no Format 7";
  const std::vector<uint32_t> mono = {ListedId(0, 5, IIDC_COLOR_MONO8),  ListedId(0, 6, IIDC_COLOR_MONO16),
                                      ListedId(1, 2, IIDC_COLOR_MONO8),  ListedId(1, 5, IIDC_COLOR_MONO8),
                                      ListedId(1, 6, IIDC_COLOR_MONO16), ListedId(1, 7, IIDC_COLOR_MONO16)};
  EXPECT_EQ(IdList(hMono, 32), mono);

  // A short array is filled up to its capacity and no further.
  std::vector<uint32_t> ids(4, 0xDEADBEEF);
  EXPECT_EQ(iidc_getformatidlist(hColor, ids.data(), 6), 4) << "a partial entry is ignored";
  EXPECT_EQ(ids[0], ColorCatalogue()[0]);
  EXPECT_EQ(ids[1], 0xDEADBEEFu);
  EXPECT_EQ(IdList(hColor, 3), std::vector<uint32_t>(ColorCatalogue().begin(), ColorCatalogue().begin() + 3));

  EXPECT_EQ(iidc_getformatidlist(hColor, nullptr, 64), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getformatidlist(hMono, ids.data(), 0), 0);
  EXPECT_EQ(iidc_getlasterror(MONO_CAMERA), IIDC_ERR_INVALID_PARAMETER);
}

TEST_F(BehaviourFormatTest, FormatInfoFromTheTablesAndFromFormat7Registers) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  iidc_formatinfo info{};
  ASSERT_EQ(iidc_getformatinfo(h, &info, sizeof info, COLOR_INITIAL_ID), 1);
  EXPECT_EQ(info.capabilities, IIDC_FORMATCAPS_STANDARD);
  EXPECT_EQ(info.color, IIDC_COLOR_YUV422);
  EXPECT_EQ(info.width, VGA_WIDTH);
  EXPECT_EQ(info.height, VGA_HEIGHT);
  EXPECT_EQ(info.marker, 1);
  EXPECT_EQ(info.mode, 3);
  EXPECT_EQ(info.format, 0);
  EXPECT_EQ(info.reserved, 0);

  // A standard mode the camera lacks is still described from the tables.
  ASSERT_EQ(iidc_getformatinfo(h, &info, sizeof info, ListedId(2, 4, 0)), 1);
  EXPECT_EQ(info.color, IIDC_COLOR_RGB8);
  EXPECT_EQ(info.width, 1600);
  EXPECT_EQ(info.height, 1200);

  // Format 7: the coding in force and the largest size of the mode.
  ASSERT_EQ(iidc_getformatinfo(h, &info, sizeof info, ListedId(7, 0, IIDC_COLOR_RGB8)), 1);
  EXPECT_EQ(info.capabilities, IIDC_FORMATCAPS_SCALABLE);
  EXPECT_EQ(info.color, IIDC_COLOR_MONO8) << "the colour byte of the id is not read";
  EXPECT_EQ(info.width, 1280);
  EXPECT_EQ(info.height, 960);
  ASSERT_EQ(iidc_getformatinfo(h, &info, sizeof info, ListedId(7, 1, 0)), 1);
  EXPECT_EQ(info.color, IIDC_COLOR_YUV422);
  EXPECT_EQ(info.width, 640);
  EXPECT_EQ(info.height, 480);
  EXPECT_EQ(info.mode, 1);
  EXPECT_EQ(info.format, 7);

  // Format 4: refused after the trailing bytes were written.
  info = iidc_formatinfo{};
  EXPECT_EQ(iidc_getformatinfo(h, &info, sizeof info, ListedId(4, 2, 0)), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_FORMAT_UNAVAILABLE);
  EXPECT_EQ(info.marker, 1);
  EXPECT_EQ(info.mode, 2);
  EXPECT_EQ(info.format, 4);
  EXPECT_EQ(info.width, 0);
  EXPECT_EQ(iidc_getformatinfo(h, nullptr, sizeof info, COLOR_INITIAL_ID), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getformatinfo(h, &info, 0, COLOR_INITIAL_ID), 0);
}

TEST_F(BehaviourFormatTest, CurrentFormatOfBothCamerasAtPowerUp) {
  iidc_handle hColor = Open(COLOR_CAMERA);
  iidc_handle hMono = Open(MONO_CAMERA);
  ASSERT_NE(hColor, nullptr);
  ASSERT_NE(hMono, nullptr);
  EXPECT_EQ(iidc_currentformat(hColor), CurrentId(0, 3));
  EXPECT_EQ(iidc_currentformat(hMono), CurrentId(0, 5)) << "never the listed id of the same mode";
  // The rate of the interval in force, 333333 x 100 ns: not exactly 30.
  EXPECT_FLOAT_EQ(iidc_currentframerate(hColor), static_cast<float>(10000000.0 / 333333));
  EXPECT_FLOAT_EQ(iidc_currentframerate(hMono), static_cast<float>(10000000.0 / 333333));
}

TEST_F(BehaviourFormatTest, SetFormatToAnotherModeAndBack) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  CFinally restore([h] { iidc_setformat(h, COLOR_INITIAL_ID); });
  ASSERT_TRUE(iidc_preparecapture(h));

  // Mono8 at its fastest rate among 1.875-30 (60 is never chosen).
  EXPECT_TRUE(iidc_setformat(h, ListedId(0, 5, IIDC_COLOR_MONO8)));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED) << "the capture graph is taken down";
  EXPECT_EQ(iidc_currentdataframebytes(h), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_FORMAT_UNAVAILABLE);
  EXPECT_EQ(iidc_currentformat(h), CurrentId(0, 5));
  EXPECT_NEAR(iidc_currentframerate(h), 30.0f, RATE_TOLERANCE);

  // 800 x 600 YUV422 offers 3.75 to 15: the fastest is chosen. The colour byte
  // of the id is not read.
  EXPECT_TRUE(iidc_setformat(h, ListedId(1, 0, 0xEE)));
  EXPECT_EQ(iidc_currentformat(h), CurrentId(1, 0));
  EXPECT_NEAR(iidc_currentframerate(h), 15.0f, RATE_TOLERANCE);
  ASSERT_TRUE(iidc_preparecapture(h));
  EXPECT_EQ(iidc_currentdataframebytes(h), 800 * 600 * 2);

  // The current id of a mode selects it as well as its listed id.
  EXPECT_TRUE(iidc_setformat(h, CurrentId(0, 3)));
  EXPECT_EQ(iidc_currentformat(h), CurrentId(0, 3));
  EXPECT_NEAR(iidc_currentframerate(h), 30.0f, RATE_TOLERANCE);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
}

TEST_F(BehaviourFormatTest, SetFormatRefusesWhatTheCameraLacks) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  CFinally restore([h] { iidc_setformat(h, COLOR_INITIAL_ID); });
  for (const uint32_t id : {ListedId(0, 6, IIDC_COLOR_MONO16), ListedId(7, 0, IIDC_COLOR_MONO8),
                            ListedId(3, 0, 0), ListedId(2, 0, IIDC_COLOR_YUV422)}) {
    ASSERT_TRUE(iidc_preparecapture(h));
    EXPECT_FALSE(iidc_setformat(h, id)) << std::hex << id;
    EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_FORMAT_UNAVAILABLE) << std::hex << id;
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED) << "torn down all the same";
    EXPECT_EQ(iidc_currentformat(h), CurrentId(0, 3)) << "the format in force stays";
  }
  EXPECT_FALSE(iidc_setformat(nullptr, COLOR_INITIAL_ID));
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
}

TEST_F(BehaviourFormatTest, FrameRateRangesOfModes) {
  iidc_handle hColor = Open(COLOR_CAMERA);
  iidc_handle hMono = Open(MONO_CAMERA);
  ASSERT_NE(hColor, nullptr);
  ASSERT_NE(hMono, nullptr);
  struct Case {
    iidc_handle h;
    uint32_t id;
    float lowest, highest;
  };
  for (const Case& c : {Case{hColor, COLOR_INITIAL_ID, 1.875f, 30.0f}, Case{hColor, ListedId(0, 0, 3), 7.5f, 30.0f},
                        Case{hColor, ListedId(0, 5, 0), 3.75f, 30.0f}, Case{hColor, ListedId(1, 1, 4), 1.875f, 7.5f},
                        Case{hMono, MONO_INITIAL_ID, 1.875f, 30.0f}, Case{hMono, ListedId(1, 6, 5), 1.875f, 7.5f}}) {
    iidc_framerateinfo info{};
    ASSERT_EQ(iidc_getframerateinfo(c.h, &info, sizeof info, c.id), 1) << std::hex << c.id;
    EXPECT_EQ(info.flags, 1u);
    EXPECT_EQ(info.lowest, c.lowest) << std::hex << c.id;
    EXPECT_EQ(info.highest, c.highest) << std::hex << c.id;
  }

  // A mode without rates: only the flags word is written.
  iidc_framerateinfo info{0, -1.0f, -2.0f};
  ASSERT_EQ(iidc_getframerateinfo(hColor, &info, sizeof info, ListedId(0, 6, 5)), 1);
  EXPECT_EQ(info.flags, 1u);
  EXPECT_EQ(info.lowest, -1.0f);
  EXPECT_EQ(info.highest, -2.0f);

  EXPECT_EQ(iidc_getframerateinfo(hColor, &info, sizeof info, ListedId(7, 0, 0)), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NOT_SUPPORTED);
  EXPECT_EQ(iidc_getframerateinfo(hColor, &info, sizeof info, ListedId(4, 0, 0)), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getframerateinfo(hMono, nullptr, sizeof info, MONO_INITIAL_ID), 0);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getlasterror(MONO_CAMERA), 0u) << "a null record is recorded globally only";
}

TEST_F(BehaviourFormatTest, SetFrameRateWithinWhatTheDriverAccepts) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  CFinally restore([h] { iidc_setformat(h, COLOR_INITIAL_ID); });

  ASSERT_TRUE(iidc_preparecapture(h));
  EXPECT_EQ(iidc_setframerate(h, 15.0f), 15.0f);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
  EXPECT_NEAR(iidc_currentframerate(h), 15.0f, RATE_TOLERANCE);
  uint32_t rate = 0;
  ASSERT_EQ(iidc1394_asyncreadquadlet(h, REG_CUR_V_FRM_RATE, &rate, 4), 4);
  EXPECT_EQ(rate >> 29, 3u) << "the camera runs at 15 frames per second";
  EXPECT_EQ(iidc_setframerate(h, 1.875f), 1.875f);
  EXPECT_NEAR(iidc_currentframerate(h), 1.875f, RATE_TOLERANCE);

  // 60 is not offered by this mode, 25 is no IIDC rate: the driver refuses
  // both, the graph goes all the same and the rate stays.
  for (const float bad : {60.0f, 25.0f}) {
    ASSERT_TRUE(iidc_preparecapture(h));
    EXPECT_EQ(iidc_setframerate(h, bad), 0.0f) << bad;
    EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER) << bad;
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
    EXPECT_NEAR(iidc_currentframerate(h), 1.875f, RATE_TOLERANCE);
  }

  EXPECT_EQ(iidc_setframerate(h, 30.0f), 30.0f);
  EXPECT_NEAR(iidc_currentframerate(h), 30.0f, RATE_TOLERANCE);
}

TEST_F(BehaviourFormatTest, AreaInfoOfFormat7Modes) {
  iidc_handle hColor = Open(COLOR_CAMERA);
  iidc_handle hMono = Open(MONO_CAMERA);
  ASSERT_NE(hColor, nullptr);
  ASSERT_NE(hMono, nullptr);

  iidc_areainfo info{};
  ASSERT_EQ(iidc_getareainfo(hColor, &info, sizeof info, ListedId(7, 0, 0)), 1);
  EXPECT_EQ(info.maxwidth, 1280);
  EXPECT_EQ(info.maxheight, 960);
  EXPECT_EQ(info.leftunit, 4);
  EXPECT_EQ(info.topunit, 2);
  EXPECT_EQ(info.widthunit, 8);
  EXPECT_EQ(info.heightunit, 2);
  ASSERT_EQ(iidc_getareainfo(hColor, &info, sizeof info, ListedId(7, 1, 2)), 1);
  EXPECT_EQ(info.maxwidth, 640);
  EXPECT_EQ(info.maxheight, 480);
  EXPECT_EQ(info.leftunit, 0) << "passed on as the camera has it";
  EXPECT_EQ(info.topunit, 0);
  EXPECT_EQ(info.widthunit, 4);
  EXPECT_EQ(info.heightunit, 4);

  EXPECT_EQ(iidc_getareainfo(hColor, &info, sizeof info, ListedId(7, 2, 0)), 0) << "no mode 2";
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_FORMAT_UNAVAILABLE);
  EXPECT_EQ(iidc_getareainfo(hColor, &info, sizeof info, COLOR_INITIAL_ID), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NOT_SUPPORTED);
  EXPECT_EQ(iidc_getareainfo(hMono, &info, sizeof info, ListedId(7, 0, 0)), 0) << "no Format 7";
  EXPECT_EQ(iidc_getlasterror(MONO_CAMERA), IIDC_ERR_FORMAT_UNAVAILABLE);
  EXPECT_EQ(iidc_getareainfo(hColor, nullptr, sizeof info, ListedId(7, 0, 0)), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);

  // The current area only exists in Format 7.
  iidc_area area{};
  EXPECT_EQ(iidc_currentarea(hColor, &area, sizeof area), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);
}

TEST_F(BehaviourFormatTest, SetAreaInFormat7) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  CFinally restore([h] { iidc_setformat(h, COLOR_INITIAL_ID); });
  EnterFormat7(h, 0);
  CFinally restoreArea([h] {
    const iidc_area full{0, 0, 1280, 960};
    iidc_setarea(h, &full, sizeof full);
  });
  EXPECT_EQ(iidc_currentformat(h), ListedId(7, 0, IIDC_COLOR_MONO8));

  iidc_area area{};
  ASSERT_EQ(iidc_currentarea(h, &area, sizeof area), 1);
  EXPECT_EQ(area.left, 0);
  EXPECT_EQ(area.top, 0);
  EXPECT_EQ(area.width, 1280);
  EXPECT_EQ(area.height, 960);

  ASSERT_TRUE(iidc_preparecapture(h));
  const iidc_area wanted{16, 8, 640, 480};
  EXPECT_EQ(iidc_setarea(h, &wanted, sizeof wanted), 1);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
  ASSERT_EQ(iidc_currentarea(h, &area, sizeof area), 1);
  EXPECT_EQ(area.left, 16);
  EXPECT_EQ(area.top, 8);
  EXPECT_EQ(area.width, 640);
  EXPECT_EQ(area.height, 480);
  ASSERT_TRUE(iidc_preparecapture(h));
  EXPECT_EQ(iidc_currentdataframebytes(h), 640 * 480) << "Mono8 frames of the new area";

  // Off the units or beyond the sensor: the driver refuses, the graph goes
  // all the same and the area in force stays.
  for (const iidc_area bad : {iidc_area{0, 0, 644, 480}, iidc_area{2, 0, 640, 480}, iidc_area{0, 0, 1288, 960},
                              iidc_area{1024, 0, 640, 480}, iidc_area{-4, 0, 640, 480}}) {
    ASSERT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
    EXPECT_EQ(iidc_setarea(h, &bad, sizeof bad), 0) << bad.left << "," << bad.top << " " << bad.width << "x" << bad.height;
    EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
    ASSERT_EQ(iidc_currentarea(h, &area, sizeof area), 1);
    EXPECT_EQ(area.left, 16);
    EXPECT_EQ(area.width, 640);
    ASSERT_TRUE(iidc_preparecapture(h));
  }

  // A null area is refused before anything is torn down, globally only.
  const uint32_t before = iidc_getlasterror(COLOR_CAMERA);
  EXPECT_EQ(iidc_setarea(h, nullptr, sizeof area), 0);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), before);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
}

TEST_F(BehaviourFormatTest, SetAreaOutsideFormat7IsNotSupported) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  const iidc_area area{0, 0, 320, 240};
  EXPECT_EQ(iidc_setarea(h, &area, sizeof area), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NOT_SUPPORTED);
  EXPECT_EQ(iidc_currentformat(h), CurrentId(0, 3));
}

}  // namespace
