// The virtual camera's register space against the IIDC standard: what is
// there and what is read-only, the video registers that switch the stream,
// status registers, shots, initialisation, fault switches and raw registers;
// the Format 7 blocks and area requests; feature control; and the
// configuration ROM, served and walked.
#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "vcam/model/camera_model.h"
#include "vcam/model/config_rom.h"
#include "vcam/model/offsets.h"
#include "vcam/model/pattern.h"

namespace vcam::test {
namespace {

// A built-in camera on a stepped clock, with quadlet helpers that fail the
// test when a transaction fails.
class CameraTest : public ::testing::Test {
 protected:
  // 0 = the colour camera, 1 = the monochrome camera of the built-in set.
  void Make(std::size_t nCamera = 0) { Make(BuiltInCameraSet().at(nCamera)); }
  void Make(Profile profile) {
    profile.pClock = m_pClock;
    m_pCamera = std::make_unique<CCameraModel>(std::move(profile));
  }
  void SetUp() override { Make(); }

  std::uint32_t Read(std::uint32_t dwOffset) {
    std::uint32_t v = 0xDEADBEEF;
    EXPECT_EQ(m_pCamera->ReadQuadlet(dwOffset, &v), VCAM_S_OK) << "read 0x" << std::hex << dwOffset;
    return v;
  }
  void Write(std::uint32_t dwOffset, std::uint32_t dwValue) {
    EXPECT_EQ(m_pCamera->WriteQuadlet(dwOffset, dwValue), VCAM_S_OK) << "write 0x" << std::hex << dwOffset;
  }
  // Command offset of the Format 7 block of mode m, found as a library finds it.
  std::uint32_t Format7Block(std::uint32_t nMode) { return CsrQuadletToOffset(Read(VCsrInq7(nMode))); }
  void SwitchTo(std::uint32_t nFormat, std::uint32_t nMode) {
    Write(CUR_V_FORMAT, nFormat << 29);
    Write(CUR_V_MODE, nMode << 29);
  }

  std::shared_ptr<CSteppedClock> m_pClock = std::make_shared<CSteppedClock>();
  std::unique_ptr<CCameraModel> m_pCamera;
};

TEST_F(CameraTest, UnimplementedAddressesFailAndReadOnlyRegistersIgnoreWrites) {
  const std::uint32_t rom = ROM_OFFSET + 4 * static_cast<std::uint32_t>(m_pCamera->Rom().size());
  const std::uint32_t absCsr = CsrQuadletToOffset(Read(ABS_CSR_OFFSET_BASE + FEATURE_SHUTTER));
  // Past the end of each block: the ROM, a Format 7 block, an absolute-value CSR.
  for (std::uint32_t dwOffset : {0x618u, 0x900u, 0x3000u, 0x101u, BAYER_TILE_MAPPING, 0x0FFFFFFCu, rom, Format7Block(0) + 0x18,
                                 Format7Block(0) + F7_BLOCK_BYTES, absCsr + ABS_CSR_BYTES}) {
    std::uint32_t v = 0x12345678;
    EXPECT_EQ(m_pCamera->ReadQuadlet(dwOffset, &v), VCAM_E_ADDRESS) << std::hex << dwOffset;
    EXPECT_EQ(v, 0x12345678u);
    EXPECT_EQ(m_pCamera->WriteQuadlet(dwOffset, 0), VCAM_E_ADDRESS) << std::hex << dwOffset;
  }
  EXPECT_EQ(m_pCamera->ReadQuadlet(0x500, nullptr), VCAM_E_POINTER);
  for (std::uint32_t dwOffset : {V_FORMAT_INQ, VModeInq(0), VRateInq(0, 3), VCsrInq7(0), BASIC_FUNC_INQ,
                                 FEATURE_INQ_BASE + FEATURE_GAIN, ABS_CSR_OFFSET_BASE + FEATURE_SHUTTER,
                                 ROM_OFFSET + 0x10, VMODE_ERROR_STATUS, Format7Block(0) + F7_COLOR_FILTER_ID}) {
    const std::uint32_t before = Read(dwOffset);
    Write(dwOffset, ~before);
    EXPECT_EQ(Read(dwOffset), before) << std::hex << dwOffset;
  }
  Make(1);  // no Format 7: its block is not there
  std::uint32_t v = 0;
  EXPECT_EQ(m_pCamera->ReadQuadlet(F7_BLOCKS_AT, &v), VCAM_E_ADDRESS);
}

TEST_F(CameraTest, VideoRegistersSwitchTheStreamToOfferedModesOnly) {
  StreamInfo s = m_pCamera->GetStream();
  ASSERT_TRUE(s.bValid);
  EXPECT_EQ(s.nMode, 3u);
  EXPECT_EQ(s.nColor, COLOR_YUV422);
  EXPECT_EQ(s.cbFrame, 614400u);
  EXPECT_EQ(s.llInterval, 333333);
  Write(CUR_V_MODE, 5u << 29);  // 640 x 480 Mono8 keeps 30 fps
  s = m_pCamera->GetStream();
  EXPECT_EQ(s.nColor, COLOR_MONO8);
  EXPECT_EQ(s.cbFrame, 307200u);
  EXPECT_EQ(s.rateCode, 4u);
  Write(CUR_V_FRM_RATE, 0);  // 1.875 is not offered for this mode
  EXPECT_EQ(Read(CUR_V_FRM_RATE), 4u << 29);
  Write(CUR_V_MODE, 6u << 29);  // mode 6 is not offered
  EXPECT_EQ(Read(CUR_V_MODE), 5u << 29);
  Write(CUR_V_FORMAT, 1u << 29);  // 1024 x 768 Mono8 tops out at 15 fps
  s = m_pCamera->GetStream();
  EXPECT_EQ(s.nWidth, 1024u);
  EXPECT_EQ(s.rateCode, 3u);
  EXPECT_EQ(Read(CUR_V_FRM_RATE), 3u << 29);
  Write(CUR_V_FORMAT, 2u << 29);  // not offered
  EXPECT_EQ(Read(CUR_V_FORMAT), 1u << 29);
  Write(CUR_V_FORMAT, 7u << 29);  // Format 7 has no mode 5: its first mode is chosen
  s = m_pCamera->GetStream();
  ASSERT_TRUE(s.bValid);
  EXPECT_EQ(s.nMode, 0u);
  EXPECT_EQ(s.cbFrame, 1228800u);
  EXPECT_EQ(s.llInterval, 300 * ISO_CYCLE_100NS);  // 300 packets of 4096 bytes
  EXPECT_EQ(Read(VMODE_ERROR_STATUS), 0u);
}

TEST_F(CameraTest, StatusShotsAndInitialisation) {
  EXPECT_EQ(Read(ISO_CHANNEL), 0x02000000u);  // channel 0, S400
  Write(ISO_CHANNEL, 0xFFFFFFFF);
  EXPECT_EQ(Read(ISO_CHANNEL), 0xF3000000u);
  Write(ISO_EN, 0xFFFFFFFF);
  EXPECT_EQ(Read(ISO_EN), Bit(0));
  Write(ONE_SHOT, 0xFFFFFFFF);
  EXPECT_EQ(Read(ONE_SHOT), 0xC000FFFFu);
  Write(ONE_SHOT, Bit(1) | 2);  // multi-shot: counts frames down
  m_pCamera->NoteFrameSent();
  EXPECT_EQ(Read(ONE_SHOT), Bit(1) | 1);
  m_pCamera->NoteFrameSent();
  EXPECT_EQ(Read(ONE_SHOT), 0u);
  Write(ONE_SHOT, Bit(0));
  m_pCamera->NoteFrameSent();
  EXPECT_EQ(Read(ONE_SHOT), 0u);
  Write(ONE_SHOT, Bit(1));  // a multi-shot of no frames sends none
  EXPECT_FALSE(m_pCamera->GetIsoSettings().bShot);
  SwitchTo(1, 2);
  Write(FEATURE_CONTROL_BASE + FEATURE_BRIGHTNESS, CTL_ON_OFF | 7);
  Write(CAMERA_POWER, 0);
  EXPECT_EQ(Read(CAMERA_POWER), 0u);
  Write(INITIALIZE, 0x7FFFFFFF);  // without bit 0 nothing happens
  EXPECT_EQ(Read(CUR_V_FORMAT), 1u << 29);
  Write(INITIALIZE, Bit(0));
  EXPECT_EQ(Read(INITIALIZE), 0u);
  EXPECT_EQ(Read(CUR_V_FORMAT), 0u);
  EXPECT_EQ(Read(CUR_V_MODE), 3u << 29);
  EXPECT_EQ(Read(FEATURE_CONTROL_BASE + FEATURE_BRIGHTNESS) & VALUE_LO_MASK, 128u);
}

TEST_F(CameraTest, FaultSwitchesAndRawRegisters) {
  CameraFaults& faults = *m_pCamera->Faults();
  faults.readFailure.Set(0x600, 0x60C, VCAM_E_ADDRESS);
  std::uint32_t v = 0;
  EXPECT_EQ(m_pCamera->ReadQuadlet(0x604, &v), VCAM_E_ADDRESS);
  EXPECT_EQ(m_pCamera->ReadQuadlet(0x610, &v), VCAM_S_OK);
  EXPECT_EQ(m_pCamera->WriteQuadlet(0x604, 0), VCAM_S_OK);
  faults.readFailure.Clear();
  faults.writeFailure.SetAll();
  EXPECT_EQ(m_pCamera->WriteQuadlet(CUR_V_MODE, 5u << 29), VCAM_E_FAIL);
  EXPECT_EQ(Read(CUR_V_MODE), 0u);  // as the write that got through left it
  faults.Clear();
  faults.nFramesBeforeLoss = 2;  // the camera is lost with its second frame
  m_pCamera->NoteFrameSent();
  EXPECT_FALSE(faults.bUnplugged);
  m_pCamera->NoteFrameSent();
  EXPECT_TRUE(faults.bUnplugged);
  EXPECT_EQ(faults.nFramesBeforeLoss, 0u);
  EXPECT_EQ(m_pCamera->ReadQuadlet(V_FORMAT_INQ, &v), VCAM_E_NOT_CONNECTED);
  EXPECT_EQ(m_pCamera->WriteQuadlet(ISO_EN, 0), VCAM_E_NOT_CONNECTED);

  Profile p = BuiltInCameraSet()[1];
  p.rawRegisters[0x1F00] = 0xCAFE;       // a register of the maker's own
  p.rawRegisters[CUR_V_MODE] = 7u << 29;  // a mode Format 0 does not have
  p.rawRom = {0x04040000, BUS_NAME_1394, 0x20FF8002, 0x00112233, 0x44556677};
  Make(p);
  EXPECT_EQ(Read(0x1F00), 0xCAFEu);
  Write(0x1F00, 0xBEEF);
  EXPECT_EQ(Read(0x1F00), 0xBEEFu);
  EXPECT_FALSE(m_pCamera->GetStream().bValid);
  EXPECT_EQ(Read(VMODE_ERROR_STATUS), Bit(0));
  Write(CUR_V_MODE, 5u << 29);
  EXPECT_TRUE(m_pCamera->GetStream().bValid);
  EXPECT_EQ(Read(VMODE_ERROR_STATUS), 0u);
  for (std::uint32_t i = 0; i < p.rawRom.size(); ++i) EXPECT_EQ(Read(ROM_OFFSET + 4 * i), p.rawRom[i]);
  EXPECT_EQ(m_pCamera->ReadQuadlet(ROM_OFFSET + 4 * static_cast<std::uint32_t>(p.rawRom.size()), &v), VCAM_E_ADDRESS);
}

class Format7Test : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    m_dwBlock = Format7Block(0);
  }
  std::uint32_t Field(std::uint32_t nField) { return Read(m_dwBlock + nField); }
  void SetField(std::uint32_t nField, std::uint32_t v) { Write(m_dwBlock + nField, v); }
  bool ErrorFlag() { return Field(F7_VALUE_SETTING) & VS_ERROR_FLAG_1; }
  Result Apply(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height, std::size_t cb = AREA_REQUEST_BYTES) {
    std::vector<std::uint8_t> req(AREA_REQUEST_BYTES, 0);
    const std::int32_t fields[] = {left, top, width, height, 1};
    for (int i = 0; i < 5; ++i) {
      for (int b = 0; b < 4; ++b) {
        req[AREA_LEFT_AT + 4 * i + b] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(fields[i]) >> (8 * b));
      }
    }
    return m_pCamera->ApplyAreaRequest(req.data(), cb);
  }
  std::uint32_t m_dwBlock = 0;
};

TEST_F(Format7Test, BlockLiesWhereTheInquiryPointsAndPublishesTheMode) {
  EXPECT_EQ(m_dwBlock, F7_BLOCKS_AT);
  EXPECT_EQ(Format7Block(1), F7_BLOCKS_AT + 0x100);
  for (const auto& [nField, dwValue] : std::initializer_list<std::pair<std::uint32_t, std::uint32_t>>{
           {F7_MAX_IMAGE_SIZE_INQ, 1280u << 16 | 960}, {F7_UNIT_SIZE_INQ, 8u << 16 | 2},
           {F7_UNIT_POSITION_INQ, 4u << 16 | 2}, {F7_COLOR_CODING_INQ, Bit(0) | Bit(1) | Bit(2) | Bit(4) | Bit(5)},
           {F7_COLOR_CODING_ID, 0}, {F7_IMAGE_SIZE, 1280u << 16 | 960}, {F7_PIXEL_NUMBER_INQ, 1280u * 960},
           {F7_TOTAL_BYTES_HI_INQ, 0}, {F7_TOTAL_BYTES_LO_INQ, 1228800}, {F7_PACKET_PARA_INQ, 4u << 16 | 4096},
           {F7_PACKET_PER_FRAME_INQ, 300}, {F7_DATA_DEPTH_INQ, 8u << 24}, {F7_COLOR_FILTER_ID, 0xFF000000},
           {F7_VALUE_SETTING, VS_PRESENCE}})
    EXPECT_EQ(Field(nField), dwValue) << std::hex << nField;
  SetField(F7_MAX_IMAGE_SIZE_INQ, 0);  // inquiry: ignored
  EXPECT_EQ(Field(F7_MAX_IMAGE_SIZE_INQ), 1280u << 16 | 960);
}

TEST_F(Format7Test, SizePositionCodingAndPacketAreCheckedAgainstTheMode) {
  SetField(F7_IMAGE_SIZE, 640u << 16 | 480);
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

  SetField(F7_COLOR_CODING_ID, COLOR_YUV422 << 24);
  EXPECT_EQ(Field(F7_TOTAL_BYTES_LO_INQ), 640u * 480 * 2);
  SetField(F7_COLOR_CODING_ID, COLOR_RGB16 << 24);  // not offered by this mode
  EXPECT_EQ(Field(F7_COLOR_CODING_ID), COLOR_YUV422 << 24);
  EXPECT_TRUE(ErrorFlag());
  SetField(F7_BYTE_PER_PACKET, 1000u << 16);
  EXPECT_EQ(Field(F7_BYTE_PER_PACKET) >> 16, 1000u);
  EXPECT_EQ(Field(F7_PACKET_PER_FRAME_INQ), 615u);
  for (std::uint32_t refused : {1002u, 8192u, 0u}) {
    SetField(F7_BYTE_PER_PACKET, refused << 16);
    EXPECT_EQ(Field(F7_BYTE_PER_PACKET) >> 16, 1000u);
    EXPECT_TRUE(Field(F7_VALUE_SETTING) & VS_ERROR_FLAG_2);
  }
  SetField(F7_VALUE_SETTING, VS_SETTING_1);  // settings in force are fine
  EXPECT_EQ(Field(F7_VALUE_SETTING) & (VS_SETTING_1 | VS_ERROR_FLAG_1), 0u);

  m_dwBlock = Format7Block(1);  // 640 x 480 in steps of 4, no position unit: the size unit
  EXPECT_EQ(Field(F7_UNIT_POSITION_INQ), 0u);
  SetField(F7_IMAGE_SIZE, 320u << 16 | 240);
  SetField(F7_IMAGE_POSITION, 4u << 16 | 8);
  SetField(F7_IMAGE_POSITION, 2u << 16 | 8);
  EXPECT_EQ(Field(F7_IMAGE_POSITION), 4u << 16 | 8);
}

TEST_F(Format7Test, AreaRequestSetsTheRectangleOfTheCurrentModeWhole) {
  EXPECT_EQ(Apply(0, 0, 640, 480), VCAM_E_NOT_FOUND) << "not in Format 7";
  EXPECT_EQ(static_cast<std::uint32_t>(VCAM_E_NOT_FOUND), 0x80070490u);
  SwitchTo(7, 0);
  ASSERT_EQ(Apply(16, 8, 640, 480), VCAM_S_OK);
  EXPECT_EQ(Field(F7_IMAGE_POSITION), 0x00100008u);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 0x028001E0u);
  const StreamInfo s = m_pCamera->GetStream();
  EXPECT_EQ(s.nLeft, 16u);
  EXPECT_EQ(s.nTop, 8u);
  EXPECT_EQ(s.cbFrame, 307200u);
  EXPECT_EQ(s.llInterval, 75 * ISO_CYCLE_100NS);
  for (const auto& [left, top, width, height] : {std::tuple{2, 8, 640, 480}, std::tuple{16, 8, 641, 480},
                                                  std::tuple{648, 8, 640, 480}, std::tuple{16, 8, -640, 480},
                                                  std::tuple{16, 8, 0, 480}, std::tuple{-4, 0, 8, 2}}) {
    EXPECT_EQ(Apply(left, top, width, height), VCAM_E_INVALIDARG) << left << "," << top << " " << width;
    EXPECT_EQ(Field(F7_IMAGE_POSITION), 0x00100008u);
    EXPECT_EQ(Field(F7_IMAGE_SIZE), 0x028001E0u);
    EXPECT_TRUE(ErrorFlag());
  }
  EXPECT_EQ(Apply(0, 0, 8, 2, 63), VCAM_E_INVALIDARG);
  EXPECT_EQ(m_pCamera->ApplyAreaRequest(nullptr, 64), VCAM_E_POINTER);
  m_pCamera->Faults()->bRefuseArea = true;
  EXPECT_EQ(Apply(0, 0, 8, 2), VCAM_E_INVALIDARG);
  m_pCamera->Faults()->bRefuseArea = false;
  // A rectangle that fits only after moving is applied as a whole.
  EXPECT_EQ(Apply(0, 0, 1280, 960), VCAM_S_OK);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 1280u << 16 | 960);
  SwitchTo(7, 1);
  ASSERT_EQ(Apply(4, 4, 320, 240), VCAM_S_OK);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 1280u << 16 | 960) << "mode 0 keeps its own";
  m_dwBlock = Format7Block(1);
  EXPECT_EQ(Field(F7_IMAGE_SIZE), 320u << 16 | 240);
  EXPECT_EQ(m_pCamera->GetStream().cbFrame, 320u * 240 * 2);
}

// A colour sensor's Mono and Raw frames: the pattern's colour its filter passes
// at each pixel's place on the sensor, wherever the area lies. The registers
// report the sensor's filter; a camera without one says so and stays grey.
TEST_F(CameraTest, ColourSensorSamplesThePatternThroughItsFilter) {
  constexpr std::uint32_t W = 8, H = 4, SEQ = 9;
  for (std::uint32_t nFilter = FILTER_RGGB; nFilter <= FILTER_NONE; ++nFilter) {
    const std::string name = nFilter == FILTER_NONE ? "YYYY" : std::string(ColorFilterName(nFilter));
    SCOPED_TRACE(name);
    Profile p = BuiltInCameraSet()[0];
    p.nColorFilter = nFilter, p.bTileMapping = true;
    p.format7Modes[0].nUnitLeft = p.format7Modes[0].nUnitTop = 1;
    p.format7Modes[0].colorCodings = {COLOR_MONO8, COLOR_MONO16, COLOR_RAW8, COLOR_RAW16};
    Make(p);
    Write(BAYER_TILE_MAPPING, 0);  // read-only
    EXPECT_EQ(Read(BAYER_TILE_MAPPING), std::uint32_t(name[0] << 24 | name[1] << 16 | name[2] << 8 | name[3]));
    SwitchTo(0, 5);  // Mono8 640x480
    EXPECT_EQ(m_pCamera->GetStream().nFilter, nFilter);
    SwitchTo(0, 3);  // YUV422: the camera's own colour
    EXPECT_EQ(m_pCamera->GetStream().nFilter, FILTER_NONE);
    SwitchTo(7, 0);
    const std::uint32_t dwBlock = Format7Block(0);
    for (const auto& [left, top] : {std::pair{0u, 0u}, {1u, 0u}, {0u, 1u}, {3u, 5u}})
      for (std::uint32_t nColor : {COLOR_RAW8, COLOR_RAW16, COLOR_MONO8, COLOR_MONO16}) {
        Write(dwBlock + F7_IMAGE_SIZE, W << 16 | H);
        Write(dwBlock + F7_IMAGE_POSITION, left << 16 | top);
        Write(dwBlock + F7_COLOR_CODING_ID, nColor << 24);
        EXPECT_EQ(Read(dwBlock + F7_COLOR_FILTER_ID), nFilter == FILTER_NONE ? 0xFF000000 : nFilter << 24);
        EXPECT_EQ(Read(dwBlock + F7_DATA_DEPTH_INQ), BitsPerPixel(nColor) << 24);
        const StreamInfo s = m_pCamera->GetStream();
        const std::uint32_t cbSample = BitsPerPixel(nColor) / 8;
        std::vector<std::uint8_t> frame(W * H * cbSample);
        ASSERT_EQ(s.cbFrame, frame.size());
        ASSERT_TRUE(DrawTestPattern(s.nColor, s.nWidth, s.nHeight, SEQ, frame, s.nFilter));
        for (std::uint32_t i = 4 / cbSample; i < W * H; ++i) {  // past the sequence number
          const std::uint32_t x = i % W, y = i / W;
          const PatternPixel c = PatternAt(x, y, SEQ);
          const char letter = name[((top + y) & 1) * 2 + ((left + x) & 1)];
          std::uint32_t want = letter == 'R' ? c.r : letter == 'G' ? c.g : letter == 'B' ? c.b : c.y;
          if (cbSample == 2) want = letter == 'Y' ? c.y16 : want * 257;
          const std::uint32_t got = cbSample == 2 ? frame[2 * i] << 8 | frame[2 * i + 1] : frame[i];
          ASSERT_EQ(got, want) << ColorCodingName(nColor) << " at " << left << "," << top << " pixel " << x << "," << y;
        }
      }
  }
}

class FeatureTest : public CameraTest {
 protected:
  static constexpr std::uint32_t Control(std::uint32_t nId) { return FEATURE_CONTROL_BASE + nId; }
  static constexpr std::uint32_t Value(std::uint32_t q) { return q & VALUE_LO_MASK; }
  static constexpr std::uint32_t Value2(std::uint32_t q) { return (q >> VALUE_HI_SHIFT) & VALUE_LO_MASK; }
  float ReadFloat(std::uint32_t dwOffset) { return std::bit_cast<float>(Read(dwOffset)); }
  void WriteFloat(std::uint32_t dwOffset, float f) { Write(dwOffset, std::bit_cast<std::uint32_t>(f)); }
};

TEST_F(FeatureTest, ValuesAreMaskedAndClampedToTheRangeOfPresentFeatures) {
  Write(Control(FEATURE_BRIGHTNESS), CTL_ON_OFF | 300);  // range 0 to 255
  EXPECT_EQ(Read(Control(FEATURE_BRIGHTNESS)), CTL_PRESENCE | CTL_ON_OFF | 255);
  Write(Control(FEATURE_BRIGHTNESS), CTL_ON_OFF | 0x38FFF000u | 17);  // reserved bits do not stick
  EXPECT_EQ(Read(Control(FEATURE_BRIGHTNESS)), CTL_PRESENCE | CTL_ON_OFF | 17);
  Write(Control(FEATURE_AUTO_EXPOSURE), CTL_ON_OFF | 0);  // range 1 to 1023
  EXPECT_EQ(Value(Read(Control(FEATURE_AUTO_EXPOSURE))), 1u);
  // White balance: both values are clamped; temperature: only the target is set.
  Write(Control(FEATURE_WHITE_BALANCE), CTL_ON_OFF | 2000u << VALUE_HI_SHIFT | 100);
  EXPECT_EQ(Value2(Read(Control(FEATURE_WHITE_BALANCE))), 1023u);
  EXPECT_EQ(Value(Read(Control(FEATURE_WHITE_BALANCE))), 100u);
  Write(Control(FEATURE_TEMPERATURE), CTL_ON_OFF | 2500u << VALUE_HI_SHIFT | 10);
  EXPECT_EQ(Value2(Read(Control(FEATURE_TEMPERATURE))), 2500u);
  EXPECT_EQ(Value(Read(Control(FEATURE_TEMPERATURE))), 3000u);
  Write(Control(FEATURE_PAN), 0xFFFFFFFF);
  EXPECT_EQ(Read(Control(FEATURE_PAN)), 0u) << "absent: read-only zero";
  Make(1);  // the monochrome camera has no white balance
  EXPECT_EQ(Read(FEATURE_INQ_BASE + FEATURE_WHITE_BALANCE), 0u);
  Write(Control(FEATURE_WHITE_BALANCE), 0xFFFFFFFF);
  EXPECT_EQ(Read(Control(FEATURE_WHITE_BALANCE)), 0u);
}

TEST_F(FeatureTest, OnOffAutoAndOnePushFollowTheInquiry) {
  // Brightness cannot be switched off; hue can, and while off it takes nothing else.
  Write(Control(FEATURE_BRIGHTNESS), 50);
  EXPECT_EQ(Read(Control(FEATURE_BRIGHTNESS)), CTL_PRESENCE | CTL_ON_OFF | 50);
  EXPECT_EQ(Read(Control(FEATURE_HUE)), CTL_PRESENCE | 128);
  Write(Control(FEATURE_HUE), 50);
  EXPECT_EQ(Read(Control(FEATURE_HUE)), CTL_PRESENCE | 128);
  Write(Control(FEATURE_HUE), CTL_ON_OFF | CTL_AUTO | 60);  // hue has no automatic mode
  EXPECT_EQ(Read(Control(FEATURE_HUE)), CTL_PRESENCE | CTL_ON_OFF | 60);
  // In automatic mode the value is the camera's.
  Write(Control(FEATURE_SHARPNESS), CTL_ON_OFF | CTL_AUTO | 10);
  EXPECT_EQ(Read(Control(FEATURE_SHARPNESS)), CTL_PRESENCE | CTL_ON_OFF | CTL_AUTO | 80);
  Write(Control(FEATURE_SHARPNESS), CTL_ON_OFF | 10);
  EXPECT_EQ(Read(Control(FEATURE_SHARPNESS)), CTL_PRESENCE | CTL_ON_OFF | 10);
  // One-push settles on the camera's clock, not in automatic mode, and not
  // on a feature without it.
  Write(Control(FEATURE_WHITE_BALANCE), CTL_ON_OFF | CTL_ONE_PUSH | 5u << VALUE_HI_SHIFT | 5);
  m_pClock->Advance(ONE_PUSH_DURATION - 1);
  EXPECT_TRUE(Read(Control(FEATURE_WHITE_BALANCE)) & CTL_ONE_PUSH);
  m_pClock->Advance(1);
  const std::uint32_t q = Read(Control(FEATURE_WHITE_BALANCE));
  EXPECT_FALSE(q & CTL_ONE_PUSH);
  EXPECT_EQ(Value(q), 511u);
  EXPECT_EQ(Value2(q), 511u);
  Write(Control(FEATURE_FOCUS), CTL_ON_OFF | CTL_AUTO | CTL_ONE_PUSH);
  EXPECT_FALSE(Read(Control(FEATURE_FOCUS)) & CTL_ONE_PUSH);
  Write(Control(FEATURE_BRIGHTNESS), CTL_ON_OFF | CTL_ONE_PUSH);
  EXPECT_FALSE(Read(Control(FEATURE_BRIGHTNESS)) & CTL_ONE_PUSH);
}

TEST_F(FeatureTest, AbsoluteValuesAreClampedAndKeepTheIntegerInStep) {
  const std::uint32_t csr = CsrQuadletToOffset(Read(ABS_CSR_OFFSET_BASE + FEATURE_SHUTTER));
  EXPECT_EQ(csr, ABS_CSRS_AT + 4 * FEATURE_SHUTTER);
  EXPECT_FLOAT_EQ(ReadFloat(csr + ABS_MIN), 0.0001f);
  EXPECT_FLOAT_EQ(ReadFloat(csr + ABS_MAX), 0.5f);
  WriteFloat(csr + ABS_VALUE, 0.25f);
  EXPECT_FLOAT_EQ(ReadFloat(csr + ABS_VALUE), 0.25f);
  const double t = (0.25 - 0.0001f) / (0.5f - 0.0001f);
  EXPECT_EQ(Value(Read(Control(FEATURE_SHUTTER))), 1 + static_cast<std::uint32_t>(std::lround(t * 4094)));
  WriteFloat(csr + ABS_VALUE, 5.0f);
  EXPECT_FLOAT_EQ(ReadFloat(csr + ABS_VALUE), 0.5f);
  EXPECT_EQ(Value(Read(Control(FEATURE_SHUTTER))), 4095u);
  WriteFloat(csr + ABS_VALUE, std::nanf(""));
  EXPECT_FLOAT_EQ(ReadFloat(csr + ABS_VALUE), 0.5f);
  WriteFloat(csr + ABS_MIN, 1.0f);
  EXPECT_FLOAT_EQ(ReadFloat(csr + ABS_MIN), 0.0001f);
  Write(Control(FEATURE_SHUTTER), CTL_ON_OFF | 1);  // an integer write moves the absolute value along
  EXPECT_FLOAT_EQ(ReadFloat(csr + ABS_VALUE), 0.0001f);
  // In absolute control mode the integer value holds.
  Write(Control(FEATURE_GAIN), CTL_ON_OFF | CTL_ABS_CONTROL | 600);
  EXPECT_TRUE(Read(Control(FEATURE_GAIN)) & CTL_ABS_CONTROL);
  EXPECT_EQ(Value(Read(Control(FEATURE_GAIN))), 170u);
  Write(Control(FEATURE_BRIGHTNESS), CTL_ON_OFF | CTL_ABS_CONTROL | 5);  // no absolute control
  EXPECT_EQ(Read(Control(FEATURE_BRIGHTNESS)), CTL_PRESENCE | CTL_ON_OFF | 5);
  // A fixed range (a recorded camera whose value lay outside it) leaves the
  // absolute value where it was.
  Profile p = BuiltInCameraSet()[0];
  FeatureProfile& gain = *std::ranges::find(p.features, FEATURE_GAIN, &FeatureProfile::nId);
  gain.nMin = gain.nMax = 5;
  Make(p);
  const float before = ReadFloat(CsrQuadletToOffset(Read(ABS_CSR_OFFSET_BASE + FEATURE_GAIN)) + ABS_VALUE);
  Write(Control(FEATURE_GAIN), CTL_ON_OFF | 9);
  EXPECT_EQ(Value(Read(Control(FEATURE_GAIN))), 5u);
  EXPECT_FLOAT_EQ(ReadFloat(CsrQuadletToOffset(Read(ABS_CSR_OFFSET_BASE + FEATURE_GAIN)) + ABS_VALUE), before);
}

TEST_F(FeatureTest, TriggerTakesOfferedModesOnly) {
  const std::uint32_t inq = Read(FEATURE_INQ_BASE + FEATURE_TRIGGER);
  EXPECT_EQ(inq & 0xFFFF, 0xF000u);  // modes 0 to 3
  EXPECT_TRUE(inq & TRIGGER_INQ_POLARITY);
  EXPECT_EQ(Read(Control(FEATURE_TRIGGER)), CTL_PRESENCE);  // off, mode 0
  Write(Control(FEATURE_TRIGGER), CTL_ON_OFF | TRIGGER_POLARITY | 3u << TRIGGER_MODE_SHIFT | 5);
  EXPECT_EQ(Read(Control(FEATURE_TRIGGER)), CTL_PRESENCE | CTL_ON_OFF | TRIGGER_POLARITY | 3u << TRIGGER_MODE_SHIFT | 5);
  Write(Control(FEATURE_TRIGGER), CTL_ON_OFF | 5u << TRIGGER_MODE_SHIFT | 9);  // mode 5 is not offered
  EXPECT_EQ(Read(Control(FEATURE_TRIGGER)), CTL_PRESENCE | CTL_ON_OFF | 3u << TRIGGER_MODE_SHIFT | 9);
  Make(1);  // modes 0 and 1 only
  Write(Control(FEATURE_TRIGGER), CTL_ON_OFF | 2u << TRIGGER_MODE_SHIFT);
  EXPECT_EQ((Read(Control(FEATURE_TRIGGER)) >> TRIGGER_MODE_SHIFT) & 0xF, 0u);
  Write(Control(FEATURE_TRIGGER), CTL_ON_OFF | 1u << TRIGGER_MODE_SHIFT);
  EXPECT_EQ((Read(Control(FEATURE_TRIGGER)) >> TRIGGER_MODE_SHIFT) & 0xF, 1u);
}

TEST(ConfigRom, NamesOfEveryLengthRoundTripAndTheKeyWalkFindsThemInAnyLayout) {
  for (std::size_t n = 0; n <= 13; ++n) {
    const std::string name(n, static_cast<char>('a' + n));
    const RomIdentity id = WalkConfigRom(BuildConfigRom(name, name + "-M", 42));
    EXPECT_EQ(id.strError, "") << n;
    EXPECT_TRUE(id.bCrcOk);
    EXPECT_EQ(id.strVendor, name);
    EXPECT_EQ(id.strModel, name + "-M");
    EXPECT_EQ(id.ullUniqueId, 42u);
  }
  // A unit of another kind comes first; the IIDC unit directory has an entry
  // the walk steps over, and the model leaf comes before the vendor leaf.
  const std::vector<std::uint32_t> rom = {
      0x04040000, BUS_NAME_1394, 0x20FF8002, 0x00112233, 0x44556677,  // 0: bus information block
      0x00030000, 0x03001122, 0xD1000002, 0xD1000006,                  // 5: root -> units at 9, 14
      0x00020000, 0x1200609E, 0x13010483, 0, 0,                        // 9: a storage unit
      0x00040000, 0x1200A02D, 0x13000102, 0x38000001, 0xD4000001,      // 14: unit -> dependent at 19
      0x00030000, 0x403C0000, 0x82000002, 0x81000005,                  // 19: model at 23, vendor at 27
      0x00030000, 0, 0, 0x4D4F444C,                                    // 23: "MODL"
      0x00040000, 0, 0, 0x41424344, 0x45000000,                        // 27: "ABCDE"
  };
  const RomIdentity id = WalkConfigRom(rom);
  EXPECT_EQ(id.strError, "");
  EXPECT_FALSE(id.bCrcOk);  // hand-made: no CRCs
  EXPECT_EQ(id.ullUniqueId, 0x0011223344556677u);
  EXPECT_EQ(id.strVendor, "ABCDE");
  EXPECT_EQ(id.strModel, "MODL");
}

TEST(ConfigRom, TruncatedAndDamagedRomsAreReported) {
  const std::vector<std::uint32_t> full = BuildConfigRom("Vendor", "Model", 0x0102030405060708);
  for (std::size_t n = 0; n < full.size(); ++n) {
    const RomIdentity id = WalkConfigRom(std::span(full).first(n));
    EXPECT_NE(id.strError, "") << n;
    EXPECT_FALSE(id.strModel.has_value()) << n;  // the model leaf is the last block
  }
  EXPECT_EQ(WalkConfigRom(std::span(full).first(0)).ullUniqueId, std::nullopt);
  const std::vector<std::uint32_t> rom = BuildConfigRom("V", "M", 1);
  std::vector<std::uint32_t> bad = rom;
  bad[9] = (bad[9] & 0xFFFFFF) | 0xD2000000u;  // root's unit entry with another key
  RomIdentity id = WalkConfigRom(bad);
  EXPECT_EQ(id.strError, "no IIDC unit directory");
  EXPECT_FALSE(id.strVendor.has_value());
  EXPECT_EQ(id.ullUniqueId, 1u);  // the bus information block was fine
  bad = rom;
  bad[5] = 0xFFFF0000u;  // root directory claims 65535 entries
  EXPECT_NE(WalkConfigRom(bad).strError.find("longer than the ROM"), std::string::npos);
  bad = rom;
  bad[21] = 0x00010000u;  // vendor leaf of length 1
  id = WalkConfigRom(bad);
  EXPECT_FALSE(id.strVendor.has_value());
  EXPECT_EQ(id.strModel, "M");
  bad = rom;
  bad[9] = 0xD1FFFFFFu;  // points 64 MiB away
  EXPECT_NE(WalkConfigRom(bad).strError, "");
  bad = rom;
  bad[24] ^= 0x01000000u;  // one bit of the vendor text
  id = WalkConfigRom(bad);
  EXPECT_FALSE(id.bCrcOk);
  EXPECT_EQ(id.strModel, "M");
  // A reader that refuses every quadlet.
  EXPECT_NE(WalkConfigRom([](std::uint32_t, std::uint32_t*) { return false; }, ROM_MAX_BYTES).strError, "");
}

}  // namespace
}  // namespace vcam::test
