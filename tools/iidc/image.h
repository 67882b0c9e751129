// A picture on its way to a file: rows top-down, packed, grey or red-green-
// blue, 8 bits per sample or 16 bits most significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace iidctool {

struct CImage {
  int nWidth = 0;
  int nHeight = 0;
  int nChannels = 3;  // 1 grey, 3 red-green-blue
  int nBitDepth = 8;  // 8 or 16
  std::vector<uint8_t> pixels;

  std::size_t RowBytes() const { return std::size_t(nWidth) * std::size_t(nChannels) * std::size_t(nBitDepth / 8); }
  // The 8-bit value of sample c of pixel (x, y).
  uint8_t Sample8(int x, int y, int c) const
  {
    const std::size_t nBytes = std::size_t(nBitDepth / 8);
    return pixels[std::size_t(y) * RowBytes() + (std::size_t(x) * std::size_t(nChannels) + std::size_t(c)) * nBytes];
  }
};

// Each writer throws CToolError with the path and the reason when the file
// cannot be written.
void WritePng(const CImage& image, const std::string& path);
void WriteBmp(const CImage& image, const std::string& path);
void WritePnm(const CImage& image, const std::string& path);  // PGM for grey, PPM for colour

}  // namespace iidctool
