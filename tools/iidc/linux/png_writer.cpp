// PNG files through libpng.
#include <png.h>

#include <cstdio>
#include <memory>

#include "file_error.h"
#include "image.h"

namespace iidctool {

namespace {

struct FileCloser {
  void operator()(std::FILE* pFile) const { std::fclose(pFile); }
};

}  // namespace

void WritePng(const CImage& image, const std::string& path)
{
    std::unique_ptr<std::FILE, FileCloser> pFile(std::fopen(path.c_str(), "wb"));
    if (!pFile)
        FileError(path, errno);
    png_structp pPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop pInfo = pPng ? png_create_info_struct(pPng) : nullptr;
    if (!pInfo) {
        png_destroy_write_struct(&pPng, nullptr);
        throw CToolError(EXIT_FAILED, fmt::format("cannot write {}: out of memory", path));
    }
    // libpng reports failures by a long jump back here; nothing with a
    // destructor is created between here and the end.
    if (setjmp(png_jmpbuf(pPng))) {
        png_destroy_write_struct(&pPng, &pInfo);
        FileError(path, errno ? errno : EIO);
    }
    png_init_io(pPng, pFile.get());
    // Fast compression: grab keeps up with the camera.
    png_set_compression_level(pPng, 1);
    png_set_IHDR(pPng, pInfo, png_uint_32(image.nWidth), png_uint_32(image.nHeight), image.nBitDepth,
                 image.nChannels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(pPng, pInfo);
    for (int y = 0; y < image.nHeight; ++y)
        png_write_row(pPng, image.pixels.data() + image.RowBytes() * std::size_t(y));
    png_write_end(pPng, nullptr);
    png_destroy_write_struct(&pPng, &pInfo);
    if (std::fflush(pFile.get()) != 0)
        FileError(path, errno);
}

}  // namespace iidctool
