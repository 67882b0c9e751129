// Feature inquiry, state and control, and the trigger, on the built-in
// camera pair.
#include <initializer_list>
#include <vector>

#include "behaviour_fixture.h"

using namespace behaviour;

namespace {

class BehaviourFeatureTest : public BehaviourTest {
 protected:
  // Puts the control registers of the given features back as they are now
  // when the test body ends.
  std::vector<std::pair<uint32_t, uint32_t>> Snapshot(iidc_handle h, std::initializer_list<uint32_t> ids) {
    std::vector<std::pair<uint32_t, uint32_t>> saved;
    for (const uint32_t id : ids) {
      uint32_t value = 0;
      EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS + id, &value, 4), 4);
      saved.emplace_back(REG_BRIGHTNESS + id, value);
    }
    return saved;
  }
  // The camera takes values only while a feature is on and in manual mode, so
  // the saved quadlet goes in switched on first, then as it was.
  static void Restore(iidc_handle h, const std::vector<std::pair<uint32_t, uint32_t>>& saved) {
    for (const auto& [offset, value] : saved) {
      const uint32_t on = value | 0x02000000;
      iidc1394_asyncwritequadlet(h, offset, &on, 4);
      iidc1394_asyncwritequadlet(h, offset, &on, 4);
      iidc1394_asyncwritequadlet(h, offset, &value, 4);
    }
  }

  static iidc_featureinfo Info(iidc_handle h, uint32_t id) {
    iidc_featureinfo info{id, 0xFFFFFFFF, 0xFFFFFFFF, -1.0f, -1.0f};
    EXPECT_EQ(iidc_currentfeatureinfo(h, &info, 0), 1) << "feature " << id;
    return info;
  }

  static iidc_feature Current(iidc_handle h, uint32_t id) {
    iidc_feature feature{id, 0xFFFFFFFF, -1.0f, -1.0f};
    EXPECT_EQ(iidc_currentfeature(h, &feature, 0), 1) << "feature " << id;
    return feature;
  }

  static uint32_t Set(iidc_handle h, uint32_t id, uint32_t flags, float value1, float value2 = 0.0f) {
    const iidc_feature feature{id, flags, value1, value2};
    return iidc_setfeature(h, &feature, 0);
  }
};

constexpr uint32_t PRESENT = 0x80000000;  // control register: Presence_Inq
constexpr uint32_t ON = 0x02000000;       // ON_OFF
constexpr uint32_t AUTO = 0x01000000;     // A_M_Mode; for the trigger: polarity

TEST_F(BehaviourFeatureTest, WhatTheColourCameraCanDo) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);

  iidc_featureinfo info = Info(h, IIDC_FEATURE_BRIGHTNESS);
  EXPECT_EQ(info.reserved, 0u);
  EXPECT_EQ(info.flags, IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_UNITS | IIDC_FEATURECAP_READOUT |
                            IIDC_FEATURECAP_AUTO | IIDC_FEATURECAP_MANUAL);
  EXPECT_EQ(info.minimum, 0.0f);
  EXPECT_EQ(info.maximum, 255.0f);

  info = Info(h, IIDC_FEATURE_AUTO_EXPOSURE);
  EXPECT_EQ(info.flags, 0x7Fu) << "every control, in integer units";
  EXPECT_EQ(info.minimum, 1.0f);
  EXPECT_EQ(info.maximum, 1023.0f);

  // Absolute control: the range is the absolute-value floats, not the units.
  info = Info(h, IIDC_FEATURE_SHUTTER);
  EXPECT_EQ(info.flags, IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_ABSOLUTE | IIDC_FEATURECAP_ONEPUSH |
                            IIDC_FEATURECAP_READOUT | IIDC_FEATURECAP_AUTO | IIDC_FEATURECAP_MANUAL);
  EXPECT_EQ(info.minimum, 0.0001f);
  EXPECT_EQ(info.maximum, 0.5f);
  info = Info(h, IIDC_FEATURE_GAIN);
  EXPECT_EQ(info.flags & (IIDC_FEATURECAP_UNITS | IIDC_FEATURECAP_ABSOLUTE), IIDC_FEATURECAP_ABSOLUTE);
  EXPECT_EQ(info.maximum, 24.0f);

  // The trigger: modes 0 to 3, switchable, no range written.
  info = Info(h, IIDC_FEATURE_TRIGGER);
  EXPECT_EQ(info.flags, IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_UNITS | IIDC_FEATURECAP_READOUT |
                            IIDC_FEATURECAP_ONOFF | IIDC_FEATURECAP_MANUAL | IIDC_FEATURECAP_TRIGGER_MODE0 |
                            IIDC_FEATURECAP_TRIGGER_MODE1 | IIDC_FEATURECAP_TRIGGER_MODE2 |
                            IIDC_FEATURECAP_TRIGGER_MODE3);
  EXPECT_EQ(info.minimum, -1.0f);
  EXPECT_EQ(info.maximum, -1.0f);

  // An absent feature: flags 0, range untouched.
  info = Info(h, IIDC_FEATURE_PAN);
  EXPECT_EQ(info.reserved, 0u);
  EXPECT_EQ(info.flags, 0u);
  EXPECT_EQ(info.minimum, -1.0f);
  EXPECT_EQ(info.maximum, -1.0f);
}

TEST_F(BehaviourFeatureTest, CurrentStateOfFeaturesAtPowerUp) {
  iidc_handle hColor = Open(COLOR_CAMERA);
  iidc_handle hMono = Open(MONO_CAMERA);
  ASSERT_NE(hColor, nullptr);
  ASSERT_NE(hMono, nullptr);

  iidc_feature f = Current(hColor, IIDC_FEATURE_BRIGHTNESS);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_UNITS | IIDC_FEATURESTATE_VALUE1);
  EXPECT_EQ(f.value1, 128.0f);
  f = Current(hColor, IIDC_FEATURE_AUTO_EXPOSURE);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_AUTO | IIDC_FEATURESTATE_UNITS | IIDC_FEATURESTATE_VALUE1);
  EXPECT_EQ(f.value1, 512.0f);
  f = Current(hColor, IIDC_FEATURE_HUE);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_OFF | IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_UNITS |
                         IIDC_FEATURESTATE_VALUE1);
  f = Current(hColor, IIDC_FEATURE_WHITE_BALANCE);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_UNITS | IIDC_FEATURESTATE_VALUE1 |
                         IIDC_FEATURESTATE_VALUE2);
  EXPECT_EQ(f.value1, 600.0f);
  EXPECT_EQ(f.value2, 480.0f);
  f = Current(hColor, IIDC_FEATURE_TRIGGER);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_OFF | IIDC_FEATURESTATE_UNITS | IIDC_FEATURESTATE_VALUE1 |
                         IIDC_FEATURESTATE_VALUE2);
  EXPECT_EQ(f.value1, 0.0f);
  EXPECT_EQ(f.value2, 0.0f);

  // Absent: no flags and no value, except that the two-valued features report
  // their register's fields all the same.
  f = Current(hColor, IIDC_FEATURE_PAN);
  EXPECT_EQ(f.flags, 0u);
  EXPECT_EQ(f.value1, -1.0f);
  f = Current(hMono, IIDC_FEATURE_TEMPERATURE);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_VALUE1 | IIDC_FEATURESTATE_VALUE2);
  EXPECT_EQ(f.value1, 0.0f);
  EXPECT_EQ(f.value2, 0.0f);
  f = Current(hMono, IIDC_FEATURE_BRIGHTNESS);
  EXPECT_EQ(f.value1, 64.0f);
}

TEST_F(BehaviourFeatureTest, ManualAndAutomaticSettings) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  const auto saved = Snapshot(h, {IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURE_WHITE_BALANCE, IIDC_FEATURE_HUE});
  CFinally restore([&] { Restore(h, saved); });

  // The result is the quadlet written, not a success flag.
  EXPECT_EQ(Set(h, IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1, 200.9f),
            PRESENT | ON | 200u);
  iidc_feature f = Current(h, IIDC_FEATURE_BRIGHTNESS);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_UNITS | IIDC_FEATURESTATE_VALUE1);
  EXPECT_EQ(f.value1, 200.0f);

  // A value without the manual flag is not written.
  EXPECT_EQ(Set(h, IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURESTATE_VALUE1, 10.0f), PRESENT | ON | 200u);
  EXPECT_EQ(Current(h, IIDC_FEATURE_BRIGHTNESS).value1, 200.0f);

  EXPECT_EQ(Set(h, IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURESTATE_AUTO, 0.0f), PRESENT | ON | AUTO | 200u);
  f = Current(h, IIDC_FEATURE_BRIGHTNESS);
  EXPECT_EQ(f.flags & (IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_AUTO), IIDC_FEATURESTATE_AUTO);
  // Manual and automatic together: the value is written with automatic mode
  // on, which the camera does not take while automatic.
  EXPECT_EQ(Set(h, IIDC_FEATURE_BRIGHTNESS,
                IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_AUTO | IIDC_FEATURESTATE_VALUE1, 90.0f),
            PRESENT | ON | AUTO | 90u);
  EXPECT_EQ(Set(h, IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURESTATE_MANUAL, 0.0f), PRESENT | ON | 200u);
  EXPECT_EQ(Current(h, IIDC_FEATURE_BRIGHTNESS).flags & IIDC_FEATURESTATE_AUTO, 0u);

  // Two values: red in value 1 (bits 20-31), blue in value 2 (bits 8-19).
  EXPECT_EQ(Set(h, IIDC_FEATURE_WHITE_BALANCE,
                IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1 | IIDC_FEATURESTATE_VALUE2, 700.0f, 400.0f),
            PRESENT | ON | 400u << 12 | 700u);
  f = Current(h, IIDC_FEATURE_WHITE_BALANCE);
  EXPECT_EQ(f.value1, 700.0f);
  EXPECT_EQ(f.value2, 400.0f);

  // On and off: every call writes the switch.
  EXPECT_EQ(Set(h, IIDC_FEATURE_HUE, 0, 0.0f) & ON, ON);
  EXPECT_EQ(Current(h, IIDC_FEATURE_HUE).flags & IIDC_FEATURESTATE_OFF, 0u);
  EXPECT_EQ(Set(h, IIDC_FEATURE_HUE, IIDC_FEATURESTATE_OFF, 0.0f) & ON, 0u);
  EXPECT_EQ(Current(h, IIDC_FEATURE_HUE).flags & IIDC_FEATURESTATE_OFF, IIDC_FEATURESTATE_OFF);
}

TEST_F(BehaviourFeatureTest, ValuesOutOfRangeAreWrittenAsTheirLowBits) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  const auto saved = Snapshot(h, {IIDC_FEATURE_BRIGHTNESS});
  CFinally restore([&] { Restore(h, saved); });
  const uint32_t manual = IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1;

  // The library does not judge the value; the camera keeps it within its
  // range of 0 to 255.
  EXPECT_EQ(Set(h, IIDC_FEATURE_BRIGHTNESS, manual, 300.0f), PRESENT | ON | 300u);
  EXPECT_EQ(Current(h, IIDC_FEATURE_BRIGHTNESS).value1, 255.0f);
  EXPECT_EQ(Set(h, IIDC_FEATURE_BRIGHTNESS, manual, 4096.9f), PRESENT | ON) << "4096 has no low 12 bits";
  EXPECT_EQ(Current(h, IIDC_FEATURE_BRIGHTNESS).value1, 0.0f);
  EXPECT_EQ(Set(h, IIDC_FEATURE_BRIGHTNESS, manual, -1.0f), PRESENT | ON | 0xFFFu);
  EXPECT_EQ(Current(h, IIDC_FEATURE_BRIGHTNESS).value1, 255.0f);
}

TEST_F(BehaviourFeatureTest, TriggerModeParameterAndPolarity) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  const auto saved = Snapshot(h, {IIDC_FEATURE_TRIGGER});
  CFinally restore([&] { Restore(h, saved); });
  const uint32_t off = IIDC_FEATURESTATE_OFF;

  // Switched on (the camera takes no setting while off). With value 2 given
  // only the mode is written, bits 12-15.
  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER, IIDC_FEATURESTATE_VALUE1 | IIDC_FEATURESTATE_VALUE2, 5.0f, 3.0f),
            PRESENT | ON | 3u << 16);
  iidc_feature f = Current(h, IIDC_FEATURE_TRIGGER);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_UNITS | IIDC_FEATURESTATE_VALUE1 | IIDC_FEATURESTATE_VALUE2);
  EXPECT_EQ(f.value2, 3.0f);
  EXPECT_EQ(f.value1, 0.0f);

  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER, IIDC_FEATURESTATE_VALUE1, 5.0f), PRESENT | ON | 3u << 16 | 5u);
  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER, IIDC_FEATURESTATE_POLARITY_HIGH, 0.0f), PRESENT | ON | AUTO | 3u << 16 | 5u);
  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER, IIDC_FEATURESTATE_POLARITY_HIGH | IIDC_FEATURESTATE_POLARITY_LOW, 0.0f),
            PRESENT | ON | 3u << 16 | 5u)
      << "low wins over high";

  // Switched off; the manual, automatic and one-push flags mean nothing to
  // the trigger.
  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER, off | IIDC_FEATURESTATE_AUTO | IIDC_FEATURESTATE_ONEPUSH, 0.0f),
            PRESENT | 3u << 16 | 5u);
  f = Current(h, IIDC_FEATURE_TRIGGER);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_OFF | IIDC_FEATURESTATE_UNITS | IIDC_FEATURESTATE_VALUE1 |
                         IIDC_FEATURESTATE_VALUE2);
  EXPECT_EQ(f.value1, 5.0f);
  EXPECT_EQ(f.value2, 3.0f);
}

TEST_F(BehaviourFeatureTest, AbsoluteModeCarriesNoIntegerValue) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  const auto saved = Snapshot(h, {IIDC_FEATURE_SHUTTER});
  CFinally restore([&] { Restore(h, saved); });

  // Absolute control is switched on through the register itself (Abs_Control,
  // bit 1): the library has no flag for it.
  const uint32_t absolute = saved[0].second | 0x40000000;
  ASSERT_EQ(iidc1394_asyncwritequadlet(h, REG_BRIGHTNESS + IIDC_FEATURE_SHUTTER, &absolute, 4), 4);
  const iidc_feature f = Current(h, IIDC_FEATURE_SHUTTER);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_ABSOLUTE);
  EXPECT_EQ(f.value1, -1.0f) << "no integer value in absolute mode";

  // A manual value is not written while the absolute value rules.
  EXPECT_EQ(Set(h, IIDC_FEATURE_SHUTTER, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1, 1000.0f), absolute);
}

}  // namespace
