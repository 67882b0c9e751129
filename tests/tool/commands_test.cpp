// list, info, get, set and reg as a user runs them on the built-in virtual
// cameras: what they print, their exit status, and the arguments they refuse
// before the library sees them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "exit_status.h"
#include "tool_fixture.h"

using namespace iidctool;

namespace {

// One run after another on the same cameras, which keep their settings from
// one run to the next: the exit status, and text its output (or, on
// failure, its messages) must hold.
struct CCommand {
  std::vector<std::string> args;
  int nStatus;
  std::string text;
};

void ExpectRuns(ToolTest& test, const std::vector<CCommand>& commands) {
  for (const CCommand& c : commands) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    SCOPED_TRACE(line);
    const ToolRun run = test.Run(c.args);
    EXPECT_EQ(run.nStatus, c.nStatus) << run.err;
    const std::string& where = c.nStatus == EXIT_OK ? run.out : run.err;
    EXPECT_NE(where.find(c.text), std::string::npos) << "wanted \"" << c.text << "\" in:\n" << where;
    if (c.nStatus == EXIT_BAD_ARGUMENTS) {
      EXPECT_TRUE(run.out.empty()) << "nothing is done when one request is bad: " << run.out;
    }
  }
}

TEST_F(ToolTest, CommandsAndWhatTheyPrint) {
  ExpectRuns(*this, {
      {{"list"}, EXIT_OK, "VM-1024M"},
      {{"list"}, EXIT_OK, "0100000002"},
      {{"info", "-c", "1"}, EXIT_OK, "VM-1024M"},
      {{"info", "--camera", "0100000002"}, EXIT_OK, "VM-1024M"},
      {{"--camera", "1", "get", "format"}, EXIT_OK, "0:5 Mono8"},
      {{"info", "-c", "100"}, EXIT_NO_CAMERA, "2 cameras found"},
      {{"info", "-c", "01000000ff"}, EXIT_NO_CAMERA, ""},
      {{"info", "-c", "first"}, EXIT_BAD_ARGUMENTS, ""},
      {{"set", "gain=200", "shutter=auto", "white-balance=100,120", "hue=off"}, EXIT_OK, "shutter: 500 (on auto)"},
      {{"get", "gain", "hue"}, EXIT_OK, "gain: 200 (on manual)\nhue: 128 (off manual)\n"},
      {{"get", "white-balance"}, EXIT_OK, "white-balance: 100,120"},
      {{"set", "focus=one-push"}, EXIT_OK, "focus:"},
      {{"set", "--rate", "60"}, EXIT_BAD_ARGUMENTS, "offers 1.875, 3.75, 7.5, 15, 30 frames per second"},
      {{"set", "--format", "0:5", "--rate", "60", "gain=100"}, EXIT_OK, "format 0:5\nrate 60\ngain: 100"},
      {{"set", "--format", "640x480"}, EXIT_BAD_ARGUMENTS, "ambiguous"},
      {{"set", "--format", "2:0"}, EXIT_BAD_ARGUMENTS, "offers no format 2:0"},
      {{"set", "--area", "320x240+0+0"}, EXIT_BAD_ARGUMENTS, "needs a Format 7 mode"},
      {{"set", "--format", "7:0:mono16", "--area", "1272x958+8+2"}, EXIT_OK, "format 7:0\narea 1272x958+8+2\n"},
      {{"get", "format", "area"}, EXIT_OK, "format: 7:0 Mono16 1272x958\narea: 1272x958+8+2"},
      {{"set", "--area", "642x480+8+4"}, EXIT_BAD_ARGUMENTS, "sizes in steps of 8x2, positions in steps of 4x2"},
      {{"set", "--area", "1280x960+4+0"}, EXIT_BAD_ARGUMENTS, ""},
      {{"set", "--rate", "15"}, EXIT_BAD_ARGUMENTS, "no frame-rate setting"},
      {{"set", "--format", "0:3:yuv422"}, EXIT_BAD_ARGUMENTS, "FORMAT:MODE"},
      {{"set"}, EXIT_BAD_ARGUMENTS, ""},
      {{"reg", "608"}, EXIT_OK, "0x608 = 0xE0000000\n"},  // Format 7, set above
      {{"reg", "0x500", "--count", "2"}, EXIT_OK, "0x500 = 0x8B0000FF\n0x504 = 0x9F0013FF\n"},
      {{"reg", "--rom", "40c"}, EXIT_OK, "0x40C = 0x02C0DE01"},
      {{"reg", "820=0x820000C8"}, EXIT_OK, "0x820 <- 0x820000C8\n"},
      {{"reg", "0x1FC"}, EXIT_FAILED, "reading register 0x1FC"},
      {{}, EXIT_BAD_ARGUMENTS, ""},
      {{"snap"}, EXIT_BAD_ARGUMENTS, "--help"},
      {{"--help"}, EXIT_OK, "grab"},
      {{"grab", "--help"}, EXIT_OK, "--count"},
      {{"--version"}, EXIT_OK, "iidc " IIDC_TOOL_VERSION "\n"},
  });
  // What the feature, register and range checks refuse.
  for (const auto& [arg, message] : std::vector<std::pair<const char*, const char*>>{
           {"gain=681", "from 0 to 680"},    {"gain=-1", "from 0 to 680"},     {"gain=one-push", "cannot be"},
           {"brightness=off", "cannot be switched off"}, {"pan=3", "has no pan"}, {"gain", "FEATURE=VALUE"},
           {"gain=", "FEATURE=VALUE"},       {"loudness=3", "unknown feature"}, {"white-balance=100", "RED,BLUE"},
           {"gain=12.5", "whole number"},    {"trigger=mode:7", "trigger modes"}, {"trigger=sideways", "mode:N"}}) {
    ExpectRuns(*this, {{{"set", "gain=300", arg}, EXIT_BAD_ARGUMENTS, message}});
  }
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"reg", "603"}, {"reg", "zz"}, {"reg", "604=x"}, {"reg", "--rom", "0x800"},
        {"reg", "--rom", "400=1"}, {"reg", "604=1", "-n", "2"}, {"reg", "0xFFFFFFFC", "-n", "2"},
        {"reg", "604", "-n", "0"}, {"reg"}}) {
    EXPECT_EQ(Run(args).nStatus, EXIT_BAD_ARGUMENTS) << args.back();
  }
}

TEST_F(ToolTest, JsonDescribesTheCameras) {
  const ToolRun list = Run({"list", "--json"});
  ASSERT_EQ(list.nStatus, EXIT_OK);
  const auto cameras = nlohmann::json::parse(list.out).at("cameras");
  ASSERT_EQ(cameras.size(), 2u);
  EXPECT_EQ(cameras[1]["index"], 1);
  EXPECT_EQ(cameras[0]["vendor"], "Virtual Optics");
  EXPECT_EQ(cameras[1]["uniqueId"], "0100000002");
  const ToolRun run = Run({"info", "--json"});
  ASSERT_EQ(run.nStatus, EXIT_OK) << run.err;
  const auto info = nlohmann::json::parse(run.out);
  EXPECT_EQ(info["model"], "VC-1280C");
  EXPECT_EQ(info["current"]["id"], "0:3");
  EXPECT_EQ(info["current"]["coding"], "YUV422");
  EXPECT_EQ(info["current"]["width"], 640);
  EXPECT_EQ(info["iso"]["speed"], 400);
  const auto& formats = info["formats"];
  const auto mono16 = std::find_if(formats.begin(), formats.end(),
                                   [](const auto& f) { return f["id"] == "7:0" && f["coding"] == "Mono16"; });
  ASSERT_NE(mono16, formats.end());
  EXPECT_EQ((*mono16)["width"], 1280);
  EXPECT_EQ((*mono16)["units"]["width"], 8);
  EXPECT_EQ((*mono16)["units"]["left"], 4);
  const auto& features = info["features"];
  const auto gain = std::find_if(features.begin(), features.end(), [](const auto& f) { return f["name"] == "gain"; });
  ASSERT_NE(gain, features.end());
  EXPECT_TRUE((*gain)["capabilities"]["absolute"]);
  EXPECT_EQ((*gain)["range"][1], 680);
  const auto trigger = std::find_if(features.begin(), features.end(), [](const auto& f) { return f["name"] == "trigger"; });
  ASSERT_NE(trigger, features.end());
  EXPECT_EQ((*trigger)["modes"], nlohmann::json({0, 1, 2, 3}));
}

}  // namespace
