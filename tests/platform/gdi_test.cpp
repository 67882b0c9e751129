#include <gtest/gtest.h>

#include <vector>

#include "tests/support/emul_env.h"

namespace {

class GdiTest : public CEmulTest {};

TEST_F(GdiTest, RowsArePaddedToWords) {
  // 3 pixels x 24 bits = 9 bytes, padded to 10 per row.
  std::vector<BYTE> bits(20);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    bits[i] = static_cast<BYTE>(i + 1);
  }
  HBITMAP hBitmap = CreateBitmap(3, 2, 1, 24, bits.data());
  ASSERT_NE(hBitmap, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectA(hBitmap, sizeof(info), &info), static_cast<int>(sizeof(info)));
  EXPECT_EQ(info.bmWidth, 3);
  EXPECT_EQ(info.bmHeight, 2);
  EXPECT_EQ(info.bmWidthBytes, 10);
  EXPECT_EQ(info.bmPlanes, 1);
  EXPECT_EQ(info.bmBitsPixel, 24);

  EXPECT_EQ(GetBitmapBits(hBitmap, 0, nullptr), 20);  // size query
  std::vector<BYTE> readBack(32, 0xEE);
  EXPECT_EQ(GetBitmapBits(hBitmap, static_cast<LONG>(readBack.size()), readBack.data()), 20);
  EXPECT_TRUE(std::equal(bits.begin(), bits.end(), readBack.begin()));
  EXPECT_EQ(readBack[20], 0xEE);
  EXPECT_TRUE(DeleteObject(hBitmap));
}

TEST_F(GdiTest, SetBitsCopiesNoMoreThanTheBitmapHolds) {
  HBITMAP hBitmap = CreateBitmap(2, 1, 1, 8, nullptr);
  ASSERT_NE(hBitmap, nullptr);
  const BYTE many[6] = {9, 8, 7, 6, 5, 4};
  EXPECT_EQ(SetBitmapBits(hBitmap, sizeof(many), many), 2);
  const BYTE one[1] = {1};
  EXPECT_EQ(SetBitmapBits(hBitmap, sizeof(one), one), 1);
  BYTE readBack[2] = {};
  EXPECT_EQ(GetBitmapBits(hBitmap, 2, readBack), 2);
  EXPECT_EQ(readBack[0], 1);
  EXPECT_EQ(readBack[1], 8);
  EXPECT_EQ(SetBitmapBits(hBitmap, 2, nullptr), 0);
  EXPECT_TRUE(DeleteObject(hBitmap));
}

TEST_F(GdiTest, ShapesFollowWindows) {
  // Zero size: a 1 x 1 monochrome bitmap.
  HBITMAP hEmpty = CreateBitmap(0, 5, 1, 24, nullptr);
  ASSERT_NE(hEmpty, nullptr);
  BITMAP info{};
  ASSERT_NE(GetObjectA(hEmpty, sizeof(info), &info), 0);
  EXPECT_EQ(info.bmWidth, 1);
  EXPECT_EQ(info.bmBitsPixel, 1);
  EXPECT_TRUE(DeleteObject(hEmpty));

  // Odd depths round up to a supported one.
  HBITMAP hOdd = CreateBitmap(1, 1, 1, 12, nullptr);
  ASSERT_NE(GetObjectA(hOdd, sizeof(info), &info), 0);
  EXPECT_EQ(info.bmBitsPixel, 16);
  EXPECT_TRUE(DeleteObject(hOdd));
}

TEST_F(GdiTest, BadArgumentsAndHandlesFail) {
  EXPECT_EQ(CreateBitmap(-1, 1, 1, 24, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CreateBitmap(1, 1, 2, 24, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(1, 1, 1, 33, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(1 << 20, 1 << 20, 1, 32, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);

  HBITMAP hBitmap = CreateBitmap(1, 1, 1, 24, nullptr);
  BITMAP info{};
  EXPECT_EQ(GetObjectA(hBitmap, sizeof(info) - 1, &info), 0);
  EXPECT_EQ(GetObjectA(hBitmap, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(GetBitmapBits(hBitmap, -1, &info), 0);
  EXPECT_TRUE(DeleteObject(hBitmap));
  EXPECT_FALSE(DeleteObject(hBitmap));
  EXPECT_EQ(GetBitmapBits(hBitmap, 4, &info), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // A kernel handle is not a GDI object.
  HANDLE hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_FALSE(DeleteObject(hEvent));
  EXPECT_TRUE(CloseHandle(hEvent));
}

}  // namespace
