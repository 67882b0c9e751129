// list, info, get, set and reg as a user runs them on the built-in virtual
// cameras: what they print, their exit status, and the arguments they refuse
// before the library sees them.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "exit_status.h"
#include "tool_fixture.h"
#include "vcam/filter/test_support.h"

using namespace iidctool;

namespace {

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(ToolTest, ListShowsEveryCameraAsTextAndJson)
{
    const ToolRun text = Run({"list"});
    EXPECT_EQ(text.nStatus, EXIT_OK) << text.err;
    EXPECT_TRUE(Has(text.out, "VC-1280C"));
    EXPECT_TRUE(Has(text.out, "VM-1024M"));
    EXPECT_TRUE(Has(text.out, "0100000002"));

    const ToolRun json = Run({"list", "--json"});
    ASSERT_EQ(json.nStatus, EXIT_OK);
    const auto cameras = nlohmann::json::parse(json.out).at("cameras");
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[1]["index"], 1);
    EXPECT_EQ(cameras[0]["vendor"], "Virtual Optics");
    EXPECT_EQ(cameras[1]["uniqueId"], "0100000002");
}

TEST_F(ToolTest, InfoJsonDescribesTheCamera)
{
    const ToolRun run = Run({"info", "--json"});
    ASSERT_EQ(run.nStatus, EXIT_OK) << run.err;
    const auto info = nlohmann::json::parse(run.out);
    EXPECT_EQ(info["model"], "VC-1280C");
    EXPECT_EQ(info["current"]["id"], "0:3");
    EXPECT_EQ(info["current"]["coding"], "YUV422");
    EXPECT_EQ(info["current"]["width"], 640);
    EXPECT_EQ(info["iso"]["speed"], 400);
    bool bScalable = false;
    for (const auto& format : info["formats"])
        if (format["id"] == "7:0" && format["coding"] == "Mono16") {
            bScalable = true;
            EXPECT_EQ(format["width"], 1280);
            EXPECT_EQ(format["units"]["width"], 8);
            EXPECT_EQ(format["units"]["left"], 4);
        }
    EXPECT_TRUE(bScalable);
    const auto& features = info["features"];
    const auto gain = std::find_if(features.begin(), features.end(), [](const auto& f) { return f["name"] == "gain"; });
    ASSERT_NE(gain, features.end());
    EXPECT_TRUE((*gain)["capabilities"]["absolute"]);
    EXPECT_EQ((*gain)["range"][1], 680);
    const auto trigger = std::find_if(features.begin(), features.end(), [](const auto& f) { return f["name"] == "trigger"; });
    EXPECT_EQ((*trigger)["modes"], nlohmann::json({0, 1, 2, 3}));
}

TEST_F(ToolTest, CameraChosenByIndexOrUniqueId)
{
    EXPECT_TRUE(Has(Run({"info", "-c", "1"}).out, "VM-1024M"));
    EXPECT_TRUE(Has(Run({"info", "--camera", "0100000002"}).out, "VM-1024M"));
    EXPECT_TRUE(Has(Run({"--camera", "1", "get", "format"}).out, "0:5 Mono8"));

    const ToolRun missing = Run({"info", "-c", "7"});
    EXPECT_EQ(missing.nStatus, EXIT_NO_CAMERA);
    EXPECT_TRUE(Has(missing.err, "2 cameras found"));
    EXPECT_EQ(Run({"info", "-c", "01000000ff"}).nStatus, EXIT_NO_CAMERA);
    EXPECT_EQ(Run({"info", "-c", "first"}).nStatus, EXIT_BAD_ARGUMENTS);
}

TEST_F(ToolTest, SetChangesFeaturesAndGetReadsThemBack)
{
    const ToolRun set = Run({"set", "gain=200", "shutter=auto", "white-balance=100,120", "hue=off"});
    ASSERT_EQ(set.nStatus, EXIT_OK) << set.err;
    EXPECT_TRUE(Has(set.out, "gain: 200 (on manual)"));
    EXPECT_TRUE(Has(set.out, "shutter: 500 (on auto)"));
    EXPECT_TRUE(Has(set.out, "white-balance: 100,120"));
    EXPECT_TRUE(Has(set.out, "hue: 128 (off manual)"));
    const ToolRun onePush = Run({"set", "focus=one-push"});
    EXPECT_TRUE(Has(onePush.out, "focus:")) << onePush.err;
    EXPECT_EQ(Run({"get", "gain", "hue"}).out, "gain: 200 (on manual)\nhue: 128 (off manual)\n");
}

TEST_F(ToolTest, SetRefusesWhatTheFeatureCannotDo)
{
    const struct {
      const char* pszArg;
      const char* pszMessage;
    } cases[] = {
        {"gain=681", "from 0 to 680"},        {"gain=-1", "from 0 to 680"},
        {"gain=one-push", "cannot be"},        {"brightness=off", "cannot be switched off"},
        {"pan=3", "has no pan"},               {"gain", "FEATURE=VALUE"},
        {"gain=", "FEATURE=VALUE"},            {"loudness=3", "unknown feature"},
        {"white-balance=100", "RED,BLUE"},     {"gain=12.5", "whole number"},
        {"trigger=mode:7", "trigger modes"},   {"trigger=sideways", "mode:N"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Run({"set", "gain=300", c.pszArg});
        EXPECT_EQ(run.nStatus, EXIT_BAD_ARGUMENTS) << c.pszArg;
        EXPECT_TRUE(Has(run.err, c.pszMessage)) << c.pszArg << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << "nothing is set when one request is bad: " << run.out;
    }
}

TEST_F(ToolTest, FormatRateAndAreaAreCheckedAgainstTheCamera)
{
    const ToolRun rate = Run({"set", "--rate", "60"});
    EXPECT_EQ(rate.nStatus, EXIT_BAD_ARGUMENTS);
    EXPECT_TRUE(Has(rate.err, "offers 1.875, 3.75, 7.5, 15, 30 frames per second")) << rate.err;
    const ToolRun format = Run({"set", "--format", "640x480:mono8", "--rate", "60"});
    EXPECT_EQ(format.nStatus, EXIT_OK) << format.err;
    EXPECT_EQ(format.out, "format 0:5\nrate 60\n");

    EXPECT_TRUE(Has(Run({"set", "--format", "640x480"}).err, "ambiguous"));
    EXPECT_TRUE(Has(Run({"set", "--format", "2:0"}).err, "offers no format 2:0"));
    EXPECT_TRUE(Has(Run({"set", "--area", "320x240+0+0"}).err, "needs a Format 7 mode"));
    EXPECT_EQ(Run({"set", "--format", "7:0"}).nStatus, EXIT_FAILED);
    EXPECT_EQ(Run({"set"}).nStatus, EXIT_BAD_ARGUMENTS);
}

TEST_F(ToolTest, AreaOnACameraThatStartsInFormat7)
{
    auto set = vcam::BuiltInCameraSet();
    set[0].nInitialFormat = 7;
    set[0].nInitialMode = 0;
    vcam::SetActiveCameraSet(set);
    const ToolRun good = Run({"set", "--area", "640x480+8+4"});
    EXPECT_EQ(good.nStatus, EXIT_OK) << good.err;
    EXPECT_EQ(good.out, "area 640x480+8+4\n");
    const ToolRun steps = Run({"set", "--area", "642x480+8+4"});
    EXPECT_EQ(steps.nStatus, EXIT_BAD_ARGUMENTS);
    EXPECT_TRUE(Has(steps.err, "sizes in steps of 8x2, positions in steps of 4x2")) << steps.err;
    EXPECT_EQ(Run({"set", "--area", "1280x960+4+0"}).nStatus, EXIT_BAD_ARGUMENTS);
    EXPECT_EQ(Run({"get", "area"}).out, "area: 640x480+8+4\n");
    EXPECT_TRUE(Has(Run({"set", "--rate", "15"}).err, "no frame-rate setting"));
}

TEST_F(ToolTest, RegistersReadWrittenAndRangeChecked)
{
    EXPECT_EQ(Run({"reg", "608"}).out, "0x608 = 0x00000000\n");
    const ToolRun range = Run({"reg", "0x500", "--count", "2"});
    EXPECT_EQ(range.out, "0x500 = 0x8B0000FF\n0x504 = 0x9F0013FF\n");
    EXPECT_TRUE(Has(Run({"reg", "--rom", "40c"}).out, "0x40C = 0x02C0DE01"));
    EXPECT_EQ(Run({"reg", "820=0x820000C8"}).out, "0x820 <- 0x820000C8\n");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"reg", "603"}, {"reg", "zz"}, {"reg", "604=x"}, {"reg", "--rom", "0x800"},
          {"reg", "--rom", "400=1"}, {"reg", "604=1", "-n", "2"}, {"reg", "0xFFFFFFFC", "-n", "2"},
          {"reg", "604", "-n", "0"}, {"reg"}})
        EXPECT_EQ(Run(args).nStatus, EXIT_BAD_ARGUMENTS) << args.back();
    const ToolRun run = Run({"reg", "0x1FC"});
    EXPECT_EQ(run.nStatus, EXIT_FAILED);
    EXPECT_TRUE(Has(run.err, "reading register 0x1FC")) << run.err;
}

TEST_F(ToolTest, UsageErrorsAndHelp)
{
    EXPECT_EQ(Run({}).nStatus, EXIT_BAD_ARGUMENTS);
    const ToolRun unknown = Run({"snap"});
    EXPECT_EQ(unknown.nStatus, EXIT_BAD_ARGUMENTS);
    EXPECT_TRUE(Has(unknown.err, "--help"));
    const ToolRun help = Run({"--help"});
    EXPECT_EQ(help.nStatus, EXIT_OK);
    EXPECT_TRUE(Has(help.out, "grab"));
    EXPECT_TRUE(Has(Run({"grab", "--help"}).out, "--count"));
}

}  // namespace
