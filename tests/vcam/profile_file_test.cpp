#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "vcam/model/camera_set.h"
#include "vcam/model/config_rom.h"
#include "vcam/model/offsets.h"
#include "vcam/model/profile_file.h"

namespace vcam::test {
namespace {

std::string ErrorOf(const std::string& text) {
  try {
    ParseCameraSet(text, "bad.json");
  } catch (const CProfileError& e) {
    return e.what();
  }
  return "(accepted)";
}

// A one-camera set with one field replaced (or added) at a JSON path.
std::string Camera(const std::string& strExtra) {
  return R"({"cameras": [{"friendlyName": "F", "vendor": "V", "model": "M", "uniqueId": "0x1",
           "modes": [{"format": 0, "mode": 5, "rates": [15, 30]}])" +
         strExtra + "}]}";
}

TEST(ProfileFile, BuiltInSetIsValidAndRoundTrips) {
  const std::vector<Profile> set = BuiltInCameraSet();
  ASSERT_EQ(set.size(), 2u);
  EXPECT_FALSE(set[0].format7Modes.empty());
  EXPECT_TRUE(set[1].format7Modes.empty());
  for (const Profile& p : set) EXPECT_EQ(ValidateProfile(p), std::vector<std::string>{}) << p.strFriendlyName;

  const std::vector<Profile> back = ParseCameraSet(CameraSetToJson(set), "built-in");
  ASSERT_EQ(back.size(), set.size());
  for (std::size_t i = 0; i < set.size(); ++i) EXPECT_TRUE(back[i].SameDescription(set[i])) << i;
}

TEST(ProfileFile, RawRegistersRomClockAndFaultsRoundTrip) {
  Profile p = BuiltInCameraSet()[1];
  p.rawRegisters = {{0x1F00, 0xCAFE}, {ISO_CHANNEL, 0x31000000}};
  p.rawRom = BuildConfigRom("Raw", "Rom", 7);
  p.clock = ClockKind::Stepped;
  FeatureProfile unnamed;  // a feature without a name, far from the defaults
  unnamed.nId = 0xC0;
  unnamed.bManual = unnamed.bReadOut = false;
  unnamed.bAuto = unnamed.bAutoMode = true;
  unnamed.nMin = 3, unnamed.nMax = 4095, unnamed.nValue = 4000, unnamed.nValue2 = 9;
  p.features.push_back(unnamed);
  p.pFaults->readFailure.Set(0x600, 0x610, VCAM_E_ADDRESS);
  p.pFaults->bRefuseArea = true;
  p.pFaults->cbOversize = 12;
  p.pFaults->nFramesBeforeLoss = 3;
  p.pFaults->nExtraCaps = 2;
  const std::vector<Profile> back = ParseCameraSet(CameraSetToJson({p}), "raw");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_TRUE(back[0].SameDescription(p));
  EXPECT_EQ(back[0].pFaults->readFailure.Check(0x604), VCAM_E_ADDRESS);
  EXPECT_EQ(back[0].pFaults->readFailure.Check(0x614), VCAM_S_OK);
  EXPECT_TRUE(back[0].pFaults->bRefuseArea);
  EXPECT_EQ(back[0].pFaults->cbOversize, 12u);
  EXPECT_EQ(back[0].pFaults->nFramesBeforeLoss, 3u);
  EXPECT_EQ(back[0].pFaults->nExtraCaps, 2u);
}

TEST(ProfileFile, BadProfilesNameTheSourceAndTheField) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"{\"cameras\": [{}, ", "bad.json: cameras[1]: not JSON"},
      {"[]", "bad.json: (top): expected an object"},
      {"{\"camera\": []}", "bad.json: camera: unknown field"},
      {R"({"cameras": [{"vendor": "V"}]})", "bad.json: cameras[0].friendlyName: missing"},
      {Camera(R"(, "features": [{"feature": "gain", "max": 5000}])"), "bad.json: cameras[0].features[0].max: must be below 4096"},
      {Camera(R"(, "features": [{"feature": "glare"}])"), "bad.json: cameras[0].features[0].feature: unknown feature \"glare\""},
      {Camera(R"(, "features": [{"feature": 2}])"), "bad.json: cameras[0].features[0].feature: id must be a multiple of 4"},
      {Camera(R"(, "features": [{"feature": "gain", "min": -1}])"), "cameras[0].features[0].min: must not be negative"},
      {Camera(R"(, "iso": {"channel": 16})"), "bad.json: cameras[0].iso.channel: must be 0 to 15"},
      {Camera(R"(, "initial": {"format": 0, "mode": 3})"), "bad.json: cameras[0].initial.mode: not one of the modes"},
      {Camera(R"(, "modes": [{"format": 0, "mode": 7, "rates": [15]}])"), "cameras[0].modes[0].mode: no such standard"},
      {Camera(R"(, "uniqueId": "0xZZ")"), ""},  // duplicate key: the later value wins
      {Camera(R"(, "clock": "slow")"), "cameras[0].clock: expected \"real\", \"free\" or \"stepped\""},
      {Camera(R"(, "colorFilter": "RGBG")"), "cameras[0].colorFilter: expected \"RGGB\", \"GBRG\""},
      {Camera(R"(, "registers": {"0x601": 1})"), "cameras[0].registers: offset 1537 is not a multiple of 4"},
      {Camera(R"(, "rom": ["0x1", true])"), "cameras[0].rom[1]: expected an unsigned integer"},
      {Camera(R"(, "format7": [{"mode": 0, "maxWidth": 640, "maxHeight": 480, "maxWidht": 8, "colorCodings": ["Mono8"]}])"),
       "cameras[0].format7[0].maxWidht: unknown field"},
      {Camera(R"(, "format7": [{"mode": 0, "maxWidth": 640, "maxHeight": 480, "colorCodings": ["Mono8"], "colorCoding": "RGB8"}])"),
       "cameras[0].format7[0].colorCoding: must be one of colorCodings"},
      {Camera(R"(, "format7": [{"mode": 0, "maxWidth": 640, "maxHeight": 480, "unitWidth": 8, "width": 100, "colorCodings": ["Mono8"]}])"),
       "cameras[0].format7[0].width: must be a multiple of unitWidth"},
      {R"({"cameras": [{"friendlyName": "F", "vendor": "V", "model": "M", "uniqueId": 1,
           "modes": [{"format": 0, "mode": 5, "rates": [25]}]}]})",
       "bad.json: cameras[0].modes[0].rates[0]: not an IIDC frame rate"},
  };
  for (const auto& c : cases) {
    const std::string error = ErrorOf(c.text);
    if (c.expected.empty()) continue;
    EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error << "\nwanted: " << c.expected;
  }
  EXPECT_EQ(ErrorOf(Camera("")), "(accepted)");
}

// Without a rate, a camera starts in its initial mode at that mode's fastest.
TEST(ProfileFile, InitialModeWithoutARateStartsAtItsFastest) {
  const std::string text = Camera(R"(, "modes": [{"format": 0, "mode": 5, "rates": [15, 30]},
                                                 {"format": 0, "mode": 3, "rates": [7.5]}],
                                      "initial": {"format": 0, "mode": 5})");
  EXPECT_EQ(ParseCameraSet(text, "initial.json").at(0).nInitialRate, 4u);
}

TEST(ProfileFile, DocumentedExampleLoads) {
  const std::vector<Profile> set = LoadCameraSetFile(VCAM_EXAMPLE_PROFILES);
  ASSERT_EQ(set.size(), 2u);
  EXPECT_EQ(set[0].format7Modes.at(0).nWidth, 320u);
  EXPECT_EQ(set[0].nIsoChannel, 1u);
  const RomIdentity id = WalkConfigRom(set[1].rawRom);
  EXPECT_EQ(id.strError, "");
  EXPECT_EQ(id.strVendor, "Example Imaging");
  EXPECT_EQ(id.strModel, "EX-DUMP");
  EXPECT_EQ(id.ullUniqueId, set[1].ullUniqueId);
}

class ActiveSetTest : public ::testing::Test {
protected:
  void TearDown() override {
    unsetenv(PROFILE_ENVIRONMENT_VARIABLE);
    ResetActiveCameraSet();
    std::filesystem::remove(m_path);
  }
  void UseFile(const std::string& text) {
    std::ofstream(m_path) << text;
    setenv(PROFILE_ENVIRONMENT_VARIABLE, m_path.c_str(), 1);
    ResetActiveCameraSet();
  }
  std::string m_path = (std::filesystem::temp_directory_path() / ("vcam-set-" + std::to_string(getpid()) + ".json")).string();
};

TEST_F(ActiveSetTest, EnvironmentNamesTheProfileFile) {
  UseFile(Camera(""));
  ASSERT_EQ(GetCameraCount(), 1u);
  EXPECT_EQ(GetActiveCameraSet()[0].strModel, "M");

  UseFile(Camera(R"(, "iso": {"speed": 9})"));
  EXPECT_EQ(GetCameraCount(), 0u);
  EXPECT_EQ(ActiveCameraSetError(), m_path + ": cameras[0].iso.speed: must be 0 to 3");
  EXPECT_EQ(GetCameraModel(0), nullptr);

  setenv(PROFILE_ENVIRONMENT_VARIABLE, (m_path + ".missing").c_str(), 1);
  ResetActiveCameraSet();
  EXPECT_EQ(ActiveCameraSetError(), m_path + ".missing: cannot be opened");
}

TEST_F(ActiveSetTest, InstalledSetGivesOneLiveCameraPerProfile) {
  std::vector<Profile> set = BuiltInCameraSet();
  set.resize(1);
  set[0].pFaults = nullptr;
  SetActiveCameraSet(set);
  ASSERT_EQ(GetCameraCount(), 1u);
  const auto pCamera = GetCameraModel(0);
  ASSERT_NE(pCamera, nullptr);
  EXPECT_EQ(GetCameraModel(0), pCamera);  // the same camera for every binding
  EXPECT_EQ(GetCameraModel(1), nullptr);
  // Fault switches are made when missing and shared with the live camera.
  ASSERT_NE(GetActiveCameraSet()[0].pFaults, nullptr);
  GetActiveCameraSet()[0].pFaults->bUnplugged = true;
  std::uint32_t v = 0;
  EXPECT_EQ(pCamera->ReadQuadlet(V_FORMAT_INQ, &v), VCAM_E_NOT_CONNECTED);

  set[0].features[0].nMax = 9999;
  try {
    SetActiveCameraSet(set);
    ADD_FAILURE() << "accepted";
  } catch (const CProfileError& e) {
    EXPECT_EQ(std::string(e.what()), "camera set: cameras[0].features[0].max: must be below 4096");
  }
  EXPECT_EQ(GetCameraModel(0), pCamera);  // the refused set changed nothing
}

}  // namespace
}  // namespace vcam::test
