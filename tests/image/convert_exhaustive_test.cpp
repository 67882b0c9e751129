// Every SIMD kernel against the reference for every Y, U, V combination, with
// both formulas, laid out in each coding's own byte order. One row per U value
// holds all V values and all Y values, so each combination also passes through
// every lane of every kernel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "convert_test_util.h"

namespace {

constexpr int ROW_PIXELS = 65536;   // 256 V values x 256 Y values

// One source row of the coding for a fixed U: for each V, the Y values 0-255
// in pixel order.
std::vector<uint8_t> AllYvRow(RawCoding coding, int u)
{
    std::vector<uint8_t> row(RawRowBytes(coding, ROW_PIXELS));
    uint8_t* p = row.data();
    for (int v = 0; v < 256; ++v) {
        switch (coding) {
        case RawCoding::Yuv411:
            for (int y = 0; y < 256; y += 4, p += 6) {
                const uint8_t unit[6] = {uint8_t(u), uint8_t(y), uint8_t(y + 1), uint8_t(v), uint8_t(y + 2),
                                         uint8_t(y + 3)};
                std::memcpy(p, unit, 6);
            }
            break;
        case RawCoding::Yuv422:
            for (int y = 0; y < 256; y += 2, p += 4) {
                const uint8_t unit[4] = {uint8_t(u), uint8_t(y), uint8_t(v), uint8_t(y + 1)};
                std::memcpy(p, unit, 4);
            }
            break;
        case RawCoding::Yuv444:
            for (int y = 0; y < 256; ++y, p += 3) {
                const uint8_t pixel[3] = {uint8_t(u), uint8_t(y), uint8_t(v)};
                std::memcpy(p, pixel, 3);
            }
            break;
        default: break;
        }
    }
    return row;
}

struct CASE
{
    RawCoding coding;
    bool bFloatYuv;
};

class ExhaustiveYuv : public testing::TestWithParam<CASE>
{
};

TEST_P(ExhaustiveYuv, EverySimdKernelMatchesTheReference)
{
    const auto [coding, bFloatYuv] = GetParam();
    const std::vector<const CONVERT_ROWS*> simd = AvailableSimdRowSets();
    if (simd.empty())
        GTEST_SKIP() << "no SIMD kernels on this processor";

    std::vector<uint8_t> expected(3 * ROW_PIXELS);
    std::vector<uint8_t> actual(3 * ROW_PIXELS);
    for (int u = 0; u < 256; ++u) {
        const std::vector<uint8_t> src = AllYvRow(coding, u);
        ConvertRow(ReferenceRows(), coding, src.data(), expected.data(), ROW_PIXELS, bFloatYuv);
        for (const CONVERT_ROWS* pRows : simd) {
            std::memset(actual.data(), 0xA5, actual.size());
            ConvertRow(*pRows, coding, src.data(), actual.data(), ROW_PIXELS, bFloatYuv);
            const size_t i = FirstDifference(expected.data(), actual.data(), actual.size());
            if (i != std::string::npos) {
                const size_t nPixel = i / 3;
                FAIL() << pRows->pszName << " differs at U=" << u << " V=" << nPixel / 256
                       << " Y=" << nPixel % 256 << " channel " << i % 3 << ": expected "
                       << int(expected[i]) << ", got " << int(actual[i]);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllCodings, ExhaustiveYuv,
                         testing::Values(CASE{RawCoding::Yuv411, true}, CASE{RawCoding::Yuv411, false},
                                         CASE{RawCoding::Yuv422, true}, CASE{RawCoding::Yuv422, false},
                                         CASE{RawCoding::Yuv444, true}, CASE{RawCoding::Yuv444, false}),
                         [](const testing::TestParamInfo<CASE>& paramInfo) {
                             return CodingName(paramInfo.param.coding) + (paramInfo.param.bFloatYuv ? "_Float" : "_Integer");
                         });

TEST(ExhaustiveGrey, EveryMono8AndMono16SampleGivesItsGreyPixel)
{
    // Mono8: every value, 4 times so that it passes through every lane.
    std::vector<uint8_t> mono8(1024);
    for (size_t i = 0; i < mono8.size(); ++i)
        mono8[i] = static_cast<uint8_t>(i * 5 / 4);
    // Mono16: every 16-bit sample, most significant byte first.
    std::vector<uint8_t> mono16(2 * 65536);
    for (size_t i = 0; i < 65536; ++i) {
        mono16[2 * i] = static_cast<uint8_t>(i >> 8);
        mono16[2 * i + 1] = static_cast<uint8_t>(i);
    }
    for (const CONVERT_ROWS* pRows : AvailableRowSets()) {
        SCOPED_TRACE(pRows->pszName);
        std::vector<uint8_t> out(3 * mono8.size());
        ConvertRow(*pRows, RawCoding::Mono8, mono8.data(), out.data(), static_cast<int>(mono8.size()), false);
        for (size_t i = 0; i < mono8.size(); ++i) {
            ASSERT_TRUE(out[3 * i] == mono8[i] && out[3 * i + 1] == mono8[i] && out[3 * i + 2] == mono8[i])
                << "Mono8 pixel " << i;
        }
        std::vector<uint8_t> out16(3 * 65536);
        ConvertRow(*pRows, RawCoding::Mono16, mono16.data(), out16.data(), 65536, false);
        for (size_t i = 0; i < 65536; ++i) {
            const uint8_t grey = static_cast<uint8_t>(i >> 8);
            ASSERT_TRUE(out16[3 * i] == grey && out16[3 * i + 1] == grey && out16[3 * i + 2] == grey)
                << "Mono16 sample " << i;
        }
    }
}

// The literal double formula has an exact rational meaning: the fast kernels
// rely on it, and on an x87 build it only holds with double rounding.
TEST(ExhaustiveYuv, FloatFormulaTermsAreTheTruncatedExactQuotients)
{
    auto clamp = [](int x) { return x < 0 ? 0 : (x > 255 ? 255 : x); };
    // Y = 0 shows every positive term unclamped, Y = 255 every negative one.
    for (int y : {0, 255}) {
        std::vector<uint8_t> src(RawRowBytes(RawCoding::Yuv444, 65536));
        for (int i = 0; i < 65536; ++i) {
            src[3 * i] = static_cast<uint8_t>(i >> 8);   // U
            src[3 * i + 1] = static_cast<uint8_t>(y);
            src[3 * i + 2] = static_cast<uint8_t>(i);    // V
        }
        std::vector<uint8_t> out(3 * 65536);
        ConvertRow(ReferenceRows(), RawCoding::Yuv444, src.data(), out.data(), 65536, true);
        for (int i = 0; i < 65536; ++i) {
            const int du = (i >> 8) - 128;
            const int dv = (i & 255) - 128;
            // Integer division truncates toward zero.
            ASSERT_EQ(out[3 * i], clamp(y + 1771 * du / 1000)) << "U'=" << du;
            ASSERT_EQ(out[3 * i + 1], clamp(y - (7144 * dv + 3457 * du) / 10000)) << "U'=" << du << " V'=" << dv;
            ASSERT_EQ(out[3 * i + 2], clamp(y + 14022 * dv / 10000)) << "V'=" << dv;
        }
    }
}

}  // namespace
