#include <bit>
#include <cmath>

#include "camera_fixture.h"

namespace vcam::test {
namespace {

constexpr std::uint32_t Control(std::uint32_t nId) { return FEATURE_CONTROL_BASE + nId; }
constexpr std::uint32_t Value(std::uint32_t q) { return q & VALUE_LO_MASK; }
constexpr std::uint32_t Value2(std::uint32_t q) { return (q >> VALUE_HI_SHIFT) & VALUE_LO_MASK; }

class FeatureTest : public CameraTest {
protected:
  std::uint32_t AbsCsr(std::uint32_t nId) { return CsrQuadletToOffset(Read(ABS_CSR_OFFSET_BASE + nId)); }
  float ReadFloat(std::uint32_t dwOffset) { return std::bit_cast<float>(Read(dwOffset)); }
  void WriteFloat(std::uint32_t dwOffset, float f) { Write(dwOffset, std::bit_cast<std::uint32_t>(f)); }
};

TEST_F(FeatureTest, ValuesAreMaskedAndClampedToTheRange) {
  Write(Control(FEATURE_BRIGHTNESS), CTL_ON_OFF | 300);  // range 0 to 255
  EXPECT_EQ(Read(Control(FEATURE_BRIGHTNESS)), CTL_PRESENCE | CTL_ON_OFF | 255);
  Write(Control(FEATURE_BRIGHTNESS), CTL_ON_OFF | 0x38FFF000u | 17);  // reserved bits and the unused field do not stick
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
}

TEST_F(FeatureTest, AbsentFeaturesAreReadOnlyZero) {
  Write(Control(FEATURE_PAN), 0xFFFFFFFF);
  EXPECT_EQ(Read(Control(FEATURE_PAN)), 0u);
  Make(1);  // the monochrome camera has no white balance
  EXPECT_EQ(Read(FEATURE_INQ_BASE + FEATURE_WHITE_BALANCE), 0u);
  Write(Control(FEATURE_WHITE_BALANCE), 0xFFFFFFFF);
  EXPECT_EQ(Read(Control(FEATURE_WHITE_BALANCE)), 0u);
}

TEST_F(FeatureTest, OnOffAndAutoFollowTheInquiry) {
  // Brightness cannot be switched off; hue can, and while off it takes nothing else.
  Write(Control(FEATURE_BRIGHTNESS), 50);
  EXPECT_EQ(Read(Control(FEATURE_BRIGHTNESS)), CTL_PRESENCE | CTL_ON_OFF | 50);
  EXPECT_EQ(Read(Control(FEATURE_HUE)), CTL_PRESENCE | 128);
  Write(Control(FEATURE_HUE), 50);
  EXPECT_EQ(Read(Control(FEATURE_HUE)), CTL_PRESENCE | 128);
  Write(Control(FEATURE_HUE), CTL_ON_OFF | 50);
  EXPECT_EQ(Read(Control(FEATURE_HUE)), CTL_PRESENCE | CTL_ON_OFF | 50);
  Write(Control(FEATURE_HUE), CTL_ON_OFF | CTL_AUTO | 60);  // hue has no automatic mode
  EXPECT_EQ(Read(Control(FEATURE_HUE)), CTL_PRESENCE | CTL_ON_OFF | 60);

  // In automatic mode the value is the camera's.
  Write(Control(FEATURE_SHARPNESS), CTL_ON_OFF | CTL_AUTO | 10);
  EXPECT_EQ(Read(Control(FEATURE_SHARPNESS)), CTL_PRESENCE | CTL_ON_OFF | CTL_AUTO | 80);
  Write(Control(FEATURE_SHARPNESS), CTL_ON_OFF | 10);
  EXPECT_EQ(Read(Control(FEATURE_SHARPNESS)), CTL_PRESENCE | CTL_ON_OFF | 10);
}

TEST_F(FeatureTest, OnePushSettlesOnTheCameraClock) {
  Write(Control(FEATURE_WHITE_BALANCE), CTL_ON_OFF | CTL_ONE_PUSH | 5u << VALUE_HI_SHIFT | 5);
  EXPECT_TRUE(Read(Control(FEATURE_WHITE_BALANCE)) & CTL_ONE_PUSH);
  m_pClock->Advance(ONE_PUSH_DURATION - 1);
  EXPECT_TRUE(Read(Control(FEATURE_WHITE_BALANCE)) & CTL_ONE_PUSH);
  m_pClock->Advance(1);
  const std::uint32_t q = Read(Control(FEATURE_WHITE_BALANCE));
  EXPECT_FALSE(q & CTL_ONE_PUSH);
  EXPECT_EQ(Value(q), 511u);
  EXPECT_EQ(Value2(q), 511u);

  // Not in automatic mode, and not on a feature without one-push.
  Write(Control(FEATURE_FOCUS), CTL_ON_OFF | CTL_AUTO | CTL_ONE_PUSH);
  EXPECT_FALSE(Read(Control(FEATURE_FOCUS)) & CTL_ONE_PUSH);
  Write(Control(FEATURE_BRIGHTNESS), CTL_ON_OFF | CTL_ONE_PUSH);
  EXPECT_FALSE(Read(Control(FEATURE_BRIGHTNESS)) & CTL_ONE_PUSH);
}

TEST_F(FeatureTest, AbsoluteValueIsClampedAndKeepsTheIntegerInStep) {
  const std::uint32_t csr = AbsCsr(FEATURE_SHUTTER);
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

  // An integer write moves the absolute value along.
  Write(Control(FEATURE_SHUTTER), CTL_ON_OFF | 1);
  EXPECT_FLOAT_EQ(ReadFloat(csr + ABS_VALUE), 0.0001f);
}

TEST_F(FeatureTest, AbsoluteControlModeHoldsTheIntegerValue) {
  Write(Control(FEATURE_GAIN), CTL_ON_OFF | CTL_ABS_CONTROL | 600);
  const std::uint32_t q = Read(Control(FEATURE_GAIN));
  EXPECT_TRUE(q & CTL_ABS_CONTROL);
  EXPECT_EQ(Value(q), 170u);
  Write(Control(FEATURE_BRIGHTNESS), CTL_ON_OFF | CTL_ABS_CONTROL | 5);  // no absolute control
  EXPECT_EQ(Read(Control(FEATURE_BRIGHTNESS)), CTL_PRESENCE | CTL_ON_OFF | 5);
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

}  // namespace
}  // namespace vcam::test
