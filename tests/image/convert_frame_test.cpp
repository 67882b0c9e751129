// Frame conversion: the output layout (bottom-up rows, padding), source rows
// of any width, tails, unaligned and page-bounded buffers, and refused
// arguments. The pixel values are the exhaustive suite's (every kernel against
// the reference) and the image suite's (the frames against a worked oracle).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "convert_test_util.h"
#include "image/convert/convert.h"
#include "image/convert/yuv_model.h"

namespace {

constexpr RawCoding ALL_CODINGS[] = {RawCoding::Mono8, RawCoding::Mono16, RawCoding::Yuv411, RawCoding::Yuv422,
                                     RawCoding::Yuv444};

// The frame function of a coding, as callers outside the converters use it.
bool ConvertWithPublicFunction(RawCoding coding, const std::vector<uint8_t>& src, std::vector<uint8_t>& dst, int w,
                               int h)
{
    const uint8_t* s = src.data();
    uint8_t* d = dst.data();
    switch (coding) {
    case RawCoding::Mono8: return Mono8ToBgr24(s, src.size(), d, dst.size(), w, h);
    case RawCoding::Mono16: return Mono16ToBgr24(s, src.size(), d, dst.size(), w, h);
    case RawCoding::Yuv411: return Yuv411ToBgr24(s, src.size(), d, dst.size(), w, h, true);
    case RawCoding::Yuv422: return Yuv422ToBgr24(s, src.size(), d, dst.size(), w, h, true);
    case RawCoding::Yuv444: return Yuv444ToBgr24(s, src.size(), d, dst.size(), w, h, true);
    }
    return false;
}

// Small frames worked by hand: rows stored bottom-up and padded with zeros
// to four bytes, Mono16's most significant byte (which comes first), and
// rows that end inside a chroma unit still taking the whole unit, so that the
// next row starts on one (grey chroma: the output holds the luma).
TEST(ConvertFrame, WorkedFrames)
{
    struct FRAME
    {
        const char* pszName;
        RawCoding coding;
        int w, h;
        std::vector<uint8_t> src, want;
    };
    const FRAME frames[] = {
        {"Mono8 4x2", RawCoding::Mono8, 4, 2, {10, 20, 30, 40, 50, 60, 70, 80},
         {50, 50, 50, 60, 60, 60, 70, 70, 70, 80, 80, 80, 10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40}},
        {"Mono8 3x2", RawCoding::Mono8, 3, 2, {1, 2, 3, 4, 5, 6},
         {4, 4, 4, 5, 5, 5, 6, 6, 6, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 0, 0, 0}},
        {"Mono16 4x1", RawCoding::Mono16, 4, 1, {0x12, 0x34, 0xAB, 0xCD, 0x00, 0xFF, 0xFF, 0x00},
         {0x12, 0x12, 0x12, 0xAB, 0xAB, 0xAB, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}},
        {"YUV422 3x2", RawCoding::Yuv422, 3, 2, {128, 10, 128, 11, 128, 12, 128, 99, 128, 20, 128, 21, 128, 22, 128, 98},
         {20, 20, 20, 21, 21, 21, 22, 22, 22, 0, 0, 0, 10, 10, 10, 11, 11, 11, 12, 12, 12, 0, 0, 0}},
        {"YUV411 5x2", RawCoding::Yuv411, 5, 2,
         {128, 1, 2, 128, 3, 4, 128, 5, 90, 128, 91, 92, 128, 6, 7, 128, 8, 9, 128, 10, 93, 128, 94, 95},
         {6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10, 10, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 0}},
    };
    for (const FRAME& f : frames) {
        SCOPED_TRACE(f.pszName);
        ASSERT_EQ(Bgr24ImageSize(f.w, f.h), f.want.size());
        std::vector<uint8_t> dst(f.want.size(), 0xEE);
        ASSERT_TRUE(ConvertWithPublicFunction(f.coding, f.src, dst, f.w, f.h));
        EXPECT_EQ(dst, f.want);
    }
}

// Every width from 1 to 65 (whole blocks, tails and both), with source and
// output at every alignment and ending exactly at an inaccessible page: any
// kernel that reads or writes past its row's bytes faults here.
TEST(ConvertFrame, EveryWidthAndAlignmentMatchesTheReferenceWithinExactBuffers)
{
    constexpr int H = 3;
    for (const CONVERT_ROWS* pRows : AvailableSimdRowSets()) {
        for (RawCoding coding : ALL_CODINGS) {
            for (int w = 1; w <= 65; ++w) {
                for (bool bFloatYuv : {true, false}) {
                    const std::vector<uint8_t> data = RandomBytes(RawRowBytes(coding, w) * H, 1000u * w + 7);
                    const size_t nOffset = static_cast<size_t>(w) % 32;
                    CGuardedBuffer src(data.size() + nOffset);
                    std::memcpy(src.Data() + nOffset, data.data(), data.size());
                    CGuardedBuffer dst(Bgr24ImageSize(w, H) + 31 - nOffset);
                    uint8_t* pDst = dst.Data() + 31 - nOffset;
                    std::vector<uint8_t> want(Bgr24ImageSize(w, H));
                    ASSERT_TRUE(ConvertFrameToBgr24(ReferenceRows(), coding, data.data(), data.size(), want.data(),
                                                    want.size(), w, H, bFloatYuv));
                    ASSERT_TRUE(ConvertFrameToBgr24(*pRows, coding, src.Data() + nOffset, data.size(), pDst,
                                                    want.size(), w, H, bFloatYuv));
                    ASSERT_EQ(FirstDifference(want.data(), pDst, want.size()), std::string::npos)
                        << pRows->pszName << " " << CodingName(coding) << " width " << w
                        << (bFloatYuv ? " float" : " integer");
                }
            }
        }
    }
}

TEST(ConvertFrame, TheFrameFunctionsUseTheFastestKernels)
{
    const std::vector<const CONVERT_ROWS*> sets = AvailableRowSets();   // the fastest last
    EXPECT_EQ(&ActiveConvertRows(), sets.back());
}

// Refused arguments write nothing: null pointers, negative or overflowing
// sizes, a source or an output one byte short (an output must hold every
// row, the last row's padding included). An empty image succeeds.
TEST(ConvertFrame, RefusedArgumentsWriteNothing)
{
    constexpr int W = 8;
    constexpr int H = 2;
    const std::vector<uint8_t> src(RawRowBytes(RawCoding::Yuv422, W) * H, 128);
    std::vector<uint8_t> dst(Bgr24ImageSize(W, H), 0x5A);
    const uint8_t* s = src.data();
    uint8_t* d = dst.data();
    const size_t cbSrc = src.size();
    const size_t cbDst = dst.size();

    EXPECT_FALSE(Yuv422ToBgr24(nullptr, cbSrc, d, cbDst, W, H, true));
    EXPECT_FALSE(Yuv422ToBgr24(s, cbSrc, nullptr, cbDst, W, H, true));
    EXPECT_FALSE(Mono8ToBgr24(nullptr, 0, nullptr, 0, 0, 0));
    EXPECT_FALSE(Yuv422ToBgr24(s, cbSrc, d, cbDst, -W, H, true));
    EXPECT_FALSE(Yuv422ToBgr24(s, cbSrc, d, cbDst, W, -1, true));
    EXPECT_FALSE(Mono16ToBgr24(s, cbSrc, d, cbDst, INT_MIN, INT_MIN));
    EXPECT_EQ(Bgr24Stride(-1), 0u);
    EXPECT_EQ(Bgr24ImageSize(4, -1), 0u);
    EXPECT_FALSE(Yuv422ToBgr24(s, cbSrc, d, cbDst, INT_MAX, INT_MAX, true));
    EXPECT_FALSE(Mono8ToBgr24(s, SIZE_MAX, d, cbDst, INT_MAX, 2));

    EXPECT_FALSE(Yuv422ToBgr24(s, cbSrc - 1, d, cbDst, W, H, true));
    EXPECT_FALSE(Yuv411ToBgr24(s, RawRowBytes(RawCoding::Yuv411, W) * H - 1, d, cbDst, W, H, true));
    EXPECT_FALSE(Yuv444ToBgr24(s, cbSrc, d, cbDst, W, H, true));   // 48 > 32
    EXPECT_FALSE(Yuv422ToBgr24(s, cbSrc, d, cbDst - 1, W, H, true));
    EXPECT_FALSE(Mono8ToBgr24(s, 6, d, 2 * 12 - 1, 3, 2));

    EXPECT_TRUE(Yuv422ToBgr24(s, 0, d, 0, 0, H, true));
    EXPECT_TRUE(Yuv422ToBgr24(s, 0, d, 0, W, 0, true));
    EXPECT_EQ(dst, std::vector<uint8_t>(cbDst, 0x5A));
}

// Listed models and longer names take the integer formula; a name is read no
// further than its buffer, which the driver may have filled without a zero.
TEST(YuvModel, ListedModelsTakeTheIntegerFormula)
{
    const auto Check = [](const char* pszName) { return IsIntegerYuvModel(pszName, std::strlen(pszName) + 1); };
    for (const char* pszName : {"MHP-Z610", "MHP-Z610C rev 2", "MHP-Z 420", "MHP-ZR420", "KQX_RT710-B"})
        EXPECT_TRUE(Check(pszName)) << pszName;
    for (const char* pszName : {"MHP-Z61", "MHP-Z420", "mhp-z610", "XMHP-Z610", ""})
        EXPECT_FALSE(Check(pszName)) << pszName;
    EXPECT_FALSE(IsIntegerYuvModel(nullptr, 16));
    const char buffer[16] = {'K', 'Q', 'X', '_', 'R', 'T', '7', '1', '0', 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    EXPECT_TRUE(IsIntegerYuvModel(buffer, sizeof(buffer)));
    EXPECT_FALSE(IsIntegerYuvModel(buffer, 8));   // shorter than the entry
}

}  // namespace
