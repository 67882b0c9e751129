#include "drivers/face/media_format.h"

#include <cstring>

#include "vcam/model/formats.h"

namespace vcam {
namespace {

constexpr std::uint32_t FOURCC_RG16 = 0x36314752;  // "RG16"

constexpr GUID FourccSubtype(std::uint32_t dwFourcc) {
  return GUID{dwFourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}

// The bitmap compression of a subtype: FOURCC subtypes carry their code,
// MEDIASUBTYPE_RGB8 and the zero template are plain bitmaps.
DWORD CompressionFromColor(std::uint32_t nColor) {
  if (nColor == COLOR_MONO8 || nColor == COLOR_MONO16) {
    return BI_RGB;
  }
  return SubtypeFromColor(nColor).Data1;
}

}  // namespace

std::uint64_t VideoShape::FrameBytes() const { return vcam::FrameBytes(nColor, nWidth, nHeight); }

GUID SubtypeFromColor(std::uint32_t nColor) {
  if (nColor == COLOR_MONO8) {
    return MEDIASUBTYPE_RGB8;
  }
  const std::optional<std::uint32_t> dwFirst = SubtypeFirstField(nColor);
  return FourccSubtype(dwFirst ? *dwFirst : FOURCC_RG16);
}

std::optional<std::uint32_t> ColorFromSubtype(REFGUID subtype) {
  for (std::uint32_t nColor = 0; nColor < COLOR_CODING_COUNT; ++nColor) {
    if (IsEqualGUID(SubtypeFromColor(nColor), subtype)) {
      return nColor;
    }
  }
  return std::nullopt;
}

HRESULT FillVideoMediaType(AM_MEDIA_TYPE* pmt, const VideoShape& shape) {
  if (pmt == nullptr) {
    return E_POINTER;
  }
  std::memset(pmt, 0, sizeof(*pmt));
  if (shape.nColor >= COLOR_CODING_COUNT) {  // the model sends raw codings as Mono8/Mono16
    return E_INVALIDARG;
  }
  auto* pvih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (pvih == nullptr) {
    return E_OUTOFMEMORY;
  }
  std::memset(pvih, 0, sizeof(*pvih));
  const std::uint64_t cbFrame = shape.FrameBytes();
  const auto nWidth = static_cast<LONG>(shape.nWidth);
  const auto nHeight = static_cast<LONG>(shape.nHeight);
  pvih->rcSource = RECT{0, 0, nWidth, nHeight};
  pvih->rcTarget = pvih->rcSource;
  pvih->AvgTimePerFrame = shape.llInterval;
  if (shape.llInterval > 0) {
    pvih->dwBitRate = static_cast<DWORD>(cbFrame * 8 * 10000000 / static_cast<std::uint64_t>(shape.llInterval));
  }
  BITMAPINFOHEADER& bmi = pvih->bmiHeader;
  bmi.biSize = sizeof(BITMAPINFOHEADER);
  bmi.biWidth = nWidth;
  bmi.biHeight = nHeight;
  bmi.biPlanes = 1;
  bmi.biBitCount = static_cast<WORD>(BitsPerPixel(shape.nColor));
  bmi.biCompression = CompressionFromColor(shape.nColor);
  bmi.biSizeImage = static_cast<DWORD>(cbFrame);

  pmt->majortype = MEDIATYPE_Video;
  pmt->subtype = SubtypeFromColor(shape.nColor);
  pmt->bFixedSizeSamples = TRUE;
  pmt->bTemporalCompression = FALSE;
  pmt->lSampleSize = static_cast<ULONG>(cbFrame);
  pmt->formattype = FORMAT_VideoInfo;
  pmt->cbFormat = sizeof(VIDEOINFOHEADER);
  pmt->pbFormat = reinterpret_cast<BYTE*>(pvih);
  return S_OK;
}

HRESULT ParseVideoMediaType(const AM_MEDIA_TYPE* pmt, VideoShape* pShape) {
  if (pmt == nullptr || pShape == nullptr) {
    return E_POINTER;
  }
  if (!IsEqualGUID(pmt->majortype, MEDIATYPE_Video) || !IsEqualGUID(pmt->formattype, FORMAT_VideoInfo) ||
      pmt->pbFormat == nullptr || pmt->cbFormat < sizeof(VIDEOINFOHEADER)) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  const std::optional<std::uint32_t> nColor = ColorFromSubtype(pmt->subtype);
  if (!nColor) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  VIDEOINFOHEADER vih;
  std::memcpy(&vih, pmt->pbFormat, sizeof(vih));  // the block need not be aligned
  const LONG nHeight = vih.bmiHeader.biHeight;
  if (vih.bmiHeader.biWidth <= 0 || nHeight == 0 || nHeight == INT32_MIN) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  pShape->nColor = *nColor;
  pShape->nWidth = static_cast<std::uint32_t>(vih.bmiHeader.biWidth);
  pShape->nHeight = static_cast<std::uint32_t>(nHeight < 0 ? -nHeight : nHeight);
  pShape->llInterval = vih.AvgTimePerFrame;
  return S_OK;
}

}  // namespace vcam
