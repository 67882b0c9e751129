// The one decision of a stream's colour filter: override, COLOR_FILTER_ID of
// a Format 7 Bayer coding, BAYER_TILE_MAPPING, else none.
#include <gtest/gtest.h>

#include <map>

#include "bayer_filter.h"
#include "names.h"
#include "registers/offsets.h"

using namespace iidccam;
using namespace iidc_reg;

namespace {

constexpr uint32_t BLOCK_QUADLET = 0x3C0400;  // mode 1's register block
constexpr uint32_t FILTER_ID = 4 * BLOCK_QUADLET - 0xF00000u + F7_COLOR_FILTER_ID;

// Four letters as the register holds them, the first in the top byte.
uint32_t Letters(const char (&t)[5]) { return uint32_t(t[0] << 24 | t[1] << 16 | t[2] << 8 | t[3]); }

TEST(BayerFilterTest, OverrideThenColorFilterIdThenTileMappingThenNone)
{
    using F = BayerFilter;
    using S = FilterSource;
    const uint32_t F7 = IIDC_FORMATID(7, 1, 0), STANDARD = IIDC_FORMATID(0, 5, 0);
    struct Case {
      uint32_t id;
      int nColor;
      std::map<uint32_t, uint32_t> registers;  // a register missing here fails to read
      std::optional<F> override;
      std::optional<F> expected;
      S source;
    } cases[] = {
        {F7, COLOR_RAW8, {{V_CSR_INQ_7(1), BLOCK_QUADLET}, {FILTER_ID, 3u << 24}}, F::Gbrg, F::Gbrg, S::Override},
        {F7, COLOR_RAW8, {{V_CSR_INQ_7(1), BLOCK_QUADLET}, {FILTER_ID, 2u << 24 | 0xFF}, {BAYER_TILE_MAPPING, Letters("BGGR")}},
         std::nullopt, F::Grbg, S::ColorFilterRegister},
        {F7, COLOR_RAW16, {{V_CSR_INQ_7(1), BLOCK_QUADLET}, {FILTER_ID, 4u << 24}, {BAYER_TILE_MAPPING, Letters("BGGR")}},
         std::nullopt, F::Bggr, S::TileMapping},
        {F7, COLOR_RAW16, {{BAYER_TILE_MAPPING, Letters("GBRG")}}, std::nullopt, F::Gbrg, S::TileMapping},
        {F7, IIDC_COLOR_MONO8, {{V_CSR_INQ_7(1), BLOCK_QUADLET}, {FILTER_ID, 0}, {BAYER_TILE_MAPPING, Letters("YYYY")}},
         std::nullopt, std::nullopt, S::None},
        {STANDARD, IIDC_COLOR_MONO16, {{BAYER_TILE_MAPPING, Letters("RGGB")}}, std::nullopt, F::Rggb, S::TileMapping},
        {STANDARD, IIDC_COLOR_MONO8, {{BAYER_TILE_MAPPING, Letters("RRGG")}}, std::nullopt, std::nullopt, S::None},
        {STANDARD, IIDC_COLOR_YUV422, {{BAYER_TILE_MAPPING, Letters("RGGB")}}, F::Rggb, std::nullopt, S::None},
    };
    for (const auto& c : cases) {
        const auto read = [&](uint32_t dwOffset) -> std::optional<uint32_t> {
            const auto it = c.registers.find(dwOffset);
            return it == c.registers.end() ? std::nullopt : std::optional(it->second);
        };
        const FilterChoice choice = ChooseFilter(read, c.id, c.nColor, c.override);
        EXPECT_EQ(choice.sensor, c.expected) << ColorName(c.nColor) << " " << FilterSourceName(c.source);
        EXPECT_EQ(choice.source, c.source) << ColorName(c.nColor) << " " << FilterSourceName(c.source);
    }
    // The image's phase follows the area's position on the sensor.
    EXPECT_EQ((FilterChoice{F::Rggb, S::Override}.ImageFilter(1, 2)), F::Grbg);
    EXPECT_EQ(FilterChoice{}.ImageFilter(1, 1), std::nullopt);
}

}  // namespace
