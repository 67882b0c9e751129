// A camera's video formats as DirectShow sees them: the media subtype of
// each IIDC colour coding and the VIDEOINFOHEADER media types the capture pin
// offers, accepts and reports.
#pragma once

#include <cstdint>
#include <optional>

#include "winapi.h"

namespace vcam {

// One picture format with its frame interval, the filter's own summary of a
// media type.
struct VideoShape {
  std::uint32_t nColor = 0;
  std::uint32_t nWidth = 0;
  std::uint32_t nHeight = 0;
  REFERENCE_TIME llInterval = 0;  // 100-ns units; 0 when the type names none

  std::uint64_t FrameBytes() const;
  bool SamePicture(const VideoShape& other) const {
    return nColor == other.nColor && nWidth == other.nWidth && nHeight == other.nHeight;
  }
};

// Mono8 is MEDIASUBTYPE_RGB8, codes 1-4 the FOURCC subtypes "IYU1", "UYVY",
// "IYU2" and "RGB8", Mono16 the FOURCC template with a first field of 0.
// RGB16 has no DirectShow subtype; the filter labels it FOURCC "RG16" so that
// a Format 7 mode in RGB16 can still be reported and streamed.
GUID SubtypeFromColor(std::uint32_t nColor);
std::optional<std::uint32_t> ColorFromSubtype(REFGUID subtype);

// Fills *pmt (whose old contents are not freed) with a video type of that
// shape: FORMAT_VideoInfo, fixed-size samples of the frame size, a
// VIDEOINFOHEADER block from CoTaskMemAlloc. E_INVALIDARG for an unknown
// colour coding, E_OUTOFMEMORY.
HRESULT FillVideoMediaType(AM_MEDIA_TYPE* pmt, const VideoShape& shape);

// Reads a video type back: VFW_E_INVALIDMEDIATYPE unless it is a video type
// with a VIDEOINFOHEADER and a subtype of a known colour coding. The picture
// size comes from the bitmap header (a negative height counts as its
// magnitude).
HRESULT ParseVideoMediaType(const AM_MEDIA_TYPE* pmt, VideoShape* pShape);

}  // namespace vcam
