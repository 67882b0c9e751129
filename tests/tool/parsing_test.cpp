// What the tool accepts on its command line, and what it refuses before the
// library sees it.
#include <gtest/gtest.h>

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
    } catch (const CToolError& error) {
        return error.Status();
    }
    return EXIT_OK;
}

TEST(FormatSpecTest, FormatAndModeOrSizeAndCoding)
{
    const FormatSpec byNumber = ParseFormatSpec("1:2");
    EXPECT_EQ(byNumber.nFormat, 1);
    EXPECT_EQ(byNumber.nMode, 2);
    const FormatSpec bySize = ParseFormatSpec("640x480:YUV422");
    EXPECT_EQ(bySize.nWidth, 640);
    EXPECT_EQ(bySize.nHeight, 480);
    EXPECT_EQ(bySize.nColor, IIDC_COLOR_YUV422);
    EXPECT_EQ(ParseFormatSpec("7:0").nFormat, 7);
    EXPECT_EQ(ParseFormatSpec("1024x768").nColor, -1);
}

TEST(FormatSpecTest, RefusesWhatNoCameraHas)
{
    for (const char* text : {"3:0", "6:1", "0:8", "0:-1", "0", ":", "0:3x", "x480", "640x", "640x480:yuv9",
                             "0x480", "99999x480", ""})
        EXPECT_EQ(StatusOf([&] { ParseFormatSpec(text); }), EXIT_BAD_ARGUMENTS) << text;
}

TEST(FrameRateTest, OnlyTheIidcRates)
{
    EXPECT_EQ(ParseFrameRate("1.875"), 1.875f);
    EXPECT_EQ(ParseFrameRate("7.5"), 7.5f);
    EXPECT_EQ(ParseFrameRate("240"), 240.0f);
    for (const char* text : {"0", "25", "-30", "30fps", "", "nan", "inf"})
        EXPECT_EQ(StatusOf([&] { ParseFrameRate(text); }), EXIT_BAD_ARGUMENTS) << text;
}

TEST(AreaTest, GeometryWithOptionalPosition)
{
    const iidc_area area = ParseArea("640x480+8+4");
    EXPECT_EQ(area.width, 640);
    EXPECT_EQ(area.height, 480);
    EXPECT_EQ(area.left, 8);
    EXPECT_EQ(area.top, 4);
    EXPECT_EQ(ParseArea("320x240").left, 0);
    EXPECT_EQ(AreaText(area), "640x480+8+4");
    for (const char* text : {"640x480+8", "640x480-8-4", "0x480", "640x0+0+0", "640", "x+1+1", "70000x1",
                             "640x480+1+99999"})
        EXPECT_EQ(StatusOf([&] { ParseArea(text); }), EXIT_BAD_ARGUMENTS) << text;
}

TEST(NumberTest, DecimalOrHexadecimal32Bit)
{
    EXPECT_EQ(ParseU32("0x80000000", "v"), 0x80000000u);
    EXPECT_EQ(ParseU32("4095", "v"), 4095u);
    EXPECT_EQ(ParseU32("0xFFFFFFFF", "v"), 0xFFFFFFFFu);
    for (const char* text : {"0x100000000", "4294967296", "-1", "0x", "12a", ""})
        EXPECT_EQ(StatusOf([&] { ParseU32(text, "v"); }), EXIT_BAD_ARGUMENTS) << text;
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
