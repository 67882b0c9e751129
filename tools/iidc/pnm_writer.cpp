// Netpbm files: PGM (P5) for grey, PPM (P6) for colour; 16-bit samples most
// significant byte first, as the format defines.
#include <fstream>

#include "file_error.h"
#include "image.h"

namespace iidctool {

void WritePnm(const CImage& image, const std::string& path)
{
    std::ofstream file(path, std::ios::binary);
    if (!file)
        FileError(path, errno);
    file << (image.nChannels == 1 ? "P5" : "P6") << '\n'
         << image.nWidth << ' ' << image.nHeight << '\n'
         << (image.nBitDepth == 16 ? 65535 : 255) << '\n';
    file.write(reinterpret_cast<const char*>(image.pixels.data()), std::streamsize(image.pixels.size()));
    file.close();
    if (!file)
        FileError(path, errno);
}

}  // namespace iidctool
