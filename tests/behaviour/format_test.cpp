// Format catalogue, format selection, frame rates and the Format 7 image
// area on the built-in camera pair.
#include <vector>

#include "behaviour_fixture.h"

using namespace behaviour;

namespace {

class BehaviourFormatTest : public BehaviourTest {};

constexpr float RATE_TOLERANCE = 0.01f;

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
  // What the colour camera's driver offers (format, mode, colour), then its
  // Format 7 codings: mode 0 Mono8, YUV411, YUV422, RGB8, Mono16; mode 1
  // Mono8, YUV422, Mono16. The monochrome camera has no Format 7.
  const std::vector<uint32_t> color = {
      ListedId(0, 0, IIDC_COLOR_YUV444), ListedId(0, 1, IIDC_COLOR_YUV422), ListedId(0, 2, IIDC_COLOR_YUV411),
      ListedId(0, 3, IIDC_COLOR_YUV422), ListedId(0, 4, IIDC_COLOR_RGB8),   ListedId(0, 5, IIDC_COLOR_MONO8),
      ListedId(1, 0, IIDC_COLOR_YUV422), ListedId(1, 1, IIDC_COLOR_RGB8),   ListedId(1, 2, IIDC_COLOR_MONO8),
      ListedId(1, 3, IIDC_COLOR_YUV422), ListedId(1, 5, IIDC_COLOR_MONO8),  ListedId(7, 0, IIDC_COLOR_MONO8),
      ListedId(7, 0, IIDC_COLOR_YUV411), ListedId(7, 0, IIDC_COLOR_YUV422), ListedId(7, 0, IIDC_COLOR_RGB8),
      ListedId(7, 0, IIDC_COLOR_MONO16), ListedId(7, 1, IIDC_COLOR_MONO8),  ListedId(7, 1, IIDC_COLOR_YUV422),
      ListedId(7, 1, IIDC_COLOR_MONO16)};
  const std::vector<uint32_t> mono = {ListedId(0, 5, IIDC_COLOR_MONO8),  ListedId(0, 6, IIDC_COLOR_MONO16),
                                      ListedId(1, 2, IIDC_COLOR_MONO8),  ListedId(1, 5, IIDC_COLOR_MONO8),
                                      ListedId(1, 6, IIDC_COLOR_MONO16), ListedId(1, 7, IIDC_COLOR_MONO16)};
  EXPECT_EQ(iidc_getformatcount(hColor), 19);
  EXPECT_EQ(IdList(hColor, 32), color);
  EXPECT_EQ(iidc_getformatcount(hMono), 6);
  EXPECT_EQ(IdList(hMono, 32), mono);
  // A short array is filled up to its capacity and no further; a partial
  // entry is ignored.
  std::vector<uint32_t> ids(4, 0xDEADBEEF);
  EXPECT_EQ(iidc_getformatidlist(hColor, ids.data(), 6), 4);
  EXPECT_EQ(ids[0], color[0]);
  EXPECT_EQ(ids[1], 0xDEADBEEFu);
  EXPECT_EQ(IdList(hColor, 3), std::vector<uint32_t>(color.begin(), color.begin() + 3));
}

// Standard modes come from the tables, even one the camera lacks; Format 7
// from the mode's registers: the coding in force (the colour byte of the id
// is not read) and the largest size. Format 4 is refused after the trailing
// bytes were written.
TEST_F(BehaviourFormatTest, FormatInfoFromTheTablesAndFromFormat7Registers) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  struct CCase {
    uint32_t id;
    int32_t result;
    uint32_t capabilities;
    int32_t color, width, height;
  };
  for (const CCase& c : {CCase{COLOR_INITIAL_ID, 1, IIDC_FORMATCAPS_STANDARD, IIDC_COLOR_YUV422, VGA_WIDTH, VGA_HEIGHT},
                         CCase{ListedId(2, 4, 0), 1, IIDC_FORMATCAPS_STANDARD, IIDC_COLOR_RGB8, 1600, 1200},
                         CCase{ListedId(7, 0, IIDC_COLOR_RGB8), 1, IIDC_FORMATCAPS_SCALABLE, IIDC_COLOR_MONO8, 1280, 960},
                         CCase{ListedId(7, 1, 0), 1, IIDC_FORMATCAPS_SCALABLE, IIDC_COLOR_YUV422, 640, 480},
                         CCase{ListedId(4, 2, 0), 0, 0, 0, 0, 0}}) {
    SCOPED_TRACE(c.id);
    iidc_formatinfo info{};
    ASSERT_EQ(iidc_getformatinfo(h, &info, sizeof info, c.id), c.result);
    EXPECT_EQ(info.capabilities, c.capabilities);
    EXPECT_EQ(info.color, c.color);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.marker, 1);
    EXPECT_EQ(info.mode, IIDC_FORMATID_MODE(c.id));
    EXPECT_EQ(info.format, IIDC_FORMATID_FORMAT(c.id));
    EXPECT_EQ(info.reserved, 0);
  }
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_FORMAT_UNAVAILABLE);
}

// A change of format tears the capture graph down and selects the mode at
// its fastest rate among 1.875-30 (60 is never chosen); the current id of a
// mode selects it as well as its listed id. What the camera lacks is refused,
// the graph goes all the same and the format in force stays.
TEST_F(BehaviourFormatTest, SetFormatToModesTheCameraHas) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  CFinally restore([h] { iidc_setformat(h, COLOR_INITIAL_ID); });
  EXPECT_EQ(iidc_currentformat(h), CurrentId(0, 3));
  EXPECT_EQ(iidc_currentformat(Open(MONO_CAMERA)), CurrentId(0, 5)) << "never the listed id of the same mode";
  // The rate of the interval in force, 333333 x 100 ns: not exactly 30.
  EXPECT_FLOAT_EQ(iidc_currentframerate(h), static_cast<float>(10000000.0 / 333333));
  struct CCase {
    uint32_t id;
    bool bSelected;
    uint32_t current;
    float rate;
    int32_t cbFrame;
  };
  for (const CCase& c : {CCase{ListedId(0, 5, IIDC_COLOR_MONO8), true, CurrentId(0, 5), 30.0f, VGA_MONO8_BYTES},
                         CCase{ListedId(1, 0, 0xEE), true, CurrentId(1, 0), 15.0f, 800 * 600 * 2},
                         CCase{ListedId(0, 6, IIDC_COLOR_MONO16), false, CurrentId(1, 0), 15.0f, 0},
                         CCase{ListedId(7, 0, IIDC_COLOR_MONO8), false, CurrentId(1, 0), 15.0f, 0},
                         CCase{ListedId(3, 0, 0), false, CurrentId(1, 0), 15.0f, 0},
                         CCase{ListedId(2, 0, IIDC_COLOR_YUV422), false, CurrentId(1, 0), 15.0f, 0},
                         CCase{CurrentId(0, 3), true, CurrentId(0, 3), 30.0f, VGA_YUV422_BYTES}}) {
    SCOPED_TRACE(c.id);
    ASSERT_TRUE(iidc_preparecapture(h));
    EXPECT_EQ(iidc_setformat(h, c.id), c.bSelected);
    if (!c.bSelected) {
      EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_FORMAT_UNAVAILABLE);
    }
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED) << "the capture graph is taken down";
    EXPECT_EQ(iidc_currentformat(h), c.current);
    EXPECT_NEAR(iidc_currentframerate(h), c.rate, RATE_TOLERANCE);
    if (c.bSelected) {
      ASSERT_TRUE(iidc_preparecapture(h));
      EXPECT_EQ(iidc_currentdataframebytes(h), c.cbFrame);
      EXPECT_TRUE(iidc_clearcapture(h));
    }
  }
}

// Each mode's lowest and highest rate; a mode without rates writes only the
// flags word; Formats 3-5 are no formats, 6 and 7 have no fixed rates.
TEST_F(BehaviourFormatTest, FrameRateRangesAndSettings) {
  iidc_handle hColor = Open(COLOR_CAMERA);
  iidc_handle hMono = Open(MONO_CAMERA);
  ASSERT_NE(hColor, nullptr);
  ASSERT_NE(hMono, nullptr);
  struct CCase {
    iidc_handle h;
    uint32_t id;
    float lowest, highest;
    uint32_t code = 0;  // of a refusal, which writes nothing
  };
  for (const CCase& c : {CCase{hColor, COLOR_INITIAL_ID, 1.875f, 30.0f}, CCase{hColor, ListedId(0, 0, 3), 7.5f, 30.0f},
                         CCase{hColor, ListedId(0, 5, 0), 3.75f, 30.0f}, CCase{hColor, ListedId(1, 1, 4), 1.875f, 7.5f},
                         CCase{hMono, MONO_INITIAL_ID, 1.875f, 30.0f}, CCase{hMono, ListedId(1, 6, 5), 1.875f, 7.5f},
                         CCase{hColor, ListedId(0, 6, 5), -1.0f, -2.0f},
                         CCase{hColor, ListedId(3, 0, 0), -1.0f, -2.0f, IIDC_ERR_INVALID_PARAMETER},
                         CCase{hColor, ListedId(5, 0, 0), -1.0f, -2.0f, IIDC_ERR_INVALID_PARAMETER},
                         CCase{hColor, ListedId(6, 0, 0), -1.0f, -2.0f, IIDC_ERR_NOT_SUPPORTED},
                         CCase{hColor, ListedId(7, 0, 0), -1.0f, -2.0f, IIDC_ERR_NOT_SUPPORTED}}) {
    iidc_framerateinfo info{0, -1.0f, -2.0f};
    ASSERT_EQ(iidc_getframerateinfo(c.h, &info, sizeof info, c.id), c.code ? 0 : 1) << std::hex << c.id;
    EXPECT_EQ(info.flags, c.code ? 0u : 1u);
    EXPECT_EQ(info.lowest, c.lowest) << std::hex << c.id;
    EXPECT_EQ(info.highest, c.highest) << std::hex << c.id;
    EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), c.code) << std::hex << c.id;
  }

  // A rate goes to the driver after the graph is taken down; 60 is not
  // offered by this mode and 25 is no IIDC rate: the driver refuses both and
  // the rate stays.
  CFinally restore([hColor] { iidc_setformat(hColor, COLOR_INITIAL_ID); });
  for (const auto& [rate, result, inForce] : {std::tuple{15.0f, 15.0f, 15.0f}, std::tuple{1.875f, 1.875f, 1.875f},
                                              std::tuple{60.0f, 0.0f, 1.875f}, std::tuple{25.0f, 0.0f, 1.875f},
                                              std::tuple{30.0f, 30.0f, 30.0f}}) {
    SCOPED_TRACE(rate);
    ASSERT_TRUE(iidc_preparecapture(hColor));
    EXPECT_EQ(iidc_setframerate(hColor, rate), result);
    if (result == 0.0f) {
      EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);
    }
    EXPECT_EQ(iidc_getstatus(hColor), IIDC_STATE_OPENED);
    EXPECT_NEAR(iidc_currentframerate(hColor), inForce, RATE_TOLERANCE);
  }
  uint32_t value = 0;
  ASSERT_EQ(iidc1394_asyncreadquadlet(hColor, REG_CUR_V_FRM_RATE, &value, 4), 4);
  EXPECT_EQ(value >> 29, 4u) << "the camera runs at 30 frames per second";
}

// The units of each Format 7 mode, passed on as the camera has them; the
// area exists in Format 7 only, where a new one tears the graph down and is
// checked by the driver against the units and the sensor.
TEST_F(BehaviourFormatTest, AreasOfFormat7) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  CFinally restore([h] { iidc_setformat(h, COLOR_INITIAL_ID); });
  struct CCase {
    uint32_t id;
    int32_t result;
    uint32_t code;
    iidc_areainfo info;
  };
  for (const CCase& c : {CCase{ListedId(7, 0, 0), 1, 0, {1280, 960, 4, 2, 8, 2}},
                         CCase{ListedId(7, 1, 2), 1, 0, {640, 480, 0, 0, 4, 4}},
                         CCase{ListedId(7, 2, 0), 0, IIDC_ERR_FORMAT_UNAVAILABLE, {}},
                         CCase{COLOR_INITIAL_ID, 0, IIDC_ERR_NOT_SUPPORTED, {}}}) {
    iidc_areainfo info{};
    ASSERT_EQ(iidc_getareainfo(h, &info, sizeof info, c.id), c.result) << std::hex << c.id;
    EXPECT_EQ(info.maxwidth, c.info.maxwidth);
    EXPECT_EQ(info.leftunit, c.info.leftunit);
    EXPECT_EQ(info.topunit, c.info.topunit);
    EXPECT_EQ(info.widthunit, c.info.widthunit);
    EXPECT_EQ(info.heightunit, c.info.heightunit);
    if (c.code != 0) {
      EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), c.code);
    }
  }
  iidc_area area{};
  EXPECT_EQ(iidc_currentarea(h, &area, sizeof area), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);
  const iidc_area quarter{0, 0, 320, 240};
  EXPECT_EQ(iidc_setarea(h, &quarter, sizeof quarter), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NOT_SUPPORTED);

  // Format 7 mode 0 through the camera's own registers: the library selects
  // Formats 0-2 only.
  const uint32_t format7 = 7u << 29;
  const uint32_t mode0 = 0;
  ASSERT_EQ(iidc1394_asyncwritequadlet(h, REG_CUR_V_FORMAT, &format7, 4), 4);
  ASSERT_EQ(iidc1394_asyncwritequadlet(h, REG_CUR_V_MODE, &mode0, 4), 4);
  CFinally restoreArea([h] {
    const iidc_area full{0, 0, 1280, 960};
    iidc_setarea(h, &full, sizeof full);
  });
  EXPECT_EQ(iidc_currentformat(h), ListedId(7, 0, IIDC_COLOR_MONO8));
  ASSERT_EQ(iidc_currentarea(h, &area, sizeof area), 1);
  EXPECT_EQ(area.width, 1280);
  EXPECT_EQ(area.height, 960);
  ASSERT_TRUE(iidc_preparecapture(h));
  const iidc_area wanted{16, 8, 640, 480};
  EXPECT_EQ(iidc_setarea(h, &wanted, sizeof wanted), 1);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
  ASSERT_TRUE(iidc_preparecapture(h));
  EXPECT_EQ(iidc_currentdataframebytes(h), 640 * 480) << "Mono8 frames of the new area";
  for (const iidc_area bad : {iidc_area{0, 0, 644, 480}, iidc_area{2, 0, 640, 480}, iidc_area{0, 0, 1288, 960},
                              iidc_area{1024, 0, 640, 480}, iidc_area{-4, 0, 640, 480}}) {
    ASSERT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
    EXPECT_EQ(iidc_setarea(h, &bad, sizeof bad), 0) << bad.left << "," << bad.top << " " << bad.width;
    EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
    ASSERT_EQ(iidc_currentarea(h, &area, sizeof area), 1);
    EXPECT_EQ(area.left, 16);
    EXPECT_EQ(area.top, 8);
    EXPECT_EQ(area.width, 640);
    EXPECT_EQ(area.height, 480);
    ASSERT_TRUE(iidc_preparecapture(h));
  }
  // A null area is refused before anything is torn down, globally only.
  const uint32_t before = iidc_getlasterror(COLOR_CAMERA);
  EXPECT_EQ(iidc_setarea(h, nullptr, sizeof area), 0);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), before);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
}

}  // namespace
