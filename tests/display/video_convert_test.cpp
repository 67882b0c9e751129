// The video renderer's own conversion of connected types into pixels.
#include <gtest/gtest.h>

#include <vector>

#include "base/media_type.h"
#include "emul/dshow/video_convert.h"

namespace {

using emul::ConvertToRgb;
using emul::CVideoLayout;
using emul::DescribeVideo;
using emul::VideoCoding;

constexpr GUID Fourcc(DWORD dwCode) { return GUID{dwCode, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}}; }

// A video type of that subtype and bitmap size.
struct CVideoType {
  VIDEOINFOHEADER vih{};
  AM_MEDIA_TYPE mt{};
  CVideoType(const GUID& subtype, LONG nWidth, LONG nHeight) {
    vih.bmiHeader.biWidth = nWidth;
    vih.bmiHeader.biHeight = nHeight;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype;
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof vih;
    mt.pbFormat = reinterpret_cast<BYTE*>(&vih);
  }
};

CVideoLayout Layout(const GUID& subtype, LONG nWidth, LONG nHeight) {
  CVideoType type(subtype, nWidth, nHeight);
  const std::optional<CVideoLayout> layout = DescribeVideo(type.mt);
  EXPECT_TRUE(layout.has_value());
  return layout.value_or(CVideoLayout{});
}

std::vector<std::uint32_t> Convert(const CVideoLayout& layout, const std::vector<BYTE>& sample) {
  std::vector<std::uint32_t> pixels(static_cast<size_t>(layout.nWidth * layout.nHeight), 0xdeadbeef);
  EXPECT_TRUE(ConvertToRgb(layout, sample.data(), sample.size(), pixels.data()));
  return pixels;
}

TEST(VideoConvertTest, RefusesWhatItCannotDraw) {
  CVideoType yuy2(Fourcc(0x32595559), 4, 2);
  EXPECT_FALSE(DescribeVideo(yuy2.mt));
  CVideoType rgb565(MEDIASUBTYPE_RGB565, 4, 2);
  EXPECT_FALSE(DescribeVideo(rgb565.mt));
  for (LONG nWidth : {0L, -4L, 65537L}) {
    CVideoType bad(MEDIASUBTYPE_RGB24, nWidth, 2);
    EXPECT_FALSE(DescribeVideo(bad.mt)) << nWidth;
  }
  CVideoType noHeight(MEDIASUBTYPE_RGB24, 4, 0);
  EXPECT_FALSE(DescribeVideo(noHeight.mt));
  CVideoType shortBlock(MEDIASUBTYPE_RGB24, 4, 2);
  shortBlock.mt.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
  EXPECT_FALSE(DescribeVideo(shortBlock.mt));
  CVideoType audio(MEDIASUBTYPE_RGB24, 4, 2);
  audio.mt.majortype = GUID_NULL;
  EXPECT_FALSE(DescribeVideo(audio.mt));
}

TEST(VideoConvertTest, BitmapsArePaddedAndBottomUpUnlessTheHeightIsNegative) {
  // 3 x 2 grey: rows of 4 bytes, the last row in memory on top.
  const CVideoLayout grey = Layout(MEDIASUBTYPE_RGB8, 3, 2);
  EXPECT_EQ(grey.cbStride, 4u);
  EXPECT_EQ(Convert(grey, {1, 2, 3, 0, 10, 20, 30, 0}),
            (std::vector<std::uint32_t>{0x0a0a0a, 0x141414, 0x1e1e1e, 0x010101, 0x020202, 0x030303}));
  const CVideoLayout topDown = Layout(MEDIASUBTYPE_RGB24, 1, -2);
  EXPECT_FALSE(topDown.bBottomUp);
  EXPECT_EQ(Convert(topDown, {1, 2, 3, 0, 4, 5, 6, 0}), (std::vector<std::uint32_t>{0x030201, 0x060504}));
  const CVideoLayout rgb32 = Layout(MEDIASUBTYPE_RGB32, 1, 2);
  EXPECT_EQ(Convert(rgb32, {1, 2, 3, 9, 4, 5, 6, 9}), (std::vector<std::uint32_t>{0x060504, 0x030201}));
}

TEST(VideoConvertTest, CameraCodingsAreTopDownAndUnpadded) {
  // "RGB8": red, green, blue; a positive height changes nothing.
  EXPECT_EQ(Convert(Layout(Fourcc(0x38424752), 1, 2), {1, 2, 3, 4, 5, 6}),
            (std::vector<std::uint32_t>{0x010203, 0x040506}));
  // Mono16 shows its big-endian high byte.
  EXPECT_EQ(Convert(Layout(Fourcc(0), 2, 1), {0x12, 0xff, 0xab, 0x00}),
            (std::vector<std::uint32_t>{0x121212, 0xababab}));
  // "RG16": the high byte of each channel.
  EXPECT_EQ(Convert(Layout(Fourcc(0x36314752), 1, 1), {1, 9, 2, 9, 3, 9}), (std::vector<std::uint32_t>{0x010203}));
}

TEST(VideoConvertTest, YuvUsesFullRangeBt601AndSharesChromaAcrossItsUnit) {
  // Grey when U = V = 128, for every layout.
  EXPECT_EQ(Convert(Layout(Fourcc(0x32555949), 1, 1), {128, 77, 128}), (std::vector<std::uint32_t>{0x4d4d4d}));
  EXPECT_EQ(Convert(Layout(Fourcc(0x59565955), 3, 1), {128, 10, 128, 20, 128, 30, 128, 99}),
            (std::vector<std::uint32_t>{0x0a0a0a, 0x141414, 0x1e1e1e}));
  // YUV411: four pixels per U Y Y V Y Y; a width of 5 takes two whole units.
  const CVideoLayout yuv411 = Layout(Fourcc(0x31555949), 5, 1);
  EXPECT_EQ(yuv411.cbStride, 12u);
  EXPECT_EQ(Convert(yuv411, {128, 1, 2, 128, 3, 4, 128, 5, 0, 128, 0, 0}),
            (std::vector<std::uint32_t>{0x010101, 0x020202, 0x030303, 0x040404, 0x050505}));
  // Saturated colours: V pushes red, U pushes blue, each clamped.
  EXPECT_EQ(Convert(Layout(Fourcc(0x32555949), 2, 1), {128, 128, 255, 255, 128, 128}),
            (std::vector<std::uint32_t>{0xff2580, 0x8054ff}));
}

TEST(VideoConvertTest, ShortSampleWritesNothing) {
  const CVideoLayout layout = Layout(Fourcc(0x32555949), 2, 2);
  std::vector<BYTE> sample(layout.FrameBytes() - 1, 128);
  std::vector<std::uint32_t> pixels(4, 7);
  EXPECT_FALSE(ConvertToRgb(layout, sample.data(), sample.size(), pixels.data()));
  EXPECT_EQ(pixels, (std::vector<std::uint32_t>(4, 7)));
  EXPECT_FALSE(ConvertToRgb(layout, nullptr, 100, pixels.data()));
}

}  // namespace
