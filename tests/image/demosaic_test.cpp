// Demosaicing: the reference's formulas on scenes whose answer is known
// (flat fields, linear ramps, every filter phase), every kernel set against
// the reference on random mosaics of every size class, names and phase
// shifts, and refused arguments.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <vector>

#include "convert_test_util.h"
#include "image/demosaic/demosaic_rows.h"

namespace {

constexpr BayerFilter ALL_FILTERS[] = {BayerFilter::Rggb, BayerFilter::Gbrg, BayerFilter::Grbg,
                                       BayerFilter::Bggr};
constexpr DemosaicMethod ALL_METHODS[] = {DemosaicMethod::Nearest, DemosaicMethod::Bilinear,
                                          DemosaicMethod::HighQuality};
constexpr uint8_t SENTINEL = 0xA5;

// A scene: the red (0), green (1) or blue (2) value at a pixel.
using SCENE = std::function<int(int x, int y, int iColour)>;

int FilterColour(BayerFilter filter, int x, int y)
{
    const char c = BayerFilterName(filter)[(y & 1) * 2 + (x & 1)];
    return c == 'R' ? 0 : c == 'G' ? 1 : 2;
}

struct MOSAIC
{
    int w, h;
    int cbSample;        // 1 or 2
    bool bLittleEndian;
    size_t cbStride;
    std::vector<uint8_t> bytes;
};

MOSAIC Mosaic(int w, int h, int cbSample, bool bLittleEndian, size_t cbPadding, BayerFilter filter,
              const SCENE& scene)
{
    MOSAIC m{w, h, cbSample, bLittleEndian, w * cbSample + cbPadding, {}};
    m.bytes.assign(m.cbStride * (h - 1) + w * cbSample, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int v = scene(x, y, FilterColour(filter, x, y));
            uint8_t* p = &m.bytes[y * m.cbStride + x * cbSample];
            if (cbSample == 1)
                p[0] = static_cast<uint8_t>(v);
            else
                p[bLittleEndian ? 1 : 0] = static_cast<uint8_t>(v >> 8), p[bLittleEndian ? 0 : 1] = static_cast<uint8_t>(v);
        }
    }
    return m;
}

// Output of one kernel set, rows cbStride bytes apart; the padding of each
// row must stay untouched.
struct OUTPUT
{
    int cbSample;
    size_t cbStride;
    std::vector<uint16_t> storage;
    int At(int x, int y, int i) const
    {
        const auto* p = reinterpret_cast<const uint8_t*>(storage.data()) + y * cbStride;
        return cbSample == 1 ? p[3 * x + i] : reinterpret_cast<const uint16_t*>(p)[3 * x + i];
    }
};

OUTPUT Demosaic(const DEMOSAIC_ROWS& rows, const MOSAIC& m, size_t cbPadding, BayerFilter filter,
                DemosaicMethod method, ColourOrder order)
{
    OUTPUT out{m.cbSample, 3 * m.w * m.cbSample + cbPadding, {}};
    const size_t cbDst = out.cbStride * m.h;
    out.storage.assign((cbDst + 1) / 2, SENTINEL * 0x101);
    auto* pDst = reinterpret_cast<uint8_t*>(out.storage.data());
    const bool bDone = m.cbSample == 1
        ? DemosaicFrame8(rows, m.bytes.data(), m.bytes.size(), m.cbStride, pDst, cbDst, out.cbStride, m.w, m.h,
                         filter, method, order)
        : DemosaicFrame16(rows, m.bytes.data(), m.bytes.size(), m.cbStride, m.bLittleEndian, out.storage.data(),
                          cbDst, out.cbStride, m.w, m.h, filter, method, order);
    EXPECT_TRUE(bDone);
    for (int y = 0; y < m.h; ++y) {
        for (size_t i = 3 * m.w * m.cbSample; i < out.cbStride; ++i)
            EXPECT_EQ(pDst[y * out.cbStride + i], SENTINEL) << "padding of row " << y;
    }
    return out;
}

// The output sample of a colour (0 red, 1 green, 2 blue) in an order.
int Sample(const OUTPUT& out, int x, int y, int iColour, ColourOrder order)
{
    return out.At(x, y, order == ColourOrder::Rgb ? iColour : 2 - iColour);
}

// Runs check on every filter, method, order and sample size (16-bit in both
// byte orders) of a scene.
void ForEveryCase(const std::function<void(BayerFilter, DemosaicMethod, ColourOrder, int cbSample, bool)>& check)
{
    for (int cbSample : {1, 2})
        for (bool bLittleEndian : {false, true})
            for (BayerFilter filter : ALL_FILTERS)
                for (DemosaicMethod method : ALL_METHODS)
                    for (ColourOrder order : {ColourOrder::Bgr, ColourOrder::Rgb})
                        if (cbSample == 2 || !bLittleEndian)
                            check(filter, method, order, cbSample, bLittleEndian);
}

TEST(Demosaic, NamesAndPhaseShifts)
{
    for (BayerFilter filter : ALL_FILTERS)
        EXPECT_EQ(ParseBayerFilter(BayerFilterName(filter)), filter);
    for (DemosaicMethod method : ALL_METHODS)
        EXPECT_EQ(ParseDemosaicMethod(DemosaicMethodName(method)), method);
    EXPECT_EQ(BayerFilterName(BayerFilter::Grbg), "GRBG");
    EXPECT_EQ(DemosaicMethodName(DemosaicMethod::HighQuality), "hq");
    EXPECT_EQ(ParseBayerFilter("bgGr"), BayerFilter::Bggr);
    EXPECT_EQ(ParseDemosaicMethod("NEAREST"), DemosaicMethod::Nearest);
    for (const char* pszBad : {"", "RGG", "RGGBX", "YYYY", "rggb "})
        EXPECT_EQ(ParseBayerFilter(pszBad), std::nullopt) << pszBad;
    for (const char* pszBad : {"", "near", "hqlinear", "none"})
        EXPECT_EQ(ParseDemosaicMethod(pszBad), std::nullopt) << pszBad;

    // Against the colours themselves: the filter of an area is the one whose
    // tile holds the sensor's colours at the area's first pixels.
    for (BayerFilter filter : ALL_FILTERS)
        for (uint32_t nLeft : {0u, 1u, 2u, 7u, 0xFFFFFFFFu})
            for (uint32_t nTop : {0u, 1u, 4u, 0xFFFFFFFFu}) {
                const BayerFilter shifted = ShiftBayerFilter(filter, nLeft, nTop);
                for (int i = 0; i < 4; ++i) {
                    EXPECT_EQ(FilterColour(shifted, i & 1, i >> 1),
                              FilterColour(filter, static_cast<int>((nLeft + (i & 1)) & 1),
                                           static_cast<int>((nTop + (i >> 1)) & 1)));
                }
            }
}

// Flat fields come back exactly, borders included, in the right order and
// phase: a red field through any filter is red, never blue. Fields of one
// colour need two pixels each way for every colour to be present.
TEST(Demosaic, FlatFieldsComeBackExactly)
{
    struct SIZE { int w, h; };
    const SIZE sizes[] = {{1, 1}, {1, 3}, {2, 1}, {2, 2}, {3, 5}, {6, 7}};
    ForEveryCase([&] (BayerFilter filter, DemosaicMethod method, ColourOrder order, int cbSample, bool bLittle) {
        const int nScale = cbSample == 1 ? 1 : 257;
        const int colours[][3] = {{77, 77, 77}, {255, 0, 0}, {200, 100, 30}};
        for (const int* pColour : colours)
            for (SIZE size : sizes) {
                const bool bGrey = pColour[0] == pColour[1];
                if (!bGrey && (size.w < 2 || size.h < 2))
                    continue;
                const MOSAIC m = Mosaic(size.w, size.h, cbSample, bLittle, 1, filter,
                                        [&] (int, int, int c) { return pColour[c] * nScale; });
                const OUTPUT out = Demosaic(ReferenceDemosaicRows(), m, 2, filter, method, order);
                for (int y = 0; y < size.h; ++y)
                    for (int x = 0; x < size.w; ++x)
                        for (int c = 0; c < 3; ++c)
                            ASSERT_EQ(Sample(out, x, y, c, order), pColour[c] * nScale)
                                << BayerFilterName(filter) << " " << DemosaicMethodName(method) << " "
                                << size.w << "x" << size.h << " at " << x << "," << y << " colour " << c;
            }
    });
}

// Linear ramps: bilinear and the high-quality method reproduce them exactly
// two pixels or more from the edges (their corrections vanish on a ramp);
// nearest gives each colour from where it was sampled in the 2x2 square
// that starts at the pixel.
TEST(Demosaic, LinearRampsAreInterpolatedExactly)
{
    constexpr int W = 12, H = 10;
    ForEveryCase([&] (BayerFilter filter, DemosaicMethod method, ColourOrder order, int cbSample, bool bLittle) {
        const int nScale = cbSample == 1 ? 1 : 131;
        const SCENE ramp = [&] (int x, int y, int c) {
            const int slopes[3][2] = {{7, 2}, {3, 9}, {-5, 4}};
            return (60 + slopes[c][0] * x + slopes[c][1] * y) * nScale;
        };
        const OUTPUT out = Demosaic(ReferenceDemosaicRows(), Mosaic(W, H, cbSample, bLittle, 0, filter, ramp), 0,
                                    filter, method, order);
        for (int y = 2; y < H - 2; ++y)
            for (int x = 2; x < W - 2; ++x)
                for (int c = 0; c < 3; ++c) {
                    int nWant = ramp(x, y, c);
                    if (method == DemosaicMethod::Nearest) {
                        for (int i = 3; i >= 0; --i)
                            if (FilterColour(filter, x + (i & 1), y + (i >> 1)) == c)
                                nWant = ramp(x + (i & 1), y + (i >> 1), c);
                    }
                    ASSERT_EQ(Sample(out, x, y, c, order), nWant)
                        << BayerFilterName(filter) << " " << DemosaicMethodName(method) << " at " << x << ","
                        << y << " colour " << c;
                }
    });
}

// Every kernel set this processor runs gives the reference's bytes on random
// mosaics: widths below, at and past each SIMD block (4 more than a multiple
// of every block: 68; a last block that overlaps the one before: 66, 131),
// heights down to one, rows with padding.
TEST(Demosaic, EveryKernelSetMatchesTheReference)
{
    std::vector<const DEMOSAIC_ROWS*> sets;
    for (DemosaicIsa isa : {DemosaicIsa::Ssse3, DemosaicIsa::Avx2, DemosaicIsa::Avx512})
        if (const DEMOSAIC_ROWS* pRows = FindDemosaicRows(isa))
            sets.push_back(pRows);
    if (sets.empty())
        GTEST_SKIP() << "no SIMD kernels on this processor or build";
    const int widths[] = {1, 2, 3, 5, 14, 16, 17, 31, 32, 34, 63, 64, 66, 68, 129, 130, 131};
    const int heights[] = {1, 2, 3, 4, 7};
    uint32_t nSeed = 1;
    ForEveryCase([&] (BayerFilter filter, DemosaicMethod method, ColourOrder order, int cbSample, bool bLittle) {
        for (int w : widths)
            for (int h : heights) {
                const std::vector<uint8_t> noise = RandomBytes(static_cast<size_t>(w) * h * 2, nSeed++);
                const MOSAIC m = Mosaic(w, h, cbSample, bLittle, nSeed % 5, filter, [&] (int x, int y, int) {
                    const size_t i = 2 * (static_cast<size_t>(y) * w + x);
                    return cbSample == 1 ? noise[i] : noise[i] << 8 | noise[i + 1];
                });
                const OUTPUT want = Demosaic(ReferenceDemosaicRows(), m, 2 * (nSeed % 3), filter, method, order);
                for (const DEMOSAIC_ROWS* pRows : sets) {
                    const OUTPUT got = Demosaic(*pRows, m, 2 * (nSeed % 3), filter, method, order);
                    ASSERT_EQ(got.storage, want.storage)
                        << pRows->pszName << " " << BayerFilterName(filter) << " " << DemosaicMethodName(method)
                        << " " << cbSample * 8 << "-bit " << w << "x" << h;
                }
            }
    });
}

// Refused arguments write nothing; empty images are done at once.
TEST(Demosaic, RefusesBadArgumentsWritingNothing)
{
    constexpr int W = 4, H = 3;
    const std::vector<uint8_t> src(2 * W * H, 9);
    struct CALL
    {
        const char* pszName;
        const uint8_t* pSrc;
        size_t cbSrc, cbSrcStride;
        bool bDst;
        size_t cbDst, cbDstStride;
        int w, h;
        bool bResult;
        int nFilter = 0;   // RGGB
        int nMethod = 2;   // high quality
    };
    for (int cbSample : {1, 2}) {
        const size_t cbRow = W * cbSample, cbOut = 3 * cbRow;
        const CALL calls[] = {
            {"null source", nullptr, cbRow * H, cbRow, true, cbOut * H, cbOut, W, H, false},
            {"null destination", src.data(), cbRow * H, cbRow, false, cbOut * H, cbOut, W, H, false},
            {"negative width", src.data(), cbRow * H, cbRow, true, cbOut * H, cbOut, -1, H, false},
            {"negative height", src.data(), cbRow * H, cbRow, true, cbOut * H, cbOut, W, -3, false},
            {"short source", src.data(), cbRow * H - 1, cbRow, true, cbOut * H, cbOut, W, H, false},
            {"short source stride", src.data(), cbRow * H, cbRow - 1, true, cbOut * H, cbOut, W, H, false},
            {"huge source stride", src.data(), cbRow * H, SIZE_MAX / 2, true, cbOut * H, cbOut, W, H, false},
            {"short destination", src.data(), cbRow * H, cbRow, true, cbOut * H - 1, cbOut, W, H, false},
            {"short destination stride", src.data(), cbRow * H, cbRow, true, cbOut * H, cbOut - 1, W, H, false},
            {"no columns", src.data(), 0, 0, true, 0, 0, 0, H, true},
            {"no rows", src.data(), 0, 0, true, 0, 0, W, 0, true},
            {"width past the limit (the buffers' sizes are not checked first)", src.data(), SIZE_MAX, SIZE_MAX / 4,
             true, SIZE_MAX, SIZE_MAX / 4 & ~size_t{1}, INT_MAX, 1, false},
            {"height past the limit", src.data(), SIZE_MAX, cbRow, true, SIZE_MAX, cbOut, W, INT_MAX, false},
            {"unknown filter", src.data(), cbRow * H, cbRow, true, cbOut * H, cbOut, W, H, false, 4},
            {"unknown method", src.data(), cbRow * H, cbRow, true, cbOut * H, cbOut, W, H, false, 0, 3},
            {"valid", src.data(), cbRow * H, cbRow, true, cbOut * H, cbOut, W, H, true},
        };
        for (const CALL& call : calls) {
            std::vector<uint16_t> dst(cbOut * H, SENTINEL * 0x101);
            uint8_t* pDst = call.bDst ? reinterpret_cast<uint8_t*>(dst.data()) : nullptr;
            const auto filter = static_cast<BayerFilter>(call.nFilter);
            const auto method = static_cast<DemosaicMethod>(call.nMethod);
            const bool bResult = cbSample == 1
                ? Demosaic8(call.pSrc, call.cbSrc, call.cbSrcStride, pDst, call.cbDst, call.cbDstStride, call.w,
                            call.h, filter, method, ColourOrder::Bgr)
                : Demosaic16(call.pSrc, call.cbSrc, call.cbSrcStride, false, reinterpret_cast<uint16_t*>(pDst),
                             call.cbDst, call.cbDstStride, call.w, call.h, filter, method, ColourOrder::Bgr);
            EXPECT_EQ(bResult, call.bResult) << call.pszName << " " << cbSample * 8 << "-bit";
            if (!call.bResult || call.w == 0 || call.h == 0) {
                EXPECT_EQ(dst, std::vector<uint16_t>(cbOut * H, SENTINEL * 0x101)) << call.pszName;
            }
        }
    }
}

}  // namespace
