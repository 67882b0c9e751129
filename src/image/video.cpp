#include "image/video.h"

#include "image/convert/convert.h"

IMPLEMENT_DYNCREATE(CVideo, CCmdTarget)

BOOL CVideo::Yuv444ToBgr24(const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth, int nHeight) const
{
    return ::Yuv444ToBgr24(pSrc, cbSrc, pDst, cbDst, nWidth, nHeight, m_bFloatYuv != 0);
}

BOOL CVideo::Yuv422ToBgr24(const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth, int nHeight) const
{
    return ::Yuv422ToBgr24(pSrc, cbSrc, pDst, cbDst, nWidth, nHeight, m_bFloatYuv != 0);
}

BOOL CVideo::Yuv411ToBgr24(const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth, int nHeight) const
{
    return ::Yuv411ToBgr24(pSrc, cbSrc, pDst, cbDst, nWidth, nHeight, m_bFloatYuv != 0);
}
