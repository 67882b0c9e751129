#include <gtest/gtest.h>

#include <cstring>

#include "base/afx.h"
#include "tests/support/emul_env.h"

namespace {

class CConverter : public CCmdTarget {
  DECLARE_DYNAMIC(CConverter)
};
IMPLEMENT_DYNAMIC(CConverter, CCmdTarget)

class AfxTest : public CEmulTest {};

TEST_F(AfxTest, RuntimeClassesWalkUpTheHierarchy) {
  CConverter converter;
  EXPECT_STREQ(converter.GetRuntimeClass()->m_lpszClassName, "CConverter");
  EXPECT_TRUE(converter.IsKindOf(RUNTIME_CLASS(CConverter)));
  EXPECT_TRUE(converter.IsKindOf(RUNTIME_CLASS(CCmdTarget)));
  EXPECT_TRUE(converter.IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(converter.IsKindOf(RUNTIME_CLASS(CGdiObject)));

  CBitmap bitmap;
  EXPECT_TRUE(bitmap.IsKindOf(RUNTIME_CLASS(CGdiObject)));
  EXPECT_FALSE(bitmap.IsKindOf(RUNTIME_CLASS(CCmdTarget)));
  EXPECT_EQ(RUNTIME_CLASS(CBitmap)->m_nObjectSize, static_cast<int>(sizeof(CBitmap)));
}

TEST_F(AfxTest, AttachedBitmapGoesWithItsWrapperUnlessDetached) {
  HBITMAP hBitmap = CreateBitmap(4, 4, 1, 24, nullptr);
  ASSERT_NE(hBitmap, nullptr);
  HBITMAP hDetached = nullptr;
  {
    CBitmap bitmap;
    EXPECT_FALSE(bitmap.Attach(nullptr));
    ASSERT_TRUE(bitmap.Attach(hBitmap));
    // A second handle is refused; the wrapper keeps the first.
    HBITMAP hOther = CreateBitmap(1, 1, 1, 24, nullptr);
    EXPECT_FALSE(bitmap.Attach(hOther));
    EXPECT_EQ(static_cast<HBITMAP>(bitmap), hBitmap);
    EXPECT_TRUE(DeleteObject(hOther));

    CBitmap detached;
    ASSERT_TRUE(detached.CreateBitmap(2, 2, 1, 24, nullptr));
    EXPECT_FALSE(detached.CreateBitmap(2, 2, 1, 24, nullptr));
    hDetached = static_cast<HBITMAP>(detached.Detach());
    EXPECT_FALSE(detached.DeleteObject());
  }
  EXPECT_FALSE(DeleteObject(hBitmap));  // already gone
  EXPECT_TRUE(DeleteObject(hDetached));
}

TEST_F(AfxTest, BitmapBitsRoundTrip) {
  const BYTE pixels[] = {1, 2, 3, 4, 5, 6, 7, 8};  // 2 x 2 x 16 bits
  CBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateBitmap(2, 2, 1, 16, nullptr));
  EXPECT_EQ(bitmap.SetBitmapBits(sizeof(pixels), pixels), sizeof(pixels));
  BYTE readBack[8] = {};
  EXPECT_EQ(bitmap.GetBitmapBits(sizeof(readBack), readBack), sizeof(readBack));
  EXPECT_EQ(std::memcmp(readBack, pixels, sizeof(pixels)), 0);
  BITMAP info{};
  EXPECT_EQ(bitmap.GetBitmap(&info), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(info.bmBitsPixel, 16);
}

TEST_F(AfxTest, FailedCreationLeavesWrapperEmpty) {
  emul::FailOperation("CreateBitmap", E_OUTOFMEMORY, 1);
  CBitmap bitmap;
  EXPECT_FALSE(bitmap.CreateBitmap(2, 2, 1, 24, nullptr));
  EXPECT_EQ(bitmap.m_hObject, nullptr);
}

}  // namespace
