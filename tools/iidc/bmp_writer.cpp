// BMP files: 24-bit, rows stored bottom-up as the format defines, so every
// viewer shows the picture the right way up.
#include "file_error.h"
#include "image.h"

namespace iidctool {

namespace {

void Put16(std::vector<uint8_t>& bytes, uint32_t value)
{
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>& bytes, uint32_t value)
{
    Put16(bytes, value & 0xFFFF);
    Put16(bytes, value >> 16);
}

}  // namespace

void WriteBmp(const CImage& image, const std::string& path)
{
    constexpr uint32_t HEADERS = 14 + 40;
    const uint32_t cbStride = (uint32_t(image.nWidth) * 3 + 3) & ~3u;
    const uint32_t cbPixels = cbStride * uint32_t(image.nHeight);
    std::vector<uint8_t> bytes;
    bytes.reserve(HEADERS + cbPixels);
    // BITMAPFILEHEADER
    bytes.push_back('B');
    bytes.push_back('M');
    Put32(bytes, HEADERS + cbPixels);
    Put32(bytes, 0);
    Put32(bytes, HEADERS);
    // BITMAPINFOHEADER: positive height, bottom-up rows
    Put32(bytes, 40);
    Put32(bytes, uint32_t(image.nWidth));
    Put32(bytes, uint32_t(image.nHeight));
    Put16(bytes, 1);
    Put16(bytes, 24);
    Put32(bytes, 0);  // BI_RGB
    Put32(bytes, cbPixels);
    Put32(bytes, 2835);  // 72 dots per inch
    Put32(bytes, 2835);
    Put32(bytes, 0);
    Put32(bytes, 0);
    for (int y = image.nHeight - 1; y >= 0; --y) {
        for (int x = 0; x < image.nWidth; ++x) {
            const bool bGrey = image.nChannels == 1;
            bytes.push_back(image.Sample8(x, y, bGrey ? 0 : 2));
            bytes.push_back(image.Sample8(x, y, bGrey ? 0 : 1));
            bytes.push_back(image.Sample8(x, y, 0));
        }
        bytes.resize(bytes.size() + (cbStride - uint32_t(image.nWidth) * 3), 0);
    }
    WriteFileBytes(path, bytes);
}

}  // namespace iidctool
