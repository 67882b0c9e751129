// The converter object: its run-time class and the formula it applies.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "image/video.h"

namespace {

TEST(VideoTest, CreatedFromItsRuntimeClass)
{
    const CRuntimeClass* pClass = RUNTIME_CLASS(CVideo);
    EXPECT_STREQ(pClass->m_lpszClassName, "CVideo");
    EXPECT_EQ(pClass->m_pBaseClass, RUNTIME_CLASS(CCmdTarget));
    std::unique_ptr<CObject> pObject(pClass->CreateObject());
    ASSERT_NE(pObject, nullptr);
    EXPECT_EQ(pObject->GetRuntimeClass(), pClass);
    EXPECT_TRUE(pObject->IsKindOf(RUNTIME_CLASS(CCmdTarget)));
    EXPECT_EQ(static_cast<CVideo*>(pObject.get())->m_bFloatYuv, 1);
    // Classes without dynamic creation make nothing.
    EXPECT_EQ(RUNTIME_CLASS(CCmdTarget)->CreateObject(), nullptr);
}

// Y = 100, U = 200, V = 50 in every pixel of a 4 x 1 YUV 4:4:4 frame.
std::array<BYTE, 12> ConvertSample(LONG bFloatYuv)
{
    const std::array<BYTE, 12> frame = {200, 100, 50, 200, 100, 50, 200, 100, 50, 200, 100, 50};
    std::array<BYTE, 12> image{};
    CVideo video;
    video.m_bFloatYuv = bFloatYuv;
    EXPECT_TRUE(video.Yuv444ToBgr24(frame.data(), frame.size(), image.data(), image.size(), 4, 1));
    return image;
}

TEST(VideoTest, FlagChoosesTheFormula)
{
    const std::array<BYTE, 12> floating = ConvertSample(1);
    const std::array<BYTE, 12> integer = ConvertSample(0);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(floating[3 * x], 227);
        EXPECT_EQ(floating[3 * x + 1], 130);
        EXPECT_EQ(floating[3 * x + 2], 0);
        EXPECT_EQ(integer[3 * x], 172);
        EXPECT_EQ(integer[3 * x + 1], 128);
        EXPECT_EQ(integer[3 * x + 2], 22);
    }
}

TEST(VideoTest, RefusesAnOutputTooSmallForThePaddedRows)
{
    // 5 x 2 pixels: rows of 15 bytes padded to 16, so 30 bytes do not hold it.
    std::array<BYTE, 24> frame{};
    std::array<BYTE, 32> image{};
    image.fill(0xEE);
    const CVideo video;
    EXPECT_FALSE(video.Yuv422ToBgr24(frame.data(), frame.size(), image.data(), 30, 5, 2));
    EXPECT_EQ(image[0], 0xEE);
    EXPECT_TRUE(video.Yuv422ToBgr24(frame.data(), frame.size(), image.data(), 32, 5, 2));
}

}  // namespace
