// Feature inquiry, state and control against the registers of a virtual camera.
#include "../support/camera_fixture.h"

namespace {

constexpr uint32_t GAIN_INQ = 0x500 + IIDC_FEATURE_GAIN;
constexpr uint32_t BRIGHTNESS_CONTROL = 0x800 + IIDC_FEATURE_BRIGHTNESS;
constexpr uint32_t HUE_CONTROL = 0x800 + IIDC_FEATURE_HUE;
constexpr uint32_t TRIGGER_MODE = 0x830;

class FeaturesTest : public CCameraTest {
 protected:
  // The built-in colour camera with register values of our own choosing.
  iidc_handle OpenColourCamera(std::map<uint32_t, uint32_t> registers = {}) {
    std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
    set[0].rawRegisters = std::move(registers);
    Start(set);
    return Open(0);
  }

  uint32_t Register(iidc_handle handle, uint32_t offset) {
    uint32_t value = 0;
    EXPECT_EQ(iidc1394_asyncreadquadlet(handle, offset, &value, 4), 4);
    return value;
  }
};

iidc_featureinfo InfoOf(iidc_handle handle, uint32_t id, int32_t* pResult = nullptr) {
  iidc_featureinfo info{};
  info.id = id;
  info.minimum = -1.0f;
  info.maximum = -1.0f;
  const int32_t result = iidc_currentfeatureinfo(handle, &info, 0);
  if (pResult) *pResult = result;
  return info;
}

iidc_feature StateOf(iidc_handle handle, uint32_t id) {
  iidc_feature feature{};
  feature.id = id;
  EXPECT_EQ(iidc_currentfeature(handle, &feature, 0), 1) << "feature " << id;
  return feature;
}

TEST_F(FeaturesTest, InquiryReportsCapabilitiesAndRange) {
  iidc_handle handle = OpenColourCamera({{GAIN_INQ, 0x80000000u | (5u << 12) | 200u}});
  const iidc_featureinfo gain = InfoOf(handle, IIDC_FEATURE_GAIN);
  EXPECT_EQ(gain.flags, IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_UNITS);
  EXPECT_EQ(gain.minimum, 5.0f);
  EXPECT_EQ(gain.maximum, 200.0f);

  // Absolute control replaces the unit range by the absolute-value floats.
  const iidc_featureinfo shutter = InfoOf(handle, IIDC_FEATURE_SHUTTER);
  EXPECT_EQ(shutter.flags & (IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_UNITS | IIDC_FEATURECAP_ABSOLUTE),
            IIDC_FEATURECAP_PRESENT | IIDC_FEATURECAP_ABSOLUTE);
  EXPECT_FLOAT_EQ(shutter.minimum, 0.0001f);
  EXPECT_FLOAT_EQ(shutter.maximum, 0.5f);
  EXPECT_NE(shutter.flags & IIDC_FEATURECAP_AUTO, 0u);
  EXPECT_NE(shutter.flags & IIDC_FEATURECAP_ONEPUSH, 0u);
}

TEST_F(FeaturesTest, StateFlagsAndValues) {
  iidc_handle handle = OpenColourCamera({{BRIGHTNESS_CONTROL, 0x83000123u}, {TRIGGER_MODE, 0x80030005u}});
  const iidc_feature brightness = StateOf(handle, IIDC_FEATURE_BRIGHTNESS);
  EXPECT_EQ(brightness.flags, 0x1044u);
  EXPECT_EQ(brightness.value1, 291.0f);

  const iidc_feature white = StateOf(handle, IIDC_FEATURE_WHITE_BALANCE);
  EXPECT_EQ(white.value1, 600.0f);
  EXPECT_EQ(white.value2, 480.0f);
  EXPECT_EQ(white.flags & 0x3000u, 0x3000u);

  const iidc_feature trigger = StateOf(handle, IIDC_FEATURE_TRIGGER);
  EXPECT_EQ(trigger.value1, 5.0f);
  EXPECT_EQ(trigger.value2, 3.0f);
  EXPECT_EQ(trigger.flags, IIDC_FEATURESTATE_OFF | IIDC_FEATURESTATE_UNITS | 0x3000u);
}

TEST_F(FeaturesTest, SettingWritesOneReadModifyWrite) {
  iidc_handle handle = OpenColourCamera({{HUE_CONTROL, 0x80000080u}, {TRIGGER_MODE, 0x80030005u}});
  iidc_feature hue{};
  hue.id = IIDC_FEATURE_HUE;
  EXPECT_EQ(iidc_setfeature(handle, &hue, 0), 0x82000080u) << "flags 0 switch the feature on, nothing else";

  // A value without manual mode is not written; with it, it is truncated to 12 bits.
  iidc_feature gain = StateOf(handle, IIDC_FEATURE_GAIN);
  const uint32_t before = Register(handle, 0x800 + IIDC_FEATURE_GAIN);
  gain.flags = IIDC_FEATURESTATE_VALUE1;
  gain.value1 = 300.0f;
  EXPECT_EQ(iidc_setfeature(handle, &gain, 0) & 0xFFF, before & 0xFFF);
  gain.flags = IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1;
  gain.value1 = 4096.9f;
  EXPECT_EQ(iidc_setfeature(handle, &gain, 0) & 0xFFF, 0u);
  gain.value1 = 300.0f;
  iidc_setfeature(handle, &gain, 0);
  EXPECT_EQ(StateOf(handle, IIDC_FEATURE_GAIN).value1, 300.0f);

  // Automatic wins over manual.
  gain.flags = IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_AUTO | IIDC_FEATURESTATE_VALUE1;
  iidc_setfeature(handle, &gain, 0);
  EXPECT_NE(StateOf(handle, IIDC_FEATURE_GAIN).flags & IIDC_FEATURESTATE_AUTO, 0u);

  // The trigger record read back writes the mode and leaves the parameter.
  iidc_feature trigger = StateOf(handle, IIDC_FEATURE_TRIGGER);
  trigger.value1 = 9.0f;
  trigger.value2 = 2.0f;
  trigger.flags |= IIDC_FEATURESTATE_POLARITY_HIGH;
  const uint32_t written = iidc_setfeature(handle, &trigger, 0);
  EXPECT_EQ((written >> 16) & 0xF, 2u);
  EXPECT_EQ(written & 0xFFF, 5u);
  EXPECT_NE(written & 0x01000000u, 0u);
  EXPECT_EQ(written & 0x02000000u, 0u) << "OFF given: switched off";
}

TEST_F(FeaturesTest, RegisterFailures) {
  iidc_handle handle = OpenColourCamera();
  vcam::GetCameraFaults(0)->readFailure.Set(0x700, 0x7FF);
  int32_t result = 1;
  InfoOf(handle, IIDC_FEATURE_SHUTTER, &result);
  EXPECT_EQ(result, 0) << "the absolute-value CSR offset cannot be read";

  vcam::GetCameraFaults(0)->readFailure.SetAll();
  iidc_feature feature{};
  feature.id = IIDC_FEATURE_GAIN;
  EXPECT_EQ(iidc_currentfeature(handle, &feature, 0), 0);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_FAIL);
  EXPECT_EQ(iidc_setfeature(handle, &feature, 0), 0u);

  vcam::GetCameraFaults(0)->readFailure.Clear();
  vcam::GetCameraFaults(0)->writeFailure.SetAll();
  EXPECT_EQ(iidc_setfeature(handle, &feature, 0), 0u);
}

TEST_F(FeaturesTest, NullRecordsAreInvalidParameters) {
  iidc_handle handle = OpenColourCamera();
  EXPECT_EQ(iidc_currentfeatureinfo(handle, nullptr, 0), 0);
  EXPECT_EQ(iidc_currentfeature(handle, nullptr, 0), 0);
  EXPECT_EQ(iidc_setfeature(handle, nullptr, 0), 0u);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER);
}

}  // namespace
