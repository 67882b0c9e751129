#include "image/bitmap.h"

#include "base/afx.h"
#include "core/camera.h"
#include "core/library.h"
#include "format/area.h"
#include "format/catalogue.h"
#include "image/convert/convert.h"
#include "image/convert/yuv_model.h"
#include "image/frame_access.h"
#include "image/video.h"

namespace {

// Identity string id of the camera's model name.
constexpr uint32_t MODEL_NAME_STRING = 0x82;
// Only this much of the model name is read; the longest listed name fits.
constexpr int32_t MODEL_NAME_BYTES = 16;

struct PICTURE {
    int32_t nColour = 0;
    int32_t nWidth = 0;
    int32_t nHeight = 0;
};

// The colour coding and size of the frames the camera now delivers: for
// Format 7 the size of the image area in force, else that of the mode. False
// when a query fails; it has recorded its code.
bool ReadPicture(CCamera& camera, PICTURE* pPicture)
{
    const uint32_t id = GetCurrentFormat(camera);
    if (id == 0)
        return false;
    iidc_formatinfo info{};
    if (!GetFormatInfo(camera, &info, sizeof info, id))
        return false;
    pPicture->nColour = info.color;
    pPicture->nWidth = info.width;
    pPicture->nHeight = info.height;
    if ((id & 0x700) == 0x700) {
        iidc_area area{};
        if (!GetCurrentArea(camera, &area))
            return false;
        pPicture->nWidth = area.width;
        pPicture->nHeight = area.height;
    }
    return true;
}

// Whether the camera's YUV frames take the integer approximation. A name that
// cannot be read (the read failed, possibly part-way, or the name is longer
// than the buffer) gets the floating-point formula, whatever the buffer holds.
bool TakesIntegerYuv(const CCamera& camera)
{
    char szModel[MODEL_NAME_BYTES] = {};
    if (iidc_getstring(camera.m_nIndex, MODEL_NAME_STRING, szModel, sizeof szModel) <= 0)
        return false;
    return IsIntegerYuvModel(szModel, sizeof szModel);
}

using PFN_CONVERT = BOOL (*)(const CVideo& video, const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst,
                             int nWidth, int nHeight);

// The conversion of a colour coding; null for RGB, which needs none, and for
// codings the library does not know.
PFN_CONVERT ConverterFor(int32_t nColour)
{
    switch (nColour) {
    case IIDC_COLOR_MONO8:
        return [](const CVideo&, const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth,
                  int nHeight) -> BOOL { return Mono8ToBgr24(pSrc, cbSrc, pDst, cbDst, nWidth, nHeight); };
    case IIDC_COLOR_YUV411:
        return [](const CVideo& video, const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth,
                  int nHeight) { return video.Yuv411ToBgr24(pSrc, cbSrc, pDst, cbDst, nWidth, nHeight); };
    case IIDC_COLOR_YUV422:
        return [](const CVideo& video, const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth,
                  int nHeight) { return video.Yuv422ToBgr24(pSrc, cbSrc, pDst, cbDst, nWidth, nHeight); };
    case IIDC_COLOR_YUV444:
        return [](const CVideo& video, const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth,
                  int nHeight) { return video.Yuv444ToBgr24(pSrc, cbSrc, pDst, cbDst, nWidth, nHeight); };
    case IIDC_COLOR_MONO16:
        // Each 16-bit sample, most significant byte first, shows as its most
        // significant byte.
        return [](const CVideo&, const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth,
                  int nHeight) -> BOOL { return Mono16ToBgr24(pSrc, cbSrc, pDst, cbDst, nWidth, nHeight); };
    default:
        return nullptr;
    }
}

} // namespace

BYTE* LockBits(CCamera& camera, LONG index)
{
    const BYTE* pFrame = LockData(camera, index);
    if (!pFrame)
        return nullptr;
    if (!camera.m_pRgbBuffer) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NO_FRAMES);
        return nullptr;
    }
    PICTURE picture;
    if (!ReadPicture(camera, &picture))
        return nullptr;
    const PFN_CONVERT pfnConvert = ConverterFor(picture.nColour);
    if (!pfnConvert)
        return nullptr;
    const int nWidth = picture.nWidth;
    const int nHeight = picture.nHeight;
    // The conversion buffer was sized, with its row padding, for the format
    // connected when the ring was put in place. An image of the size now in
    // force that needs more is refused whole rather than cut: no row of it is
    // written, so a caller never takes part of a picture for all of it. The
    // check also keeps the platform bitmap, whose rows are padded to 16 bits
    // only, from reading past the buffer.
    const size_t cbImage = Bgr24ImageSize(nWidth, nHeight);
    if (nWidth < 0 || nHeight < 0 || cbImage > camera.m_cbRgbBuffer) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NOT_SUPPORTED);
        return nullptr;
    }

    CBitmap bitmap;   // deleted on every way out
    if (!bitmap.Attach(CreateBitmap(nWidth, nHeight, 1, 24, camera.m_pRgbBuffer)))
        return nullptr;
    CVideo video;
    video.m_bFloatYuv = TakesIntegerYuv(camera) ? 0 : 1;
    // The converters refuse, writing nothing, a frame that needs more bytes
    // than a ring buffer holds: a format or area that grew after the ring was
    // put in place, or rows the ring's frames do not lay out as the
    // conversion reads them (a YUV 4:2:2 row of an odd width, for one).
    const auto cbFrame = static_cast<size_t>(camera.m_cbFrame > 0 ? camera.m_cbFrame : 0);
    if (!pfnConvert(video, pFrame, cbFrame, camera.m_pRgbBuffer, cbImage, nWidth, nHeight)) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NOT_SUPPORTED);
        return nullptr;
    }
    bitmap.SetBitmapBits(static_cast<DWORD>(3 * static_cast<size_t>(nWidth) * static_cast<size_t>(nHeight)),
                         camera.m_pRgbBuffer);
    return camera.m_pRgbBuffer;
}
