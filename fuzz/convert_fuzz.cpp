// The colour converters over arbitrary sizes and bytes: the first bytes pick
// the converter, the size and how much output room there is; the rest is the
// frame. Source and output are heap blocks of exactly their stated sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "image/convert/convert.h"

namespace {

struct Header {
  std::uint8_t nKind;    // converter, and the YUV formula in bit 3
  std::uint8_t nWidth;   // 0 to 255, negative when bit 7 of nFlags is set
  std::uint8_t nHeight;  // 0 to 255, negative when bit 6 of nFlags is set
  std::uint8_t nFlags;   // bits 0-5: output bytes short of (or beyond) the image
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData) {
  Header header;
  if (cbData < sizeof header) {
    return 0;
  }
  std::memcpy(&header, pData, sizeof header);
  // new[] of exactly the size, also of none: a valid pointer with no bytes.
  const std::size_t cbSrc = cbData - sizeof header;
  const std::unique_ptr<std::uint8_t[]> src(new std::uint8_t[cbSrc]);
  std::memcpy(src.get(), pData + sizeof header, cbSrc);
  const int nWidth = (header.nFlags & 0x80) != 0 ? -int{header.nWidth} : int{header.nWidth};
  const int nHeight = (header.nFlags & 0x40) != 0 ? -int{header.nHeight} : int{header.nHeight};
  const std::size_t cbImage = Bgr24ImageSize(nWidth, nHeight);
  // Output room: the image size, give or take up to 31 bytes.
  const int nSlack = static_cast<int>(header.nFlags & 0x3F) - 32;
  const std::size_t cbDst =
      nSlack < 0 && static_cast<std::size_t>(-nSlack) > cbImage ? 0 : cbImage + static_cast<std::size_t>(nSlack);
  const std::unique_ptr<std::uint8_t[]> dst(new std::uint8_t[cbDst]);
  const bool bFloat = (header.nKind & 0x08) != 0;
  const std::uint8_t* pSrc = src.get();
  bool bWritten = false;
  switch (header.nKind % 5) {
    case 0: bWritten = Mono8ToBgr24(pSrc, cbSrc, dst.get(), cbDst, nWidth, nHeight); break;
    case 1: bWritten = Mono16ToBgr24(pSrc, cbSrc, dst.get(), cbDst, nWidth, nHeight); break;
    case 2: bWritten = Yuv411ToBgr24(pSrc, cbSrc, dst.get(), cbDst, nWidth, nHeight, bFloat); break;
    case 3: bWritten = Yuv422ToBgr24(pSrc, cbSrc, dst.get(), cbDst, nWidth, nHeight, bFloat); break;
    default: bWritten = Yuv444ToBgr24(pSrc, cbSrc, dst.get(), cbDst, nWidth, nHeight, bFloat); break;
  }
  // Whole or not at all: a written image fits the room it was given.
  if (bWritten && cbImage > cbDst) {
    std::abort();
  }
  return 0;
}
