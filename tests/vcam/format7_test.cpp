#include <cstring>

#include "camera_fixture.h"

namespace vcam::test {
namespace {

class Format7Test : public CameraTest {
protected:
  void SetUp() override {
    CameraTest::SetUp();
    m_dwBlock = Format7Block(0);
  }
  std::uint32_t Field(std::uint32_t nField) { return Read(m_dwBlock + nField); }
  void SetField(std::uint32_t nField, std::uint32_t v) { Write(m_dwBlock + nField, v); }
  bool ErrorFlag() { return Field(F7_VALUE_SETTING) & VS_ERROR_FLAG_1; }

  static std::vector<std::uint8_t> AreaRequest(std::int32_t left, std::int32_t top, std::int32_t width,
                                               std::int32_t height) {
    std::vector<std::uint8_t> req(AREA_REQUEST_BYTES, 0);
    const std::int32_t fields[] = {left, top, width, height, 1};
    for (int i = 0; i < 5; ++i)
      for (int b = 0; b < 4; ++b)
        req[AREA_LEFT_AT + 4 * i + b] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(fields[i]) >> (8 * b));
    return req;
  }
  Result Apply(const std::vector<std::uint8_t>& req) { return m_pCamera->ApplyAreaRequest(req.data(), req.size()); }

  std::uint32_t m_dwBlock = 0;
};

TEST_F(Format7Test, BlockLiesWhereTheInquiryPointsAndPublishesTheMode) {
  EXPECT_EQ(m_dwBlock, F7_BLOCKS_AT);
  EXPECT_EQ(Field(F7_MAX_IMAGE_SIZE_INQ), 1280u << 16 | 960);
  EXPECT_EQ(Field(F7_UNIT_SIZE_INQ), 8u << 16 | 2);
  EXPECT_EQ(Field(F7_UNIT_POSITION_INQ), 4u << 16 | 2);
  EXPECT_EQ(Field(F7_COLOR_CODING_INQ), Bit(0) | Bit(1) | Bit(2) | Bit(4) | Bit(5));
  EXPECT_EQ(Field(F7_COLOR_CODING_ID), 0u);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 1280u << 16 | 960);
  EXPECT_EQ(Field(F7_PIXEL_NUMBER_INQ), 1280u * 960);
  EXPECT_EQ(Field(F7_TOTAL_BYTES_HI_INQ), 0u);
  EXPECT_EQ(Field(F7_TOTAL_BYTES_LO_INQ), 1228800u);
  EXPECT_EQ(Field(F7_PACKET_PARA_INQ), 4u << 16 | 4096);
  EXPECT_EQ(Field(F7_PACKET_PER_FRAME_INQ), 300u);
  EXPECT_EQ(Field(F7_VALUE_SETTING), VS_PRESENCE);
  EXPECT_EQ(Format7Block(1), F7_BLOCKS_AT + 0x100);
}

TEST_F(Format7Test, SizeAndPositionAreCheckedAgainstUnitsAndMaximum) {
  SetField(F7_IMAGE_SIZE, 640u << 16 | 480);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 640u << 16 | 480);
  EXPECT_EQ(Field(F7_TOTAL_BYTES_LO_INQ), 307200u);
  EXPECT_FALSE(ErrorFlag());

  for (std::uint32_t refused : {642u << 16 | 480, 640u << 16 | 481, 0u << 16 | 480, 1288u << 16 | 480}) {
    SetField(F7_IMAGE_SIZE, refused);
    EXPECT_EQ(Field(F7_IMAGE_SIZE), 640u << 16 | 480) << std::hex << refused;
    EXPECT_TRUE(ErrorFlag());
  }
  SetField(F7_IMAGE_POSITION, 4u << 16 | 2);  // also clears the error flag
  EXPECT_EQ(Field(F7_IMAGE_POSITION), 4u << 16 | 2);
  EXPECT_FALSE(ErrorFlag());
  for (std::uint32_t refused : {2u << 16, 1u, 644u << 16, 482u}) {  // off the unit, or past the edge
    SetField(F7_IMAGE_POSITION, refused);
    EXPECT_EQ(Field(F7_IMAGE_POSITION), 4u << 16 | 2) << std::hex << refused;
    EXPECT_TRUE(ErrorFlag());
  }
  SetField(F7_IMAGE_SIZE, 1280u << 16 | 480);  // would run past the edge from left 4
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 640u << 16 | 480);
}

TEST_F(Format7Test, PositionUnitsDefaultToSizeUnits) {
  m_dwBlock = Format7Block(1);  // 640 x 480 in steps of 4, no position unit
  EXPECT_EQ(Field(F7_UNIT_POSITION_INQ), 0u);
  SetField(F7_IMAGE_SIZE, 320u << 16 | 240);
  SetField(F7_IMAGE_POSITION, 4u << 16 | 8);
  EXPECT_EQ(Field(F7_IMAGE_POSITION), 4u << 16 | 8);
  SetField(F7_IMAGE_POSITION, 2u << 16 | 8);
  EXPECT_EQ(Field(F7_IMAGE_POSITION), 4u << 16 | 8);
}

TEST_F(Format7Test, ColorCodingAndPacketSizeAreChecked) {
  SetField(F7_COLOR_CODING_ID, COLOR_YUV422 << 24);
  EXPECT_EQ(Field(F7_COLOR_CODING_ID), COLOR_YUV422 << 24);
  EXPECT_EQ(Field(F7_TOTAL_BYTES_LO_INQ), 2457600u);
  SetField(F7_COLOR_CODING_ID, COLOR_RGB16 << 24);  // not offered by this mode
  EXPECT_EQ(Field(F7_COLOR_CODING_ID), COLOR_YUV422 << 24);
  EXPECT_TRUE(ErrorFlag());

  SetField(F7_BYTE_PER_PACKET, 1000u << 16);
  EXPECT_EQ(Field(F7_BYTE_PER_PACKET) >> 16, 1000u);
  EXPECT_EQ(Field(F7_PACKET_PER_FRAME_INQ), 2458u);
  for (std::uint32_t refused : {1002u, 8192u, 0u}) {
    SetField(F7_BYTE_PER_PACKET, refused << 16);
    EXPECT_EQ(Field(F7_BYTE_PER_PACKET) >> 16, 1000u);
    EXPECT_TRUE(Field(F7_VALUE_SETTING) & VS_ERROR_FLAG_2);
  }
  SetField(F7_VALUE_SETTING, VS_SETTING_1);  // settings in force are fine
  EXPECT_EQ(Field(F7_VALUE_SETTING) & (VS_SETTING_1 | VS_ERROR_FLAG_1), 0u);
  SetField(F7_MAX_IMAGE_SIZE_INQ, 0);  // inquiry: ignored
  EXPECT_EQ(Field(F7_MAX_IMAGE_SIZE_INQ), 1280u << 16 | 960);
}

TEST_F(Format7Test, AreaRequestSetsTheRectangleInFormat7) {
  SwitchTo(7, 0);
  ASSERT_EQ(Apply(AreaRequest(16, 8, 640, 480)), VCAM_S_OK);
  EXPECT_EQ(Field(F7_IMAGE_POSITION), 0x00100008u);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 0x028001E0u);
  const StreamInfo s = m_pCamera->GetStream();
  EXPECT_EQ(s.nLeft, 16u);
  EXPECT_EQ(s.nTop, 8u);
  EXPECT_EQ(s.nWidth, 640u);
  EXPECT_EQ(s.nHeight, 480u);
  EXPECT_EQ(s.cbFrame, 307200u);
  EXPECT_EQ(s.llInterval, 75 * ISO_CYCLE_100NS);

  // A rectangle that fits only after moving is applied as a whole.
  EXPECT_EQ(Apply(AreaRequest(0, 0, 1280, 960)), VCAM_S_OK);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 1280u << 16 | 960);
}

TEST_F(Format7Test, RefusedAreaRequestChangesNothing) {
  EXPECT_EQ(Apply(AreaRequest(0, 0, 640, 480)), VCAM_E_NOT_FOUND);  // not in Format 7
  EXPECT_EQ(static_cast<std::uint32_t>(VCAM_E_NOT_FOUND), 0x80070490u);
  SwitchTo(7, 0);
  ASSERT_EQ(Apply(AreaRequest(16, 8, 640, 480)), VCAM_S_OK);
  for (const auto& req : {AreaRequest(2, 8, 640, 480), AreaRequest(16, 8, 641, 480), AreaRequest(648, 8, 640, 480),
                          AreaRequest(16, 8, -640, 480), AreaRequest(16, 8, 0, 480), AreaRequest(-4, 0, 8, 2)}) {
    EXPECT_EQ(Apply(req), VCAM_E_INVALIDARG);
    EXPECT_EQ(Field(F7_IMAGE_POSITION), 0x00100008u);
    EXPECT_EQ(Field(F7_IMAGE_SIZE), 0x028001E0u);
    EXPECT_TRUE(ErrorFlag());
  }
  EXPECT_EQ(m_pCamera->ApplyAreaRequest(AreaRequest(0, 0, 8, 2).data(), 63), VCAM_E_INVALIDARG);
  EXPECT_EQ(m_pCamera->ApplyAreaRequest(nullptr, 64), VCAM_E_POINTER);
  m_pCamera->Faults()->bRefuseArea = true;
  EXPECT_EQ(Apply(AreaRequest(0, 0, 8, 2)), VCAM_E_INVALIDARG);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 0x028001E0u);
}

TEST_F(Format7Test, AreaRequestGoesToTheCurrentMode) {
  SwitchTo(7, 1);
  ASSERT_EQ(Apply(AreaRequest(4, 4, 320, 240)), VCAM_S_OK);
  m_dwBlock = Format7Block(1);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 320u << 16 | 240);
  m_dwBlock = Format7Block(0);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 1280u << 16 | 960);
  const StreamInfo s = m_pCamera->GetStream();
  EXPECT_EQ(s.nColor, COLOR_YUV422);
  EXPECT_EQ(s.cbFrame, 320u * 240 * 2);
}

}  // namespace
}  // namespace vcam::test
