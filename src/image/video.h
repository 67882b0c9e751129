// CVideo: the converter object of a colour-image request. It holds the one
// setting the YUV conversions depend on, the formula, and hands each frame to
// the colour converters. Nothing else of the framework class is used: it is a
// CCmdTarget only so that it can be created from its run-time class.
#pragma once

#include <cstddef>

#include "base/afx.h"
#include "winapi.h"

class CVideo : public CCmdTarget
{
    DECLARE_DYNCREATE(CVideo)

public:
    CVideo() = default;
    ~CVideo() override = default;

    // The conversions write the image bottom-up, 3 bytes per pixel (blue,
    // green, red), each row padded to a multiple of 4 bytes. They read at
    // most cbSrc bytes and write at most cbDst; a frame that needs more of
    // either is not converted at all (FALSE, nothing written). Widths that
    // are not a multiple of a converter's group are converted whole.
    BOOL Yuv444ToBgr24(const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth, int nHeight) const;
    BOOL Yuv422ToBgr24(const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth, int nHeight) const;
    BOOL Yuv411ToBgr24(const BYTE* pSrc, size_t cbSrc, BYTE* pDst, size_t cbDst, int nWidth, int nHeight) const;

    // 1: the double-precision YUV formula; 0: the integer approximation. The
    // floating-point formula until the caller chooses.
    LONG m_bFloatYuv = 1;
};
