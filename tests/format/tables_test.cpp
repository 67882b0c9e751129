// The fixed tables: standard modes, frame rates and packet sizes.
#include <gtest/gtest.h>

#include "format/format_id.h"
#include "format/packet_sizes.h"
#include "format/tables.h"
#include "format/transfer.h"

TEST(FormatTables, StandardModesHaveTheIidcSizesAndColours)
{
    EXPECT_EQ(StandardMode(0, 0).FrameBytes(), 160 * 120 * 3);
    EXPECT_EQ(StandardMode(0, 2).FrameBytes(), 640 * 480 * 3 / 2);
    EXPECT_EQ(StandardMode(1, 3).nColour, IIDC_COLOR_YUV422);
    EXPECT_EQ(StandardMode(1, 3).nWidth, 1024);
    EXPECT_EQ(StandardMode(2, 7).nColour, IIDC_COLOR_MONO16);
    EXPECT_EQ(StandardMode(2, 7).FrameBytes(), 1600 * 1200 * 2);
    EXPECT_EQ(StandardMode(0, 7).FrameBytes(), 0);
    // Within one colour code no two modes share a frame size, so one
    // capability can name at most one mode.
    for (const STANDARD_MODE& a : STANDARD_MODES) {
        for (const STANDARD_MODE& b : STANDARD_MODES) {
            if (&a != &b && a.nColour == b.nColour) {
                EXPECT_NE(a.FrameBytes(), b.FrameBytes());
            }
        }
    }
}

TEST(FormatTables, RateCodesSearchOnlyZeroToFour)
{
    EXPECT_EQ(LowestRateCode(0x78000000), 1);   // codes 1-4
    EXPECT_EQ(HighestRateCode(0x78000000), 4);
    EXPECT_EQ(HighestRateCode(0x50000000), 3);   // codes 1 and 3
    EXPECT_EQ(LowestRateCode(0x04000000), -1);   // code 5 only
    EXPECT_EQ(HighestRateCode(0x04000000), -1);
    EXPECT_EQ(HighestRateCode(0), -1);
    EXPECT_EQ(FrameInterval(FRAME_RATES[1]), 2666666);
    EXPECT_EQ(FrameInterval(FRAME_RATES[2]), 1333333);
    EXPECT_EQ(FrameInterval(FRAME_RATES[3]), 666666);
}

TEST(FormatTables, PacketSizesOutsideTheTableAreUndefined)
{
    EXPECT_EQ(StandardPacketQuadlets(0, 5, 4), 320);
    EXPECT_EQ(StandardPacketQuadlets(2, 4, 0), 375);
    EXPECT_EQ(StandardPacketQuadlets(0, 0, 0), 0xFFFF);
    EXPECT_EQ(StandardPacketQuadlets(0, 5, 6), 0xFFFF);   // reserved rate codes
    EXPECT_EQ(StandardPacketQuadlets(0, 5, 7), 0xFFFF);
}
