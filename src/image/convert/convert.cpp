// Frame conversion: argument checks, the bottom-up row walk and the split of
// each row between a SIMD kernel and the reference kernel.
#include "image/convert/convert.h"

#include <cstring>

#include "image/convert/convert_rows.h"

uint64_t RawRowBytes(RawCoding coding, uint64_t nPixels)
{
    switch (coding) {
    case RawCoding::Mono8: return nPixels;
    case RawCoding::Mono16: return 2 * nPixels;
    case RawCoding::Yuv411: return 6 * ((nPixels + 3) / 4);
    case RawCoding::Yuv422: return 4 * ((nPixels + 1) / 2);
    case RawCoding::Yuv444: return 3 * nPixels;
    }
    return 0;
}

size_t Bgr24Stride(int nWidth)
{
    return nWidth < 0 ? 0 : (3 * static_cast<size_t>(nWidth) + 3) & ~size_t{3};
}

size_t Bgr24ImageSize(int nWidth, int nHeight)
{
    return nHeight < 0 ? 0 : Bgr24Stride(nWidth) * static_cast<size_t>(nHeight);
}

void ConvertRow(const CONVERT_ROWS& rows, RawCoding coding, const uint8_t* pSrc, uint8_t* pDst,
                int nPixels, bool bFloatYuv)
{
    const int i = static_cast<int>(coding);
    // Blocks are whole chroma units, so the tail starts on a unit. A set
    // without a kernel for the coding leaves the whole row to its tail set.
    const int nWhole = rows.pfnRow[i] ? nPixels - nPixels % rows.nBlock[i] : 0;
    if (nWhole > 0)
        rows.pfnRow[i](pSrc, pDst, nWhole, bFloatYuv);
    if (nWhole < nPixels) {
        const CONVERT_ROWS* pTail = rows.pfnTailRows ? rows.pfnTailRows() : nullptr;
        ConvertRow(pTail ? *pTail : ReferenceRows(), coding,
                   pSrc + RawRowBytes(coding, static_cast<uint64_t>(nWhole)),
                   pDst + 3 * static_cast<size_t>(nWhole), nPixels - nWhole, bFloatYuv);
    }
}

bool ConvertFrameToBgr24(const CONVERT_ROWS& rows, RawCoding coding, const uint8_t* pSrc,
                         size_t cbSrc, uint8_t* pDst, size_t cbDst, int nWidth, int nHeight,
                         bool bFloatYuv)
{
    if (pSrc == nullptr || pDst == nullptr || nWidth < 0 || nHeight < 0)
        return false;
    if (nWidth == 0 || nHeight == 0)
        return true;
    // 64-bit sizes: on a 32-bit build a large width times height overflows size_t.
    const uint64_t cbSrcRow = RawRowBytes(coding, static_cast<uint64_t>(nWidth));
    const uint64_t cbDstRow = (3 * static_cast<uint64_t>(nWidth) + 3) & ~uint64_t{3};
    const uint64_t nRows = static_cast<uint64_t>(nHeight);
    if (cbSrcRow * nRows > cbSrc || cbDstRow * nRows > cbDst)
        return false;

    const size_t cbPixels = 3 * static_cast<size_t>(nWidth);
    const size_t cbPadding = static_cast<size_t>(cbDstRow) - cbPixels;
    // Source row r (from the top) becomes output row nHeight - 1 - r.
    uint8_t* pRow = pDst + static_cast<size_t>(cbDstRow) * (static_cast<size_t>(nHeight) - 1);
    for (int r = 0; r < nHeight; ++r) {
        ConvertRow(rows, coding, pSrc, pRow, nWidth, bFloatYuv);
        if (cbPadding != 0)
            std::memset(pRow + cbPixels, 0, cbPadding);
        pSrc += cbSrcRow;
        pRow -= cbDstRow;
    }
    return true;
}

bool Mono8ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst, int nWidth,
                  int nHeight)
{
    return ConvertFrameToBgr24(ActiveConvertRows(), RawCoding::Mono8, pSrc, cbSrc, pDst, cbDst,
                               nWidth, nHeight, false);
}

bool Mono16ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst, int nWidth,
                   int nHeight)
{
    return ConvertFrameToBgr24(ActiveConvertRows(), RawCoding::Mono16, pSrc, cbSrc, pDst, cbDst,
                               nWidth, nHeight, false);
}

bool Yuv411ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst, int nWidth,
                   int nHeight, bool bFloatYuv)
{
    return ConvertFrameToBgr24(ActiveConvertRows(), RawCoding::Yuv411, pSrc, cbSrc, pDst, cbDst,
                               nWidth, nHeight, bFloatYuv);
}

bool Yuv422ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst, int nWidth,
                   int nHeight, bool bFloatYuv)
{
    return ConvertFrameToBgr24(ActiveConvertRows(), RawCoding::Yuv422, pSrc, cbSrc, pDst, cbDst,
                               nWidth, nHeight, bFloatYuv);
}

bool Yuv444ToBgr24(const uint8_t* pSrc, size_t cbSrc, uint8_t* pDst, size_t cbDst, int nWidth,
                   int nHeight, bool bFloatYuv)
{
    return ConvertFrameToBgr24(ActiveConvertRows(), RawCoding::Yuv444, pSrc, cbSrc, pDst, cbDst,
                               nWidth, nHeight, bFloatYuv);
}
