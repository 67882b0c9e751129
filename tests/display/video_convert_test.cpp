// The video renderer's own conversion of connected types into pixels: what it
// refuses, and the pixels of each layout (the camera codings end to end are
// the window tests').
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "base/media_type.h"
#include "emul/dshow/video_convert.h"

namespace {

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

TEST(VideoConvertTest, RefusesWhatItCannotDraw) {
  for (const auto& [subtype, nWidth, nHeight] :
       {std::tuple{Fourcc(0x32595559), 4L, 2L}, std::tuple{MEDIASUBTYPE_RGB565, 4L, 2L},
        std::tuple{MEDIASUBTYPE_RGB24, 0L, 2L}, std::tuple{MEDIASUBTYPE_RGB24, -4L, 2L},
        std::tuple{MEDIASUBTYPE_RGB24, 65537L, 2L}, std::tuple{MEDIASUBTYPE_RGB24, 4L, 0L}}) {
    CVideoType type(subtype, nWidth, nHeight);
    EXPECT_FALSE(emul::DescribeVideo(type.mt)) << nWidth << "x" << nHeight;
  }
  CVideoType shortBlock(MEDIASUBTYPE_RGB24, 4, 2);
  shortBlock.mt.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
  EXPECT_FALSE(emul::DescribeVideo(shortBlock.mt));
  CVideoType audio(MEDIASUBTYPE_RGB24, 4, 2);
  audio.mt.majortype = GUID_NULL;
  EXPECT_FALSE(emul::DescribeVideo(audio.mt));
  // A sample shorter than its frame writes nothing.
  CVideoType yuv(Fourcc(0x32555949), 2, 2);
  const emul::CVideoLayout layout = emul::DescribeVideo(yuv.mt).value();
  std::vector<BYTE> sample(layout.FrameBytes() - 1, 128);
  std::vector<std::uint32_t> pixels(4, 7);
  EXPECT_FALSE(emul::ConvertToRgb(layout, sample.data(), sample.size(), pixels.data()));
  EXPECT_FALSE(emul::ConvertToRgb(layout, nullptr, 100, pixels.data()));
  EXPECT_EQ(pixels, (std::vector<std::uint32_t>(4, 7)));
}

// Bitmaps are padded to words and bottom-up unless the height is negative;
// camera codings are top-down and unpadded. Mono16 and RGB16 show their high
// bytes. YUV is full-range BT.601 with chroma shared across its unit (YUV411:
// four pixels per U Y Y V Y Y, a width of 5 takes two whole units).
TEST(VideoConvertTest, EveryLayoutGivesItsPixels) {
  struct CCase {
    GUID subtype;
    LONG nWidth, nHeight;
    size_t cbStride;
    std::vector<BYTE> sample;
    std::vector<std::uint32_t> pixels;
  };
  const CCase cases[] = {
      {MEDIASUBTYPE_RGB8, 3, 2, 4, {1, 2, 3, 0, 10, 20, 30, 0},
       {0x0a0a0a, 0x141414, 0x1e1e1e, 0x010101, 0x020202, 0x030303}},
      {MEDIASUBTYPE_RGB24, 2, -2, 8, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0},
       {0x030201, 0x060504, 0x090807, 0x0c0b0a}},
      {MEDIASUBTYPE_RGB32, 1, 2, 4, {1, 2, 3, 9, 4, 5, 6, 9}, {0x060504, 0x030201}},
      {Fourcc(0x38424752), 1, 2, 3, {1, 2, 3, 4, 5, 6}, {0x010203, 0x040506}},
      {Fourcc(0), 2, 1, 4, {0x12, 0xff, 0xab, 0x00}, {0x121212, 0xababab}},
      {Fourcc(0x36314752), 1, 1, 6, {1, 9, 2, 9, 3, 9}, {0x010203}},
      {Fourcc(0x32555949), 1, 1, 3, {128, 77, 128}, {0x4d4d4d}},
      {Fourcc(0x59565955), 3, 1, 8, {128, 10, 128, 20, 128, 30, 128, 99}, {0x0a0a0a, 0x141414, 0x1e1e1e}},
      {Fourcc(0x31555949), 5, 1, 12, {128, 1, 2, 128, 3, 4, 128, 5, 0, 128, 0, 0},
       {0x010101, 0x020202, 0x030303, 0x040404, 0x050505}},
      {Fourcc(0x32555949), 2, 1, 6, {128, 128, 255, 255, 128, 128}, {0xff2580, 0x8054ff}},  // V red, U blue
  };
  for (const CCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.subtype.Data1) + " " + std::to_string(c.nWidth) + "x" + std::to_string(c.nHeight));
    CVideoType type(c.subtype, c.nWidth, c.nHeight);
    const std::optional<emul::CVideoLayout> layout = emul::DescribeVideo(type.mt);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->cbStride, c.cbStride);
    std::vector<std::uint32_t> pixels(c.pixels.size() + 1, 0xdeadbeef);
    ASSERT_TRUE(emul::ConvertToRgb(*layout, c.sample.data(), c.sample.size(), pixels.data()));
    EXPECT_EQ(pixels.back(), 0xdeadbeefu) << "written past the picture";
    pixels.pop_back();
    EXPECT_EQ(pixels, c.pixels);
  }
}

}  // namespace
