// Pictures reach files the right way up, in the right colours, in each file
// type.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "exit_status.h"
#include "frame_image.h"
#include "image.h"
#include "session.h"

using namespace iidctool;

namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
      m_dir = std::filesystem::temp_directory_path()
              / ("iidc-image-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
      std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // 3 x 2 colour picture: top row red, green, blue; bottom row grey levels.
  static CImage Colour()
  {
      return CImage{3, 2, 3, 8, {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 10, 10, 20, 20, 20, 30, 30, 30}};
  }

  std::filesystem::path m_dir;
};

TEST(FrameImageTest, BottomUpBgrBecomesTopDownRgb)
{
    // 2 x 2, rows padded to 8 bytes; the first row in memory is the bottom.
    const uint8_t bits[] = {1, 2, 3, 4, 5, 6, 0, 0,   // bottom: (3,2,1) (6,5,4)
                            7, 8, 9, 10, 11, 12, 0, 0};  // top: (9,8,7) (12,11,10)
    const CImage image = ImageFromBottomUpBgr(bits, 2, 2);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

TEST(FrameImageTest, RawCodingsWithoutConversion)
{
    const uint8_t mono16[] = {0x12, 0x34, 0x56, 0x78};
    const auto grey = ImageFromRawFrame(mono16, IIDC_COLOR_MONO16, 2, 1);
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->nChannels, 1);
    EXPECT_EQ(grey->nBitDepth, 16);
    EXPECT_EQ(grey->Sample8(1, 0, 0), 0x56);
    EXPECT_FALSE(ImageFromRawFrame(mono16, IIDC_COLOR_YUV422, 2, 1));
    EXPECT_EQ(RawFrameBytes(IIDC_COLOR_YUV411, 8, 2), 24u);
    EXPECT_EQ(RawFrameBytes(IIDC_COLOR_RGB16, 2, 2), 24u);
    EXPECT_EQ(RawFrameBytes(42, 2, 2), 0u);
    // A flat 16-bit mosaic, sent big-endian, demosaics to the same words,
    // most significant byte first as the picture holds them.
    const uint8_t flat[] = {0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34};
    std::vector<uint8_t> words(24, 0x12);
    for (std::size_t i = 1; i < words.size(); i += 2)
        words[i] = 0x34;
    EXPECT_EQ(ImageFromMosaic(flat, IIDC_COLOR_MONO16, 2, 2, true, BayerFilter::Rggb, DemosaicMethod::Bilinear).pixels,
              words);
}

TEST_F(ImageFileTest, BmpIsBottomUpBgrWithPaddedRows)
{
    WriteBmp(Colour(), (m_dir / "a.bmp").string());
    const auto bytes = ReadFile(m_dir / "a.bmp");
    const uint32_t cbStride = 12;  // 9 bytes padded to 12
    ASSERT_EQ(bytes.size(), 54 + 2 * cbStride);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(bytes[22], 2);  // positive height: bottom-up
    EXPECT_EQ(bytes[28], 24);
    // The bottom row (grey) comes first, the top row (red, green, blue) last.
    EXPECT_EQ(bytes[54], 10);
    const std::vector<uint8_t> top(bytes.begin() + 54 + cbStride, bytes.begin() + 54 + cbStride + 9);
    EXPECT_EQ(top, (std::vector<uint8_t>{0, 0, 255, 0, 255, 0, 255, 0, 0}));
}

TEST_F(ImageFileTest, PnmHeadersAndSixteenBitSamples)
{
    WritePnm(Colour(), (m_dir / "a.ppm").string());
    const auto ppm = ReadFile(m_dir / "a.ppm");
    const std::string header = "P6\n3 2\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 18);
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + long(header.size())), header);
    EXPECT_EQ(ppm[header.size()], 255);

    WritePnm(CImage{1, 1, 1, 16, {0xAB, 0xCD}}, (m_dir / "a.pgm").string());
    const auto pgm = ReadFile(m_dir / "a.pgm");
    EXPECT_EQ(std::string(pgm.begin(), pgm.end()), std::string("P5\n1 1\n65535\n\xAB\xCD"));
}

TEST_F(ImageFileTest, PngDecodesToTheSamePixels)
{
    const std::string path = (m_dir / "a.png").string();
    WritePng(Colour(), path);
    png_image decoded{};
    decoded.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&decoded, path.c_str()));
    EXPECT_EQ(decoded.width, 3u);
    EXPECT_EQ(decoded.height, 2u);
    decoded.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(decoded));
    ASSERT_TRUE(png_image_finish_read(&decoded, nullptr, pixels.data(), 0, nullptr));
    EXPECT_EQ(pixels, Colour().pixels);
}

TEST_F(ImageFileTest, UnwritablePathIsAToolError)
{
    const std::string path = (m_dir / "missing" / "a.png").string();
    for (auto* pWrite : {&WritePng, &WriteBmp, &WritePnm}) {
        try {
            pWrite(Colour(), path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const CToolError& error) {
            EXPECT_EQ(error.Status(), EXIT_FAILED);
            EXPECT_NE(std::string(error.what()).find(path), std::string::npos);
        }
    }
}

}  // namespace
