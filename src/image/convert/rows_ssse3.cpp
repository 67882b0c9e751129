// SSSE3 row kernels. Built with -mssse3; run only when the processor has
// SSSE3. Everything here has internal linkage, so no function compiled with
// these flags can stand in for another file's copy.
#include "image/convert/convert_rows.h"

#if defined(__SSSE3__)

#include <tmmintrin.h>

#include "image/convert/simd_terms.h"

namespace {

constexpr char Z = -128;   // a shuffle index that yields 0

inline __m128i Load(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store(uint8_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// 16 grey bytes to 48 bytes of blue, green, red.
inline void GreyToBgr16(__m128i grey, uint8_t* pDst)
{
    Store(pDst, _mm_shuffle_epi8(grey, _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5)));
    Store(pDst + 16,
          _mm_shuffle_epi8(grey, _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10)));
    Store(pDst + 32, _mm_shuffle_epi8(
                         grey, _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15)));
}

void Mono8Row(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool)
{
    for (int i = 0; i < nPixels; i += 16, pSrc += 16, pDst += 48)
        GreyToBgr16(Load(pSrc), pDst);
}

void Mono16Row(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool)
{
    // The most significant byte comes first: the low byte of each 16-bit lane.
    const __m128i low = _mm_set1_epi16(0x00FF);
    for (int i = 0; i < nPixels; i += 16, pSrc += 32, pDst += 48) {
        GreyToBgr16(_mm_packus_epi16(_mm_and_si128(Load(pSrc), low), _mm_and_si128(Load(pSrc + 16), low)),
                    pDst);
    }
}

// Colour terms of up to four chroma pairs given as 16-bit lanes U, V, U, V...
// (0-255): blue in each U lane and red in each V lane of br, green in the
// low half of each pair's 32-bit lane of g.
template <bool FLOAT>
inline void YuvTerms(__m128i uv, __m128i& br, __m128i& g)
{
    const __m128i d = _mm_sub_epi16(uv, _mm_set1_epi16(128));
    if constexpr (FLOAT) {
        const __m128i magnitude =
            _mm_mulhi_epu16(_mm_slli_epi16(_mm_abs_epi16(d), TERM_MAGNITUDE_SHIFT),
                            _mm_set1_epi32(PairOf(BLUE_MULTIPLIER, RED_MULTIPLIER)));
        br = _mm_sign_epi16(magnitude, d);
        const __m128i sum = _mm_madd_epi16(d, _mm_set1_epi32(PairOf(GREEN_U_WEIGHT, GREEN_V_WEIGHT)));
        g = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(GREEN_SCALE)));
    } else {
        br = d;
        const __m128i halves = _mm_srai_epi16(
            _mm_mullo_epi16(d, _mm_set1_epi32(PairOf(INT_GREEN_U_MULTIPLIER, INT_GREEN_V_MULTIPLIER))), 8);
        g = _mm_madd_epi16(halves, _mm_set1_epi16(-1));
    }
}

// Blue and green of 8 pixels as bytes 0-7 and 8-15, from 16-bit luma and
// per-pixel terms, each clamped to 0-255 by the unsigned saturation of the
// pack.
inline __m128i PackBlueGreen(__m128i y, __m128i blue, __m128i green)
{
    return _mm_packus_epi16(_mm_add_epi16(y, blue), _mm_add_epi16(y, green));
}

// Red of two sets of 8 pixels as bytes 0-7 and 8-15.
inline __m128i PackRed(__m128i y0, __m128i red0, __m128i y1, __m128i red1)
{
    return _mm_packus_epi16(_mm_add_epi16(y0, red0), _mm_add_epi16(y1, red1));
}

// 8 pixels of blue and green from bg and red from byte R of rr as 24 bytes
// of blue, green, red.
template <char R>
inline void StoreBgr8(uint8_t* pDst, __m128i bg, __m128i rr)
{
    Store(pDst, _mm_or_si128(
                    _mm_shuffle_epi8(bg, _mm_setr_epi8(0, 8, Z, 1, 9, Z, 2, 10, Z, 3, 11, Z, 4, 12, Z, 5)),
                    _mm_shuffle_epi8(rr, _mm_setr_epi8(Z, Z, R, Z, Z, R + 1, Z, Z, R + 2, Z, Z, R + 3, Z, Z, R + 4, Z))));
    _mm_storel_epi64(
        reinterpret_cast<__m128i*>(pDst + 16),
        _mm_or_si128(_mm_shuffle_epi8(bg, _mm_setr_epi8(13, Z, 6, 14, Z, 7, 15, Z, Z, Z, Z, Z, Z, Z, Z, Z)),
                     _mm_shuffle_epi8(rr, _mm_setr_epi8(Z, R + 5, Z, Z, R + 6, Z, Z, R + 7, Z, Z, Z, Z, Z, Z, Z, Z))));
}

// Blocks of 8 pixels in 16 bytes: U, Y0, V, Y1 per pair. Two blocks per pass
// while they last, so that they share the red pack.
template <bool FLOAT>
void Yuv422Rows(const uint8_t* pSrc, uint8_t* pDst, int nPixels)
{
    const __m128i low = _mm_set1_epi16(0x00FF);
    const __m128i first = _mm_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13);
    const __m128i second = _mm_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15);
    int i = 0;
    for (; i + 16 <= nPixels; i += 16, pSrc += 32, pDst += 48) {
        const __m128i in0 = Load(pSrc);
        const __m128i in1 = Load(pSrc + 16);
        __m128i br0, g0, br1, g1;
        YuvTerms<FLOAT>(_mm_and_si128(in0, low), br0, g0);
        YuvTerms<FLOAT>(_mm_and_si128(in1, low), br1, g1);
        const __m128i y0 = _mm_srli_epi16(in0, 8);
        const __m128i y1 = _mm_srli_epi16(in1, 8);
        const __m128i rr = PackRed(y0, _mm_shuffle_epi8(br0, second), y1, _mm_shuffle_epi8(br1, second));
        StoreBgr8<0>(pDst, PackBlueGreen(y0, _mm_shuffle_epi8(br0, first), _mm_shuffle_epi8(g0, first)), rr);
        StoreBgr8<8>(pDst + 24, PackBlueGreen(y1, _mm_shuffle_epi8(br1, first), _mm_shuffle_epi8(g1, first)), rr);
    }
    if (i < nPixels) {
        const __m128i in = Load(pSrc);
        __m128i br, g;
        YuvTerms<FLOAT>(_mm_and_si128(in, low), br, g);
        const __m128i y = _mm_srli_epi16(in, 8);
        const __m128i red = _mm_shuffle_epi8(br, second);
        StoreBgr8<0>(pDst, PackBlueGreen(y, _mm_shuffle_epi8(br, first), _mm_shuffle_epi8(g, first)),
                     PackRed(y, red, y, red));
    }
}

// Blocks of 16 pixels in 24 bytes: U, Y0, Y1, V, Y2, Y3 per 4 pixels.
template <bool FLOAT>
void Yuv411Rows(const uint8_t* pSrc, uint8_t* pDst, int nPixels)
{
    const __m128i y0 = _mm_setr_epi8(1, Z, 2, Z, 4, Z, 5, Z, 7, Z, 8, Z, 10, Z, 11, Z);
    const __m128i y1 = _mm_setr_epi8(5, Z, 6, Z, 8, Z, 9, Z, 11, Z, 12, Z, 14, Z, 15, Z);
    const __m128i uv0 = _mm_setr_epi8(0, Z, 3, Z, 6, Z, 9, Z, Z, Z, Z, Z, Z, Z, Z, Z);
    const __m128i uv1 = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, 4, Z, 7, Z, 10, Z, 13, Z);
    const __m128i firstLow = _mm_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5);
    const __m128i secondLow = _mm_setr_epi8(2, 3, 2, 3, 2, 3, 2, 3, 6, 7, 6, 7, 6, 7, 6, 7);
    const __m128i firstHigh = _mm_setr_epi8(8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13, 12, 13);
    const __m128i secondHigh = _mm_setr_epi8(10, 11, 10, 11, 10, 11, 10, 11, 14, 15, 14, 15, 14, 15, 14, 15);
    for (int i = 0; i < nPixels; i += 16, pSrc += 24, pDst += 48) {
        // Bytes 0-15 and 8-23: exactly the block, nothing beyond it.
        const __m128i in0 = Load(pSrc);
        const __m128i in1 = Load(pSrc + 8);
        __m128i br, g;
        YuvTerms<FLOAT>(_mm_or_si128(_mm_shuffle_epi8(in0, uv0), _mm_shuffle_epi8(in1, uv1)), br, g);
        const __m128i luma0 = _mm_shuffle_epi8(in0, y0);
        const __m128i luma1 = _mm_shuffle_epi8(in1, y1);
        const __m128i rr = PackRed(luma0, _mm_shuffle_epi8(br, secondLow), luma1, _mm_shuffle_epi8(br, secondHigh));
        StoreBgr8<0>(pDst, PackBlueGreen(luma0, _mm_shuffle_epi8(br, firstLow), _mm_shuffle_epi8(g, firstLow)), rr);
        StoreBgr8<8>(pDst + 24, PackBlueGreen(luma1, _mm_shuffle_epi8(br, firstHigh), _mm_shuffle_epi8(g, firstHigh)),
                     rr);
    }
}

// Blocks of 8 pixels in 24 bytes: U, Y, V per pixel.
template <bool FLOAT>
void Yuv444Rows(const uint8_t* pSrc, uint8_t* pDst, int nPixels)
{
    const __m128i y0 = _mm_setr_epi8(1, Z, 4, Z, 7, Z, 10, Z, 13, Z, Z, Z, Z, Z, Z, Z);
    const __m128i y1 = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 8, Z, 11, Z, 14, Z);
    const __m128i uv0 = _mm_setr_epi8(0, Z, 2, Z, 3, Z, 5, Z, 6, Z, 8, Z, 9, Z, 11, Z);
    const __m128i uv1 = _mm_setr_epi8(4, Z, 6, Z, 7, Z, 9, Z, 10, Z, 12, Z, 13, Z, 15, Z);
    const __m128i split = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
    for (int i = 0; i < nPixels; i += 8, pSrc += 24, pDst += 24) {
        const __m128i in0 = Load(pSrc);
        const __m128i in1 = Load(pSrc + 8);
        __m128i br0, g0, br1, g1;
        YuvTerms<FLOAT>(_mm_shuffle_epi8(in0, uv0), br0, g0);
        YuvTerms<FLOAT>(_mm_shuffle_epi8(in1, uv1), br1, g1);
        br0 = _mm_shuffle_epi8(br0, split);   // blue of pixels 0-3, red of pixels 0-3
        br1 = _mm_shuffle_epi8(br1, split);
        const __m128i luma = _mm_or_si128(_mm_shuffle_epi8(in0, y0), _mm_shuffle_epi8(in1, y1));
        const __m128i red = _mm_unpackhi_epi64(br0, br1);
        StoreBgr8<0>(pDst, PackBlueGreen(luma, _mm_unpacklo_epi64(br0, br1), _mm_packs_epi32(g0, g1)),
                     PackRed(luma, red, luma, red));
    }
}

constexpr CONVERT_ROWS SSSE3_ROWS = {
    "ssse3",
    {Mono8Row, Mono16Row, YuvRow<Yuv411Rows<true>, Yuv411Rows<false>>,
     YuvRow<Yuv422Rows<true>, Yuv422Rows<false>>, YuvRow<Yuv444Rows<true>, Yuv444Rows<false>>},
    {16, 16, 16, 8, 8},
    nullptr,
};

}  // namespace

const CONVERT_ROWS* Ssse3Rows()
{
    return &SSSE3_ROWS;
}

#else

const CONVERT_ROWS* Ssse3Rows()
{
    return nullptr;
}

#endif
