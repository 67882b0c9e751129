#include "camera_fixture.h"

namespace vcam::test {
namespace {

TEST_F(CameraTest, UnimplementedAddressesFailAndLeaveTheValue) {
  const std::uint32_t rom = ROM_OFFSET + 4 * static_cast<std::uint32_t>(m_pCamera->Rom().size());
  for (std::uint32_t dwOffset : {0x618u, 0x3000u, 0x101u, 0x0FFFFFFCu, rom, Format7Block(0) + 0x18}) {
    std::uint32_t v = 0x12345678;
    EXPECT_EQ(m_pCamera->ReadQuadlet(dwOffset, &v), VCAM_E_ADDRESS) << std::hex << dwOffset;
    EXPECT_EQ(v, 0x12345678u);
    EXPECT_EQ(m_pCamera->WriteQuadlet(dwOffset, 0), VCAM_E_ADDRESS) << std::hex << dwOffset;
  }
  Make(1);  // no Format 7: its block is not there
  std::uint32_t v = 0;
  EXPECT_EQ(m_pCamera->ReadQuadlet(F7_BLOCKS_AT, &v), VCAM_E_ADDRESS);
  EXPECT_EQ(m_pCamera->ReadQuadlet(0x500, nullptr), VCAM_E_POINTER);
}

TEST_F(CameraTest, ReadOnlyRegistersIgnoreWrites) {
  for (std::uint32_t dwOffset : {V_FORMAT_INQ, VModeInq(0), VRateInq(0, 3), VCsrInq7(0), BASIC_FUNC_INQ,
                                 FEATURE_INQ_BASE + FEATURE_GAIN, ABS_CSR_OFFSET_BASE + FEATURE_SHUTTER,
                                 ROM_OFFSET + 0x10, VMODE_ERROR_STATUS}) {
    const std::uint32_t before = Read(dwOffset);
    Write(dwOffset, ~before);
    EXPECT_EQ(Read(dwOffset), before) << std::hex << dwOffset;
  }
}

TEST_F(CameraTest, VideoRegistersSwitchTheStream) {
  StreamInfo s = m_pCamera->GetStream();
  ASSERT_TRUE(s.bValid);
  EXPECT_EQ(s.nFormat, 0u);
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
  EXPECT_EQ(s.nFormat, 1u);
  EXPECT_EQ(s.nWidth, 1024u);
  EXPECT_EQ(s.rateCode, 3u);
  EXPECT_EQ(Read(CUR_V_FRM_RATE), 3u << 29);
  Write(CUR_V_FORMAT, 2u << 29);  // not offered
  EXPECT_EQ(Read(CUR_V_FORMAT), 1u << 29);

  Write(CUR_V_FORMAT, 7u << 29);  // Format 7 has no mode 5: its first mode is chosen
  s = m_pCamera->GetStream();
  ASSERT_TRUE(s.bValid);
  EXPECT_EQ(s.nMode, 0u);
  EXPECT_EQ(s.nWidth, 1280u);
  EXPECT_EQ(s.nHeight, 960u);
  EXPECT_EQ(s.cbFrame, 1228800u);
  EXPECT_EQ(s.llInterval, 300 * ISO_CYCLE_100NS);  // 300 packets of 4096 bytes
  EXPECT_EQ(Read(VMODE_ERROR_STATUS), 0u);
}

TEST_F(CameraTest, StatusRegistersAreMasked) {
  EXPECT_EQ(Read(ISO_CHANNEL), 0x02000000u);  // channel 0, S400
  Write(ISO_CHANNEL, 0xFFFFFFFF);
  EXPECT_EQ(Read(ISO_CHANNEL), 0xF3000000u);
  Write(ISO_EN, 0xFFFFFFFF);
  EXPECT_EQ(Read(ISO_EN), Bit(0));
  Write(CAMERA_POWER, 0);
  EXPECT_EQ(Read(CAMERA_POWER), 0u);
  Write(INITIALIZE, 0x7FFFFFFF);  // without bit 0 nothing happens
  EXPECT_EQ(Read(CAMERA_POWER), 0u);
}

TEST_F(CameraTest, OneShotAndMultiShotCountFramesDown) {
  Write(ONE_SHOT, 0xFFFFFFFF);
  EXPECT_EQ(Read(ONE_SHOT), 0xC000FFFFu);
  Write(ONE_SHOT, Bit(1) | 2);
  m_pCamera->NoteFrameSent();
  EXPECT_EQ(Read(ONE_SHOT), Bit(1) | 1);
  m_pCamera->NoteFrameSent();
  EXPECT_EQ(Read(ONE_SHOT), 0u);
  Write(ONE_SHOT, Bit(0));
  m_pCamera->NoteFrameSent();
  EXPECT_EQ(Read(ONE_SHOT), 0u);
}

TEST_F(CameraTest, InitializeRestoresPowerUpState) {
  SwitchTo(1, 2);
  Write(FEATURE_CONTROL_BASE + FEATURE_BRIGHTNESS, CTL_ON_OFF | 7);
  Write(INITIALIZE, Bit(0));
  EXPECT_EQ(Read(INITIALIZE), 0u);
  EXPECT_EQ(Read(CUR_V_FORMAT), 0u);
  EXPECT_EQ(Read(CUR_V_MODE), 3u << 29);
  EXPECT_EQ(Read(FEATURE_CONTROL_BASE + FEATURE_BRIGHTNESS) & VALUE_LO_MASK, 128u);
}

TEST_F(CameraTest, RegisterFaultsFailTheirRange) {
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
  faults.bUnplugged = true;
  EXPECT_EQ(m_pCamera->ReadQuadlet(V_FORMAT_INQ, &v), VCAM_E_NOT_CONNECTED);
  EXPECT_EQ(m_pCamera->WriteQuadlet(ISO_EN, 0), VCAM_E_NOT_CONNECTED);
}

TEST_F(CameraTest, RawRegistersOverrideAndExtend) {
  Profile p = BuiltInCameraSet()[1];
  p.rawRegisters[0x1F00] = 0xCAFE;       // a register of the maker's own
  p.rawRegisters[CUR_V_MODE] = 7u << 29;  // a mode Format 0 does not have
  Make(p);
  EXPECT_EQ(Read(0x1F00), 0xCAFEu);
  Write(0x1F00, 0xBEEF);
  EXPECT_EQ(Read(0x1F00), 0xBEEFu);
  EXPECT_FALSE(m_pCamera->GetStream().bValid);
  EXPECT_EQ(Read(VMODE_ERROR_STATUS), Bit(0));
  Write(CUR_V_MODE, 5u << 29);
  EXPECT_TRUE(m_pCamera->GetStream().bValid);
  EXPECT_EQ(Read(VMODE_ERROR_STATUS), 0u);
}

}  // namespace
}  // namespace vcam::test
