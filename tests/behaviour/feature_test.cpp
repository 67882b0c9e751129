// Feature inquiry, state and control, and the trigger, on the built-in
// camera pair.
#include <functional>
#include <string>
#include <vector>

#include "behaviour_fixture.h"

using namespace behaviour;

namespace {

constexpr uint32_t PRESENT = 0x80000000;  // control register: Presence_Inq
constexpr uint32_t ON = 0x02000000;       // ON_OFF
constexpr uint32_t AUTO = 0x01000000;     // A_M_Mode; for the trigger: polarity
constexpr uint32_t MANUAL_VALUE = IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1;
constexpr float NONE = -1.0f;  // the field is left as it was

class BehaviourFeatureTest : public BehaviourTest {
 protected:
  void TearDown() override {
    for (const auto& restore : m_restore) restore();
    BehaviourTest::TearDown();
  }

  // Puts the control registers of the given features back as they are now
  // when the test body ends. The camera takes values only while a feature is
  // on and in manual mode, so the saved quadlet goes in switched on first.
  void SaveFeatures(iidc_handle h, std::vector<uint32_t> ids) {
    for (const uint32_t id : ids) {
      uint32_t value = 0;
      EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS + id, &value, 4), 4);
      m_restore.emplace_back([h, id, value] {
        const uint32_t on = value | ON;
        iidc1394_asyncwritequadlet(h, REG_BRIGHTNESS + id, &on, 4);
        iidc1394_asyncwritequadlet(h, REG_BRIGHTNESS + id, &on, 4);
        iidc1394_asyncwritequadlet(h, REG_BRIGHTNESS + id, &value, 4);
      });
    }
  }

  static iidc_feature Current(iidc_handle h, uint32_t id) {
    iidc_feature feature{id, 0xFFFFFFFF, NONE, NONE};
    EXPECT_EQ(iidc_currentfeature(h, &feature, 0), 1) << "feature " << id;
    return feature;
  }

  static uint32_t Set(iidc_handle h, uint32_t id, uint32_t flags, float value1, float value2 = 0.0f) {
    const iidc_feature feature{id, flags, value1, value2};
    return iidc_setfeature(h, &feature, 0);
  }

  std::vector<std::function<void()>> m_restore;
};

// What each feature can do and where it stands at power-up. Absolute control
// gives the absolute-value floats as the range; an absent feature has no
// flags and its range is left alone, but the two-valued features report
// their register's fields all the same.
TEST_F(BehaviourFeatureTest, CapabilitiesAndStateAtPowerUp) {
  iidc_handle h[2] = {Open(COLOR_CAMERA), Open(MONO_CAMERA)};
  ASSERT_NE(h[0], nullptr);
  ASSERT_NE(h[1], nullptr);
  constexpr uint32_t UNITS_READOUT = IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_UNITS | IIDC_FEATURECAP_READOUT;
  struct CInfo {
    int32_t camera;
    uint32_t id, flags;
    float minimum, maximum;
  };
  for (const CInfo& c : {
           CInfo{COLOR_CAMERA, IIDC_FEATURE_BRIGHTNESS,
                 UNITS_READOUT | IIDC_FEATURECAP_AUTO | IIDC_FEATURECAP_MANUAL, 0.0f, 255.0f},
           CInfo{COLOR_CAMERA, IIDC_FEATURE_AUTO_EXPOSURE, 0x7F, 1.0f, 1023.0f},
           CInfo{COLOR_CAMERA, IIDC_FEATURE_SHUTTER,
                 IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_ABSOLUTE | IIDC_FEATURECAP_ONEPUSH | IIDC_FEATURECAP_READOUT |
                     IIDC_FEATURECAP_AUTO | IIDC_FEATURECAP_MANUAL,
                 0.0001f, 0.5f},
           CInfo{COLOR_CAMERA, IIDC_FEATURE_TRIGGER,
                 UNITS_READOUT | IIDC_FEATURECAP_MANUAL | IIDC_FEATURECAP_ONOFF | IIDC_FEATURECAP_TRIGGER_MODE0 |
                     IIDC_FEATURECAP_TRIGGER_MODE1 | IIDC_FEATURECAP_TRIGGER_MODE2 | IIDC_FEATURECAP_TRIGGER_MODE3,
                 NONE, NONE},
           CInfo{COLOR_CAMERA, IIDC_FEATURE_PAN, 0, NONE, NONE}}) {
    SCOPED_TRACE(c.id);
    iidc_featureinfo info{c.id, 0xFFFFFFFF, 0xFFFFFFFF, NONE, NONE};
    ASSERT_EQ(iidc_currentfeatureinfo(h[c.camera], &info, 0), 1);
    EXPECT_EQ(info.reserved, 0u);
    EXPECT_EQ(info.flags, c.flags);
    EXPECT_EQ(info.minimum, c.minimum);
    EXPECT_EQ(info.maximum, c.maximum);
  }
  iidc_featureinfo gain{IIDC_FEATURE_GAIN, 0, 0, 0.0f, 0.0f};
  ASSERT_EQ(iidc_currentfeatureinfo(h[0], &gain, 0), 1);
  EXPECT_EQ(gain.flags & (IIDC_FEATURECAP_UNITS | IIDC_FEATURECAP_ABSOLUTE), IIDC_FEATURECAP_ABSOLUTE);
  EXPECT_EQ(gain.maximum, 24.0f);

  constexpr uint32_t VALUES = IIDC_FEATURESTATE_VALUE1 | IIDC_FEATURESTATE_VALUE2;
  struct CState {
    int32_t camera;
    uint32_t id, flags;
    float value1, value2;
  };
  for (const CState& c : {
           CState{COLOR_CAMERA, IIDC_FEATURE_BRIGHTNESS, MANUAL_VALUE | IIDC_FEATURESTATE_UNITS, 128.0f, NONE},
           CState{COLOR_CAMERA, IIDC_FEATURE_AUTO_EXPOSURE,
                  IIDC_FEATURESTATE_AUTO | IIDC_FEATURESTATE_UNITS | IIDC_FEATURESTATE_VALUE1, 512.0f, NONE},
           CState{COLOR_CAMERA, IIDC_FEATURE_HUE, IIDC_FEATURESTATE_OFF | MANUAL_VALUE | IIDC_FEATURESTATE_UNITS, 128.0f,
                  NONE},
           CState{COLOR_CAMERA, IIDC_FEATURE_WHITE_BALANCE, MANUAL_VALUE | IIDC_FEATURESTATE_UNITS | VALUES, 600.0f,
                  480.0f},
           CState{COLOR_CAMERA, IIDC_FEATURE_TRIGGER, IIDC_FEATURESTATE_OFF | IIDC_FEATURESTATE_UNITS | VALUES, 0.0f,
                  0.0f},
           CState{COLOR_CAMERA, IIDC_FEATURE_PAN, 0, NONE, NONE},
           CState{MONO_CAMERA, IIDC_FEATURE_TEMPERATURE, VALUES, 0.0f, 0.0f},
           CState{MONO_CAMERA, IIDC_FEATURE_BRIGHTNESS, MANUAL_VALUE | IIDC_FEATURESTATE_UNITS, 64.0f, NONE}}) {
    SCOPED_TRACE(c.id);
    const iidc_feature f = Current(h[c.camera], c.id);
    EXPECT_EQ(f.flags, c.flags);
    EXPECT_EQ(f.value1, c.value1);
    EXPECT_EQ(f.value2, c.value2);
  }
}

// The result is the quadlet written, not a success flag. A value is written
// with the manual flag only, as its low 12 bits: the camera keeps it within
// its range. Automatic mode comes with its flag; with both, the value is
// written with automatic mode on, which the camera does not take. Every call
// writes the switch. Two values: value 1 in bits 0-11, value 2 in 12-23.
TEST_F(BehaviourFeatureTest, SettingsWriteOneQuadlet) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  SaveFeatures(h, {IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURE_WHITE_BALANCE, IIDC_FEATURE_HUE});
  struct CStep {
    uint32_t id, flags;
    float value1, value2;
    uint32_t written;
    uint32_t stateMask, state;
    float current;
  };
  constexpr uint32_t MODES = IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_AUTO;
  const uint32_t BRIGHTNESS = IIDC_FEATURE_BRIGHTNESS;
  for (const CStep& c : {
           CStep{BRIGHTNESS, MANUAL_VALUE, 200.9f, 0, PRESENT | ON | 200u, MODES, IIDC_FEATURESTATE_MANUAL, 200.0f},
           CStep{BRIGHTNESS, IIDC_FEATURESTATE_VALUE1, 10.0f, 0, PRESENT | ON | 200u, 0, 0, 200.0f},
           CStep{BRIGHTNESS, IIDC_FEATURESTATE_AUTO, 0.0f, 0, PRESENT | ON | AUTO | 200u, MODES, IIDC_FEATURESTATE_AUTO,
                 NONE},
           CStep{BRIGHTNESS, MANUAL_VALUE | IIDC_FEATURESTATE_AUTO, 90.0f, 0, PRESENT | ON | AUTO | 90u, 0, 0, NONE},
           CStep{BRIGHTNESS, IIDC_FEATURESTATE_MANUAL, 0.0f, 0, PRESENT | ON | 200u, MODES, IIDC_FEATURESTATE_MANUAL,
                 200.0f},
           CStep{BRIGHTNESS, MANUAL_VALUE, 300.0f, 0, PRESENT | ON | 300u, 0, 0, 255.0f},
           CStep{BRIGHTNESS, MANUAL_VALUE, 4096.9f, 0, PRESENT | ON, 0, 0, 0.0f},
           CStep{BRIGHTNESS, MANUAL_VALUE, -1.0f, 0, PRESENT | ON | 0xFFFu, 0, 0, 255.0f},
           CStep{IIDC_FEATURE_WHITE_BALANCE, MANUAL_VALUE | IIDC_FEATURESTATE_VALUE2, 700.0f, 400.0f,
                 PRESENT | ON | 400u << 12 | 700u, 0, 0, 700.0f},
           CStep{IIDC_FEATURE_HUE, 0, 0.0f, 0, PRESENT | ON | 128u, IIDC_FEATURESTATE_OFF, 0, 128.0f},
           CStep{IIDC_FEATURE_HUE, IIDC_FEATURESTATE_OFF, 0.0f, 0, PRESENT | 128u, IIDC_FEATURESTATE_OFF,
                 IIDC_FEATURESTATE_OFF, 128.0f}}) {
    SCOPED_TRACE(std::to_string(c.id) + " flags " + std::to_string(c.flags) + " value " + std::to_string(c.value1));
    EXPECT_EQ(Set(h, c.id, c.flags, c.value1, c.value2), c.written);
    const iidc_feature f = Current(h, c.id);
    EXPECT_EQ(f.flags & c.stateMask, c.state);
    if (c.current != NONE) {
      EXPECT_EQ(f.value1, c.current);
    }
  }
  EXPECT_EQ(Current(h, IIDC_FEATURE_WHITE_BALANCE).value2, 400.0f);
}

// Switched on (the camera takes no setting while off); with value 2 given
// only the mode is written, bits 12-15; low polarity wins over high; the
// manual, automatic and one-push flags mean nothing to the trigger.
TEST_F(BehaviourFeatureTest, TriggerModeParameterAndPolarity) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  SaveFeatures(h, {IIDC_FEATURE_TRIGGER, IIDC_FEATURE_SHUTTER});
  constexpr uint32_t VALUES = IIDC_FEATURESTATE_VALUE1 | IIDC_FEATURESTATE_VALUE2;
  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER, VALUES, 5.0f, 3.0f), PRESENT | ON | 3u << 16);
  iidc_feature f = Current(h, IIDC_FEATURE_TRIGGER);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_UNITS | VALUES);
  EXPECT_EQ(f.value1, 0.0f);
  EXPECT_EQ(f.value2, 3.0f);
  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER, IIDC_FEATURESTATE_VALUE1, 5.0f), PRESENT | ON | 3u << 16 | 5u);
  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER, IIDC_FEATURESTATE_POLARITY_HIGH, 0.0f), PRESENT | ON | AUTO | 3u << 16 | 5u);
  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER, IIDC_FEATURESTATE_POLARITY_HIGH | IIDC_FEATURESTATE_POLARITY_LOW, 0.0f),
            PRESENT | ON | 3u << 16 | 5u);
  EXPECT_EQ(Set(h, IIDC_FEATURE_TRIGGER,
                IIDC_FEATURESTATE_OFF | IIDC_FEATURESTATE_AUTO | IIDC_FEATURESTATE_ONEPUSH, 0.0f),
            PRESENT | 3u << 16 | 5u);
  f = Current(h, IIDC_FEATURE_TRIGGER);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_OFF | IIDC_FEATURESTATE_UNITS | VALUES);
  EXPECT_EQ(f.value1, 5.0f);
  EXPECT_EQ(f.value2, 3.0f);

  // Absolute control is switched on through the register itself (bit 1):
  // no integer value then, and a manual value is not written.
  uint32_t shutter = 0;
  ASSERT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS + IIDC_FEATURE_SHUTTER, &shutter, 4), 4);
  const uint32_t absolute = shutter | 0x40000000;
  ASSERT_EQ(iidc1394_asyncwritequadlet(h, REG_BRIGHTNESS + IIDC_FEATURE_SHUTTER, &absolute, 4), 4);
  f = Current(h, IIDC_FEATURE_SHUTTER);
  EXPECT_EQ(f.flags, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_ABSOLUTE);
  EXPECT_EQ(f.value1, NONE);
  EXPECT_EQ(Set(h, IIDC_FEATURE_SHUTTER, MANUAL_VALUE, 1000.0f), absolute);
}

}  // namespace
