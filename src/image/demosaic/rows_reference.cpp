// The reference row kernels: every method's formula, one pixel at a time.
//
// Each output pixel has its own sample and two others. Names below: c is the
// pixel's row, u and d the rows one above and below, uu and dd two above and
// below; own is the row's red or blue, other the one on the rows above and
// below.
#include <limits>

#include "image/demosaic/demosaic_rows.h"

namespace {

struct PIXEL
{
    int nOwn;
    int nGreen;
    int nOther;
};

// A weighted sum in sixteenths, rounded half up and clamped to the range of T.
template <typename T>
int Sixteenths(int nSum)
{
    const int n = (nSum + 8) >> 4;
    return n < 0 ? 0 : n > std::numeric_limits<T>::max() ? std::numeric_limits<T>::max() : n;
}

template <typename T, DemosaicMethod METHOD>
PIXEL GreenPixel(const T* u2, const T* u1, const T* c, const T* d1, const T* d2, int x)
{
    const int g = c[x];
    if constexpr (METHOD == DemosaicMethod::Nearest) {
        return {c[x + 1], g, d1[x]};
    } else if constexpr (METHOD == DemosaicMethod::Bilinear) {
        return {(c[x - 1] + c[x + 1] + 1) >> 1, g, (u1[x] + d1[x] + 1) >> 1};
    } else {
        const int nDiagonal = u1[x - 1] + u1[x + 1] + d1[x - 1] + d1[x + 1];
        const int nAcross = c[x - 2] + c[x + 2];
        const int nAlong = u2[x] + d2[x];
        const int nBase = 10 * g - 2 * nDiagonal;
        return {Sixteenths<T>(nBase + 8 * (c[x - 1] + c[x + 1]) - 2 * nAcross + nAlong), g,
                Sixteenths<T>(nBase + 8 * (u1[x] + d1[x]) - 2 * nAlong + nAcross)};
    }
}

template <typename T, DemosaicMethod METHOD>
PIXEL OwnPixel(const T* u2, const T* u1, const T* c, const T* d1, const T* d2, int x)
{
    const int own = c[x];
    if constexpr (METHOD == DemosaicMethod::Nearest) {
        return {own, c[x + 1], d1[x + 1]};
    } else {
        const int nCross = c[x - 1] + c[x + 1] + u1[x] + d1[x];
        const int nDiagonal = u1[x - 1] + u1[x + 1] + d1[x - 1] + d1[x + 1];
        if constexpr (METHOD == DemosaicMethod::Bilinear)
            return {own, (nCross + 2) >> 2, (nDiagonal + 2) >> 2};
        const int nRing = c[x - 2] + c[x + 2] + u2[x] + d2[x];
        return {own, Sixteenths<T>(8 * own + 4 * nCross - 2 * nRing),
                Sixteenths<T>(12 * own + 4 * nDiagonal - 3 * nRing)};
    }
}

template <typename T, DemosaicMethod METHOD>
void ReferenceRow(const T* const* ppRows, T* pDst, int nPixels, bool bGreenFirst, bool bOwnLast)
{
    const T *u2 = ppRows[0], *u1 = ppRows[1], *c = ppRows[2], *d1 = ppRows[3], *d2 = ppRows[4];
    const int iOwn = bOwnLast ? 2 : 0;
    for (int x = 0; x < nPixels; ++x, pDst += 3) {
        const PIXEL pixel = ((x & 1) == 0) == bGreenFirst
                                ? GreenPixel<T, METHOD>(u2, u1, c, d1, d2, x)
                                : OwnPixel<T, METHOD>(u2, u1, c, d1, d2, x);
        pDst[iOwn] = static_cast<T>(pixel.nOwn);
        pDst[1] = static_cast<T>(pixel.nGreen);
        pDst[2 - iOwn] = static_cast<T>(pixel.nOther);
    }
}

const DEMOSAIC_ROWS g_referenceRows = {
    "reference",
    {ReferenceRow<uint8_t, DemosaicMethod::Nearest>, ReferenceRow<uint8_t, DemosaicMethod::Bilinear>,
     ReferenceRow<uint8_t, DemosaicMethod::HighQuality>},
    {ReferenceRow<uint16_t, DemosaicMethod::Nearest>,
     ReferenceRow<uint16_t, DemosaicMethod::Bilinear>,
     ReferenceRow<uint16_t, DemosaicMethod::HighQuality>},
    1,
    1,
};

}  // namespace

const DEMOSAIC_ROWS& ReferenceDemosaicRows()
{
    return g_referenceRows;
}
