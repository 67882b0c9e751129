// What the tool accepts on its command line, and what it refuses before the
// library sees it.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "exit_status.h"
#include "names.h"
#include "rate_meter.h"
#include "session.h"

using namespace iidctool;

namespace {

template <typename F>
int StatusOf(F&& parse)
{
    try {
        parse();
    } catch (const CCameraError& error) {
        return ExitStatusOf(error.GetKind());
    }
    return EXIT_OK;
}

TEST(ParsingTest, FormatsRatesAreasAndNumbers)
{
    const struct { const char* pszText; int nFormat, nMode, nWidth, nHeight, nColor; } formats[] = {
        {"1:2", 1, 2, 0, 0, -1},
        {"640x480:YUV422", -1, -1, 640, 480, IIDC_COLOR_YUV422},
        {"1024x768", -1, -1, 1024, 768, -1},
        {"7:1:mono16", 7, 1, 0, 0, IIDC_COLOR_MONO16},
    };
    for (const auto& f : formats) {
        const FormatSpec spec = ParseFormatSpec(f.pszText);
        EXPECT_EQ(std::tuple(spec.nFormat, spec.nMode, spec.nWidth, spec.nHeight, spec.nColor),
                  std::tuple(f.nFormat, f.nMode, f.nWidth, f.nHeight, f.nColor)) << f.pszText;
    }
    EXPECT_EQ(ParseFrameRate("1.875"), 1.875f);
    EXPECT_EQ(ParseFrameRate("240"), 240.0f);
    const iidc_area area = ParseArea("640x480+8+4");
    EXPECT_EQ(std::tuple(area.width, area.height, area.left, area.top), std::tuple(640, 480, 8, 4));
    EXPECT_EQ(ParseArea("320x240").left, 0);
    EXPECT_EQ(AreaText(area), "640x480+8+4");
    EXPECT_EQ(ParseU32("0x80000000", "v"), 0x80000000u);
    EXPECT_EQ(ParseU32("4095", "v"), 4095u);
    EXPECT_EQ(ParseU32("0xFFFFFFFF", "v"), 0xFFFFFFFFu);
}

TEST(ParsingTest, RefusesWhatNoCameraHas)
{
    const std::pair<void (*)(const std::string&), std::vector<const char*>> refusals[] = {
        {[](const std::string& text) { ParseFormatSpec(text); },
         {"3:0", "6:1", "0:8", "0:-1", "0", ":", "0:3x", "x480", "640x", "640x480:yuv9", "0x480", "99999x480", "",
          "0:3:mono8", "7:1:mono9"}},
        {[](const std::string& text) { ParseFrameRate(text); }, {"0", "25", "-30", "30fps", "", "nan", "inf"}},
        {[](const std::string& text) { ParseArea(text); },
         {"640x480+8", "640x480-8-4", "0x480", "640x0+0+0", "640", "x+1+1", "70000x1", "640x480+1+99999"}},
        {[](const std::string& text) { ParseU32(text, "v"); }, {"0x100000000", "4294967296", "-1", "0x", "12a", ""}},
    };
    for (const auto& [parse, texts] : refusals)
        for (const char* text : texts)
            EXPECT_EQ(StatusOf([&] { parse(text); }), EXIT_BAD_ARGUMENTS) << text;
}

TEST(RateMeterTest, ReadsOutOncePerSecondAndTotalsDrops)
{
    CRateMeter meter(100.0);
    EXPECT_FALSE(meter.Add(100.5, 15, 0, 1000000));
    const auto readout = meter.Add(101.0, 15, 2, 1000000);
    ASSERT_TRUE(readout);
    EXPECT_DOUBLE_EQ(readout->fFramesPerSecond, 30.0);
    EXPECT_DOUBLE_EQ(readout->fMegabytesPerSecond, 30.0);
    EXPECT_EQ(readout->nDropped, 2);
    EXPECT_FALSE(meter.Add(101.5, 10, 1, 1000000));
    const Readout total = meter.Total(102.0);
    EXPECT_DOUBLE_EQ(total.fFramesPerSecond, 20.0);
    EXPECT_EQ(total.nDropped, 3);
    EXPECT_EQ(CRateMeter(5.0).Total(5.0).fFramesPerSecond, 0.0);
}

}  // namespace
