#include "emul/dshow/video_convert.h"

#include <algorithm>
#include <cstdlib>

namespace emul {

namespace {

constexpr DWORD MakeFourcc(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<BYTE>(a)) | static_cast<DWORD>(static_cast<BYTE>(b)) << 8 |
         static_cast<DWORD>(static_cast<BYTE>(c)) << 16 | static_cast<DWORD>(static_cast<BYTE>(d)) << 24;
}

// FOURCC subtypes are {XXXXXXXX-0000-0010-8000-00AA00389B71}.
std::optional<DWORD> FourccOf(const GUID& subtype) {
  static constexpr BYTE FOURCC_TAIL[8] = {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
  if (subtype.Data2 != 0x0000 || subtype.Data3 != 0x0010 || !std::equal(FOURCC_TAIL, FOURCC_TAIL + 8, subtype.Data4)) {
    return std::nullopt;
  }
  return subtype.Data1;
}

std::optional<VideoCoding> CodingOf(const GUID& subtype) {
  if (subtype == MEDIASUBTYPE_RGB8) {
    return VideoCoding::Grey8;
  }
  if (subtype == MEDIASUBTYPE_RGB24) {
    return VideoCoding::Rgb24;
  }
  if (subtype == MEDIASUBTYPE_RGB32) {
    return VideoCoding::Rgb32;
  }
  const std::optional<DWORD> dwFourcc = FourccOf(subtype);
  if (!dwFourcc) {
    return std::nullopt;
  }
  switch (*dwFourcc) {
    case MakeFourcc('I', 'Y', 'U', '1'): return VideoCoding::Yuv411;
    case MakeFourcc('U', 'Y', 'V', 'Y'): return VideoCoding::Yuv422;
    case MakeFourcc('I', 'Y', 'U', '2'): return VideoCoding::Yuv444;
    case MakeFourcc('R', 'G', 'B', '8'): return VideoCoding::Rgb8x3;
    case 0: return VideoCoding::Mono16;
    case MakeFourcc('R', 'G', '1', '6'): return VideoCoding::Rgb16x3;
    default: return std::nullopt;
  }
}

bool IsDib(VideoCoding coding) {
  return coding == VideoCoding::Grey8 || coding == VideoCoding::Rgb24 || coding == VideoCoding::Rgb32;
}

// Bytes of one row of w pixels as stored.
size_t RowBytes(VideoCoding coding, size_t w) {
  switch (coding) {
    case VideoCoding::Grey8: return (w + 3) & ~size_t{3};
    case VideoCoding::Rgb24: return (3 * w + 3) & ~size_t{3};
    case VideoCoding::Rgb32: return 4 * w;
    case VideoCoding::Yuv411: return (w + 3) / 4 * 6;
    case VideoCoding::Yuv422: return (w + 1) / 2 * 4;
    case VideoCoding::Yuv444: return 3 * w;
    case VideoCoding::Rgb8x3: return 3 * w;
    case VideoCoding::Mono16: return 2 * w;
    case VideoCoding::Rgb16x3: return 6 * w;
  }
  return 0;
}

// Pictures larger than this in either direction are not drawn.
constexpr LONG MAX_SIDE = 65536;

std::uint32_t Rgb(int r, int g, int b) {
  return static_cast<std::uint32_t>(std::clamp(r, 0, 255)) << 16 |
         static_cast<std::uint32_t>(std::clamp(g, 0, 255)) << 8 | static_cast<std::uint32_t>(std::clamp(b, 0, 255));
}

std::uint32_t Grey(int v) { return Rgb(v, v, v); }

// Full-range ITU-R BT.601, in 8.8 fixed point with rounding.
std::uint32_t FromYuv(int y, int u, int v) {
  const int du = u - 128;
  const int dv = v - 128;
  return Rgb(y + ((359 * dv + 128) >> 8), y - ((88 * du + 183 * dv + 128) >> 8), y + ((454 * du + 128) >> 8));
}

void ConvertRow(VideoCoding coding, const BYTE* p, int nWidth, std::uint32_t* pOut) {
  switch (coding) {
    case VideoCoding::Grey8:
      for (int x = 0; x < nWidth; ++x) pOut[x] = Grey(p[x]);
      break;
    case VideoCoding::Rgb24:
      for (int x = 0; x < nWidth; ++x, p += 3) pOut[x] = Rgb(p[2], p[1], p[0]);
      break;
    case VideoCoding::Rgb32:
      for (int x = 0; x < nWidth; ++x, p += 4) pOut[x] = Rgb(p[2], p[1], p[0]);
      break;
    case VideoCoding::Yuv411:
      for (int x = 0; x < nWidth; x += 4, p += 6) {
        const BYTE ys[4] = {p[1], p[2], p[4], p[5]};
        for (int i = 0; i < 4 && x + i < nWidth; ++i) pOut[x + i] = FromYuv(ys[i], p[0], p[3]);
      }
      break;
    case VideoCoding::Yuv422:
      for (int x = 0; x < nWidth; x += 2, p += 4) {
        pOut[x] = FromYuv(p[1], p[0], p[2]);
        if (x + 1 < nWidth) pOut[x + 1] = FromYuv(p[3], p[0], p[2]);
      }
      break;
    case VideoCoding::Yuv444:
      for (int x = 0; x < nWidth; ++x, p += 3) pOut[x] = FromYuv(p[1], p[0], p[2]);
      break;
    case VideoCoding::Rgb8x3:
      for (int x = 0; x < nWidth; ++x, p += 3) pOut[x] = Rgb(p[0], p[1], p[2]);
      break;
    case VideoCoding::Mono16:
      for (int x = 0; x < nWidth; ++x, p += 2) pOut[x] = Grey(p[0]);
      break;
    case VideoCoding::Rgb16x3:
      for (int x = 0; x < nWidth; ++x, p += 6) pOut[x] = Rgb(p[0], p[2], p[4]);
      break;
  }
}

}  // namespace

std::optional<CVideoLayout> DescribeVideo(const AM_MEDIA_TYPE& mt) {
  if (mt.majortype != MEDIATYPE_Video || mt.formattype != FORMAT_VideoInfo || mt.pbFormat == nullptr ||
      mt.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return std::nullopt;
  }
  const std::optional<VideoCoding> coding = CodingOf(mt.subtype);
  if (!coding) {
    return std::nullopt;
  }
  const BITMAPINFOHEADER& bmi = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
  const LONG nHeight = bmi.biHeight;
  if (bmi.biWidth <= 0 || bmi.biWidth > MAX_SIDE || nHeight == 0 || nHeight < -MAX_SIDE || nHeight > MAX_SIDE) {
    return std::nullopt;
  }
  CVideoLayout layout;
  layout.coding = *coding;
  layout.nWidth = static_cast<int>(bmi.biWidth);
  layout.nHeight = static_cast<int>(std::labs(nHeight));
  layout.bBottomUp = IsDib(*coding) && nHeight > 0;
  layout.cbStride = RowBytes(*coding, static_cast<size_t>(layout.nWidth));
  return layout;
}

bool ConvertToRgb(const CVideoLayout& layout, const BYTE* pSample, size_t cbSample, std::uint32_t* pPixels) {
  if (pSample == nullptr || pPixels == nullptr || cbSample < layout.FrameBytes()) {
    return false;
  }
  for (int y = 0; y < layout.nHeight; ++y) {
    const int nStored = layout.bBottomUp ? layout.nHeight - 1 - y : y;
    ConvertRow(layout.coding, pSample + static_cast<size_t>(nStored) * layout.cbStride, layout.nWidth,
               pPixels + static_cast<size_t>(y) * static_cast<size_t>(layout.nWidth));
  }
  return true;
}

}  // namespace emul
