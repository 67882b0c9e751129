#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "vcam/model/formats.h"
#include "vcam/model/pattern.h"

namespace vcam::test {
namespace {

constexpr std::uint32_t W = 64, H = 4;

std::vector<std::uint8_t> Draw(std::uint32_t nColor, std::uint32_t nSequence, std::uint32_t w = W,
                               std::uint32_t h = H, std::uint32_t nFilter = FILTER_NONE) {
  std::vector<std::uint8_t> frame(FrameBytes(nColor, w, h));
  EXPECT_TRUE(DrawTestPattern(nColor, w, h, nSequence, frame, nFilter));
  return frame;
}

// Bytes of row 1 from pixel x on: past the sequence number at the start.
std::vector<std::uint8_t> RowBytes(const std::vector<std::uint8_t>& frame, std::uint32_t nColor, std::uint32_t x,
                                   std::size_t n) {
  const std::size_t at = static_cast<std::size_t>((W + x) * BitsPerPixel(nColor) / 8);
  return {frame.begin() + static_cast<std::ptrdiff_t>(at), frame.begin() + static_cast<std::ptrdiff_t>(at + n)};
}

using Bytes = std::vector<std::uint8_t>;

TEST(Pattern, ByteLayoutsFollowTheColourCodings) {
  const std::uint32_t seq = 7, x = 20;  // pixels x.. of row 1
  const PatternPixel p0 = PatternAt(x, 1, seq), p1 = PatternAt(x + 1, 1, seq);
  const PatternPixel p2 = PatternAt(x + 2, 1, seq), p3 = PatternAt(x + 3, 1, seq);

  EXPECT_EQ(RowBytes(Draw(COLOR_MONO8, seq), COLOR_MONO8, x, 2), (Bytes{p0.y, p1.y}));
  EXPECT_EQ(RowBytes(Draw(COLOR_MONO16, seq), COLOR_MONO16, x, 2),
            (Bytes{static_cast<std::uint8_t>(p0.y16 >> 8), static_cast<std::uint8_t>(p0.y16)}));
  EXPECT_EQ(RowBytes(Draw(COLOR_YUV411, seq), COLOR_YUV411, x, 6), (Bytes{p0.u, p0.y, p1.y, p0.v, p2.y, p3.y}));
  EXPECT_EQ(RowBytes(Draw(COLOR_YUV422, seq), COLOR_YUV422, x, 4), (Bytes{p0.u, p0.y, p0.v, p1.y}));
  EXPECT_EQ(RowBytes(Draw(COLOR_YUV444, seq), COLOR_YUV444, x, 3), (Bytes{p0.u, p0.y, p0.v}));
  EXPECT_EQ(RowBytes(Draw(COLOR_RGB8, seq), COLOR_RGB8, x, 3), (Bytes{p0.r, p0.g, p0.b}));
  EXPECT_EQ(RowBytes(Draw(COLOR_RGB16, seq), COLOR_RGB16, x, 6), (Bytes{p0.r, p0.r, p0.g, p0.g, p0.b, p0.b}));
  EXPECT_EQ(p0.y16 >> 8, p0.y);  // Mono16 is Mono8 in its high byte
}

TEST(Pattern, EveryFrameCarriesItsSequenceNumberAndMoves) {
  for (std::uint32_t nColor = 0; nColor < COLOR_CODING_COUNT; ++nColor) {
    const auto a = Draw(nColor, 0x01020304);
    const auto b = Draw(nColor, 0x01020305);
    ASSERT_EQ(a.size(), FrameBytes(nColor, W, H));
    EXPECT_EQ((Bytes{a[0], a[1], a[2], a[3]}), (Bytes{0x04, 0x03, 0x02, 0x01})) << nColor;
    EXPECT_EQ(FrameSequence(a), 0x01020304u);
    EXPECT_EQ(FrameSequence(b), 0x01020305u);
    EXPECT_NE(Bytes(a.begin() + 4, a.end()), Bytes(b.begin() + 4, b.end())) << "frame does not move, " << nColor;
  }
}

TEST(Pattern, WholeFramesAndPartialBuffersDrawTheSameBytes) {
  // A buffer one byte short takes the byte-by-byte path; a whole one does not.
  for (std::uint32_t nColor = 0; nColor < COLOR_CODING_COUNT; ++nColor)
    for (std::uint32_t w : {4u, 36u, 64u}) {
      const auto whole = Draw(nColor, 99, w, 5);
      std::vector<std::uint8_t> part(whole.size() - 1);
      ASSERT_TRUE(DrawTestPattern(nColor, w, 5, 99, part));
      EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin())) << nColor << " width " << w;
    }
}

TEST(Pattern, DrawsNoMoreThanTheFrameAndTheBuffer) {
  std::vector<std::uint8_t> buffer(FrameBytes(COLOR_RGB8, W, H) + 16, 0xAA);
  ASSERT_TRUE(DrawTestPattern(COLOR_RGB8, W, H, 1, buffer));
  for (std::size_t i = buffer.size() - 16; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xAA);

  std::vector<std::uint8_t> tiny(1, 0);  // a frame shorter than its sequence number
  ASSERT_TRUE(DrawTestPattern(COLOR_MONO8, 1, 1, 0x1234, tiny));
  EXPECT_EQ(tiny[0], 0x34);
  EXPECT_EQ(FrameSequence(tiny), 0x34u);

  // Widths that split chroma groups still give exactly the frame's bytes.
  for (std::uint32_t nColor : {COLOR_YUV411, COLOR_YUV422})
    for (std::uint32_t w = 1; w < 9; ++w) {
      std::vector<std::uint8_t> odd(FrameBytes(nColor, w, 3));
      EXPECT_TRUE(DrawTestPattern(nColor, w, 3, 9, odd));
    }
  std::vector<std::uint8_t> any(8);
  EXPECT_FALSE(DrawTestPattern(COLOR_CODING_COUNT, 2, 2, 0, any));
  EXPECT_TRUE(DrawTestPattern(COLOR_MONO8, 0, 0, 0, {}));
}

TEST(Pattern, ThePainterDrawsExactlyTheBytesOfTheDefinition) {
  // One painter for every case, so its rows change with the shape. 300 rows
  // run past one period; widths that split chroma groups, and rows shorter
  // than the sequence number, go pixel by pixel. Mono frames also as the
  // mosaics of a colour sensor.
  CPatternPainter painter;
  for (std::uint32_t nColor = 0; nColor < COLOR_CODING_COUNT; ++nColor)
    for (const auto& [w, h, nFilter] : {std::tuple{20u, 300u, FILTER_NONE}, {64u, 4u, FILTER_NONE},
                                        {3u, 5u, FILTER_NONE}, {1u, 2u, FILTER_NONE}, {20u, 300u, FILTER_GBRG},
                                        {5u, 3u, FILTER_BGGR}})
      for (std::uint32_t nSequence : {0u, 1u, 255u, 0x01020304u, 0xFFFFFFFFu})
        for (bool bReverseRows : {false, true}) {
          const auto defined = Draw(nColor, nSequence, w, h, nFilter);
          Bytes want = defined;
          const std::size_t cbRow = defined.size() / h;
          for (std::size_t r = 0; bReverseRows && r < h; ++r)
            std::copy_n(defined.begin() + static_cast<std::ptrdiff_t>(cbRow * r), cbRow,
                        want.begin() + static_cast<std::ptrdiff_t>(cbRow * (h - 1 - r)));
          Bytes got(want.size() + 1, 0xAA);  // a byte past the frame stays
          ASSERT_TRUE(painter.Draw(nColor, w, h, nSequence, got, bReverseRows, nFilter));
          want.push_back(0xAA);
          ASSERT_EQ(got, want) << nColor << " " << w << "x" << h << " frame " << nSequence << " " << bReverseRows;
        }
  std::vector<std::uint8_t> any(8);
  EXPECT_FALSE(painter.Draw(COLOR_CODING_COUNT, 2, 2, 0, any));
}

}  // namespace
}  // namespace vcam::test
