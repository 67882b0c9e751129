// The reference rows: the conversion formulas taken literally, one pixel at a
// time. Every SIMD kernel must produce exactly these bytes.
#include "image/convert/convert_rows.h"

#include <cfloat>

namespace {

// Rounds to double precision. Where the compiler keeps doubles in extended
// precision (x87, FLT_EVAL_METHOD 2), an unrounded difference can truncate to
// another integer than the double result: for U = 16, V = 164 the green term
// is 13.000000000000 in double but 12.99999... in extended precision. A store
// to a double in memory rounds; elsewhere this is a no-op.
inline double AsDouble(double d)
{
    if constexpr (FLT_EVAL_METHOD != 0) {
        volatile double dStored = d;
        return dStored;
    }
    return d;
}

struct TERMS
{
    int nBlue;
    int nGreen;
    int nRed;
};

TERMS YuvTerms(int u, int v, bool bFloatYuv)
{
    const int du = u - 128;
    const int dv = v - 128;
    if (bFloatYuv) {
        return {static_cast<int>(AsDouble(1.771 * du)),
                static_cast<int>(AsDouble(AsDouble(-0.7144 * dv) - AsDouble(0.3457 * du))),
                static_cast<int>(AsDouble(1.4022 * dv))};
    }
    return {du, -((dv >> 1) + ((41 * du) >> 8)), dv};
}

uint8_t Clamp(int x)
{
    return static_cast<uint8_t>(x < 0 ? 0 : (x > 255 ? 255 : x));
}

void PutPixel(uint8_t* pDst, int y, const TERMS& terms)
{
    pDst[0] = Clamp(y + terms.nBlue);
    pDst[1] = Clamp(y + terms.nGreen);
    pDst[2] = Clamp(y + terms.nRed);
}

void Mono8Row(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool)
{
    for (int i = 0; i < nPixels; ++i, pDst += 3)
        pDst[0] = pDst[1] = pDst[2] = pSrc[i];
}

void Mono16Row(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool)
{
    for (int i = 0; i < nPixels; ++i, pDst += 3)
        pDst[0] = pDst[1] = pDst[2] = pSrc[2 * i];
}

// Units of 4 pixels in 6 bytes: U, Y0, Y1, V, Y2, Y3.
void Yuv411Row(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool bFloatYuv)
{
    for (int i = 0; i < nPixels; i += 4, pSrc += 6) {
        const TERMS terms = YuvTerms(pSrc[0], pSrc[3], bFloatYuv);
        const uint8_t y[4] = {pSrc[1], pSrc[2], pSrc[4], pSrc[5]};
        for (int k = 0; k < 4 && i + k < nPixels; ++k, pDst += 3)
            PutPixel(pDst, y[k], terms);
    }
}

// Units of 2 pixels in 4 bytes: U, Y0, V, Y1.
void Yuv422Row(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool bFloatYuv)
{
    for (int i = 0; i < nPixels; i += 2, pSrc += 4) {
        const TERMS terms = YuvTerms(pSrc[0], pSrc[2], bFloatYuv);
        PutPixel(pDst, pSrc[1], terms);
        pDst += 3;
        if (i + 1 < nPixels) {
            PutPixel(pDst, pSrc[3], terms);
            pDst += 3;
        }
    }
}

// U, Y, V per pixel.
void Yuv444Row(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool bFloatYuv)
{
    for (int i = 0; i < nPixels; ++i, pSrc += 3, pDst += 3)
        PutPixel(pDst, pSrc[1], YuvTerms(pSrc[0], pSrc[2], bFloatYuv));
}

constexpr CONVERT_ROWS REFERENCE_ROWS = {
    "reference",
    {Mono8Row, Mono16Row, Yuv411Row, Yuv422Row, Yuv444Row},
    {1, 1, 1, 1, 1},
    nullptr,
};

}  // namespace

const CONVERT_ROWS& ReferenceRows()
{
    return REFERENCE_ROWS;
}
