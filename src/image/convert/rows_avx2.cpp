// AVX2 row kernels. Built with -mavx2; run only when the processor and the
// system support AVX2. Everything here has internal linkage, so no function
// compiled with these flags can stand in for another file's copy.
//
// The byte shuffles of AVX2 stay within each 128-bit half, so every kernel
// puts two blocks of the SSSE3 layout side by side, one per half, and runs
// the same per-half steps on both at once.
#include "image/convert/convert_rows.h"

#if defined(__AVX2__)

#include <immintrin.h>

#include "image/convert/simd_terms.h"

namespace {

constexpr char Z = -128;   // a shuffle index that yields 0

inline __m128i Load128(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline __m256i Load(const uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// 16 bytes at pLow in the lower half, 16 bytes at pHigh in the upper half.
inline __m256i Load2(const uint8_t* pLow, const uint8_t* pHigh)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(pLow)), Load128(pHigh), 1);
}

inline void Store(uint8_t* p, __m256i v)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// The same 16-byte pattern in both halves.
inline __m256i Both(__m128i v)
{
    return _mm256_broadcastsi128_si256(v);
}

// 32 grey bytes, also given as each half repeated, to 96 bytes of blue,
// green, red.
inline void GreyToBgr32(__m256i grey, __m256i low, __m256i high, uint8_t* pDst)
{
    const __m128i m0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i m1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i m2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    Store(pDst, _mm256_shuffle_epi8(low, _mm256_setr_m128i(m0, m1)));
    Store(pDst + 32, _mm256_shuffle_epi8(grey, _mm256_setr_m128i(m2, m0)));
    Store(pDst + 64, _mm256_shuffle_epi8(high, _mm256_setr_m128i(m1, m2)));
}

void Mono8Row(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool)
{
    for (int i = 0; i < nPixels; i += 32, pSrc += 32, pDst += 96)
        GreyToBgr32(Load(pSrc), Both(Load128(pSrc)), Both(Load128(pSrc + 16)), pDst);
}

void Mono16Row(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool)
{
    // The most significant byte comes first: the low byte of each 16-bit lane.
    const __m256i low = _mm256_set1_epi16(0x00FF);
    for (int i = 0; i < nPixels; i += 32, pSrc += 64, pDst += 96) {
        // The pack interleaves the halves: pixels 0-7, 16-23, 8-15, 24-31.
        const __m256i packed = _mm256_packus_epi16(_mm256_and_si256(Load(pSrc), low),
                                                   _mm256_and_si256(Load(pSrc + 32), low));
        const __m256i grey = _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0));
        GreyToBgr32(grey, _mm256_permute2x128_si256(grey, grey, 0x00),
                    _mm256_permute2x128_si256(grey, grey, 0x11), pDst);
    }
}

// Colour terms of chroma pairs given as 16-bit lanes U, V, U, V... (0-255):
// blue in each U lane and red in each V lane of br, green in the low half of
// each pair's 32-bit lane of g.
template <bool FLOAT>
inline void YuvTerms(__m256i uv, __m256i& br, __m256i& g)
{
    const __m256i d = _mm256_sub_epi16(uv, _mm256_set1_epi16(128));
    if constexpr (FLOAT) {
        const __m256i magnitude =
            _mm256_mulhi_epu16(_mm256_slli_epi16(_mm256_abs_epi16(d), TERM_MAGNITUDE_SHIFT),
                               _mm256_set1_epi32(PairOf(BLUE_MULTIPLIER, RED_MULTIPLIER)));
        br = _mm256_sign_epi16(magnitude, d);
        const __m256i sum = _mm256_madd_epi16(d, _mm256_set1_epi32(PairOf(GREEN_U_WEIGHT, GREEN_V_WEIGHT)));
        g = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(sum), _mm256_set1_ps(GREEN_SCALE)));
    } else {
        br = d;
        const __m256i halves = _mm256_srai_epi16(
            _mm256_mullo_epi16(d, _mm256_set1_epi32(PairOf(INT_GREEN_U_MULTIPLIER, INT_GREEN_V_MULTIPLIER))),
            8);
        g = _mm256_madd_epi16(halves, _mm256_set1_epi16(-1));
    }
}

// Per half: blue and green of 8 pixels as bytes 0-7 and 8-15, from 16-bit
// luma and per-pixel terms, each clamped to 0-255 by the unsigned saturation
// of the pack.
inline __m256i PackBlueGreen(__m256i y, __m256i blue, __m256i green)
{
    return _mm256_packus_epi16(_mm256_add_epi16(y, blue), _mm256_add_epi16(y, green));
}

// Per half: red of two sets of 8 pixels as bytes 0-7 and 8-15.
inline __m256i PackRed(__m256i y0, __m256i red0, __m256i y1, __m256i red1)
{
    return _mm256_packus_epi16(_mm256_add_epi16(y0, red0), _mm256_add_epi16(y1, red1));
}

// Per half: 8 pixels of blue and green from bg and red from byte R of rr as
// 24 bytes of blue, green, red, the lower half's at pLow, the upper's at pHigh.
template <char R>
inline void StoreBgr8x2(uint8_t* pLow, uint8_t* pHigh, __m256i bg, __m256i rr)
{
    const __m256i first = _mm256_or_si256(
        _mm256_shuffle_epi8(bg, Both(_mm_setr_epi8(0, 8, Z, 1, 9, Z, 2, 10, Z, 3, 11, Z, 4, 12, Z, 5))),
        _mm256_shuffle_epi8(rr, Both(_mm_setr_epi8(Z, Z, R, Z, Z, R + 1, Z, Z, R + 2, Z, Z, R + 3, Z, Z, R + 4, Z))));
    const __m256i last = _mm256_or_si256(
        _mm256_shuffle_epi8(bg, Both(_mm_setr_epi8(13, Z, 6, 14, Z, 7, 15, Z, Z, Z, Z, Z, Z, Z, Z, Z))),
        _mm256_shuffle_epi8(rr, Both(_mm_setr_epi8(Z, R + 5, Z, Z, R + 6, Z, Z, R + 7, Z, Z, Z, Z, Z, Z, Z, Z))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pLow), _mm256_castsi256_si128(first));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pLow + 16), _mm256_castsi256_si128(last));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pHigh), _mm256_extracti128_si256(first, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pHigh + 16), _mm256_extracti128_si256(last, 1));
}

// A byte shuffle that puts nCount of the 24 output bytes of 8 pixels, from
// output byte nFirst on, at positions nAt on of a half: blue and green from
// bg (bytes 0-7 and 8-15) or, with bRed, red from byte nRed of rr. Every
// other position gets 0, so shuffles of different sources combine by OR.
struct SHUFFLE
{
    char index[16];
};

consteval SHUFFLE OutputShuffle(bool bRed, int nFirst, int nCount, int nAt, int nRed)
{
    SHUFFLE shuffle{};
    for (char& c : shuffle.index)
        c = Z;
    for (int i = 0; i < nCount; ++i) {
        const int nPixel = (nFirst + i) / 3;
        const int nChannel = (nFirst + i) % 3;   // 0 blue, 1 green, 2 red
        if (bRed && nChannel == 2)
            shuffle.index[nAt + i] = static_cast<char>(nRed + nPixel);
        else if (!bRed && nChannel != 2)
            shuffle.index[nAt + i] = static_cast<char>(nChannel == 0 ? nPixel : 8 + nPixel);
    }
    return shuffle;
}

consteval SHUFFLE Combined(SHUFFLE a, SHUFFLE b)
{
    for (int i = 0; i < 16; ++i) {
        if (a.index[i] == Z)
            a.index[i] = b.index[i];
    }
    return a;
}

inline __m256i BothShuffle(const SHUFFLE& shuffle)
{
    return Both(Load128(reinterpret_cast<const uint8_t*>(shuffle.index)));
}

// Output bytes 0-15 and 8-23 of the first and the second set of 8 pixels,
// bytes 16-23 of the first and 0-7 of the second in one register.
constexpr SHUFFLE FIRST_HEAD_BG = OutputShuffle(false, 0, 16, 0, 0);
constexpr SHUFFLE FIRST_HEAD_R = OutputShuffle(true, 0, 16, 0, 0);
constexpr SHUFFLE SECOND_TAIL_BG = OutputShuffle(false, 8, 16, 0, 0);
constexpr SHUFFLE SECOND_TAIL_R = OutputShuffle(true, 8, 16, 0, 8);
constexpr SHUFFLE FIRST_TAIL_BG = OutputShuffle(false, 16, 8, 0, 0);
constexpr SHUFFLE SECOND_HEAD_BG = OutputShuffle(false, 0, 8, 8, 0);
constexpr SHUFFLE MIDDLE_R = Combined(OutputShuffle(true, 16, 8, 0, 0), OutputShuffle(true, 0, 8, 8, 8));

// 32 pixels to 96 bytes in three whole stores. The halves of the first set
// (bgFirst, red in bytes 0-7 of rr) are pixels 0-7 and 16-23, those of the
// second set (bgSecond, red in bytes 8-15) pixels 8-15 and 24-31.
inline void StoreBgr32(uint8_t* pDst, __m256i bgFirst, __m256i bgSecond, __m256i rr)
{
    // Output bytes 0-15 | 48-63.
    const __m256i firstHeads = _mm256_or_si256(_mm256_shuffle_epi8(bgFirst, BothShuffle(FIRST_HEAD_BG)),
                                               _mm256_shuffle_epi8(rr, BothShuffle(FIRST_HEAD_R)));
    // Output bytes 32-47 | 80-95.
    const __m256i secondTails = _mm256_or_si256(_mm256_shuffle_epi8(bgSecond, BothShuffle(SECOND_TAIL_BG)),
                                                _mm256_shuffle_epi8(rr, BothShuffle(SECOND_TAIL_R)));
    // Output bytes 16-31 | 64-79.
    const __m256i middles = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(bgFirst, BothShuffle(FIRST_TAIL_BG)),
                        _mm256_shuffle_epi8(bgSecond, BothShuffle(SECOND_HEAD_BG))),
        _mm256_shuffle_epi8(rr, BothShuffle(MIDDLE_R)));
    Store(pDst, _mm256_permute2x128_si256(firstHeads, middles, 0x20));
    Store(pDst + 32, _mm256_blend_epi32(secondTails, firstHeads, 0xF0));
    Store(pDst + 64, _mm256_permute2x128_si256(middles, secondTails, 0x31));
}

// Blocks of 16 pixels in 32 bytes: U, Y0, V, Y1 per pair. Two blocks per
// pass while they last, so that they share the red pack. (Whole 32-byte
// stores as for YUV411 measured slower here: they need the halves regrouped.)
template <bool FLOAT>
void Yuv422Rows(const uint8_t* pSrc, uint8_t* pDst, int nPixels)
{
    const __m256i low = _mm256_set1_epi16(0x00FF);
    const __m256i first = Both(_mm_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13));
    const __m256i second = Both(_mm_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15));
    int i = 0;
    for (; i + 32 <= nPixels; i += 32, pSrc += 64, pDst += 96) {
        const __m256i in0 = Load(pSrc);
        const __m256i in1 = Load(pSrc + 32);
        __m256i br0, g0, br1, g1;
        YuvTerms<FLOAT>(_mm256_and_si256(in0, low), br0, g0);
        YuvTerms<FLOAT>(_mm256_and_si256(in1, low), br1, g1);
        const __m256i y0 = _mm256_srli_epi16(in0, 8);
        const __m256i y1 = _mm256_srli_epi16(in1, 8);
        const __m256i rr = PackRed(y0, _mm256_shuffle_epi8(br0, second), y1, _mm256_shuffle_epi8(br1, second));
        StoreBgr8x2<0>(pDst, pDst + 24,
                       PackBlueGreen(y0, _mm256_shuffle_epi8(br0, first), _mm256_shuffle_epi8(g0, first)), rr);
        StoreBgr8x2<8>(pDst + 48, pDst + 72,
                       PackBlueGreen(y1, _mm256_shuffle_epi8(br1, first), _mm256_shuffle_epi8(g1, first)), rr);
    }
    if (i < nPixels) {
        const __m256i in = Load(pSrc);
        __m256i br, g;
        YuvTerms<FLOAT>(_mm256_and_si256(in, low), br, g);
        const __m256i y = _mm256_srli_epi16(in, 8);
        const __m256i red = _mm256_shuffle_epi8(br, second);
        StoreBgr8x2<0>(pDst, pDst + 24,
                       PackBlueGreen(y, _mm256_shuffle_epi8(br, first), _mm256_shuffle_epi8(g, first)),
                       PackRed(y, red, y, red));
    }
}

// Blocks of 32 pixels in 48 bytes: U, Y0, Y1, V, Y2, Y3 per 4 pixels. Each
// half takes 16 pixels.
template <bool FLOAT>
void Yuv411Rows(const uint8_t* pSrc, uint8_t* pDst, int nPixels)
{
    const __m256i y0 = Both(_mm_setr_epi8(1, Z, 2, Z, 4, Z, 5, Z, 7, Z, 8, Z, 10, Z, 11, Z));
    const __m256i y1 = Both(_mm_setr_epi8(5, Z, 6, Z, 8, Z, 9, Z, 11, Z, 12, Z, 14, Z, 15, Z));
    const __m256i uv0 = Both(_mm_setr_epi8(0, Z, 3, Z, 6, Z, 9, Z, Z, Z, Z, Z, Z, Z, Z, Z));
    const __m256i uv1 = Both(_mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, 4, Z, 7, Z, 10, Z, 13, Z));
    const __m256i firstLow = Both(_mm_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5));
    const __m256i secondLow = Both(_mm_setr_epi8(2, 3, 2, 3, 2, 3, 2, 3, 6, 7, 6, 7, 6, 7, 6, 7));
    const __m256i firstHigh = Both(_mm_setr_epi8(8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13, 12, 13));
    const __m256i secondHigh =
        Both(_mm_setr_epi8(10, 11, 10, 11, 10, 11, 10, 11, 14, 15, 14, 15, 14, 15, 14, 15));
    for (int i = 0; i < nPixels; i += 32, pSrc += 48, pDst += 96) {
        // Per half, bytes 0-15 and 8-23 of its 24: exactly the block.
        const __m256i in0 = Load2(pSrc, pSrc + 24);
        const __m256i in1 = Load2(pSrc + 8, pSrc + 32);
        __m256i br, g;
        YuvTerms<FLOAT>(_mm256_or_si256(_mm256_shuffle_epi8(in0, uv0), _mm256_shuffle_epi8(in1, uv1)), br, g);
        const __m256i luma0 = _mm256_shuffle_epi8(in0, y0);
        const __m256i luma1 = _mm256_shuffle_epi8(in1, y1);
        StoreBgr32(pDst, PackBlueGreen(luma0, _mm256_shuffle_epi8(br, firstLow), _mm256_shuffle_epi8(g, firstLow)),
                   PackBlueGreen(luma1, _mm256_shuffle_epi8(br, firstHigh), _mm256_shuffle_epi8(g, firstHigh)),
                   PackRed(luma0, _mm256_shuffle_epi8(br, secondLow), luma1, _mm256_shuffle_epi8(br, secondHigh)));
    }
}

// Blocks of 16 pixels in 48 bytes: U, Y, V per pixel. Each half takes 8.
template <bool FLOAT>
void Yuv444Rows(const uint8_t* pSrc, uint8_t* pDst, int nPixels)
{
    const __m256i y0 = Both(_mm_setr_epi8(1, Z, 4, Z, 7, Z, 10, Z, 13, Z, Z, Z, Z, Z, Z, Z));
    const __m256i y1 = Both(_mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 8, Z, 11, Z, 14, Z));
    const __m256i uv0 = Both(_mm_setr_epi8(0, Z, 2, Z, 3, Z, 5, Z, 6, Z, 8, Z, 9, Z, 11, Z));
    const __m256i uv1 = Both(_mm_setr_epi8(4, Z, 6, Z, 7, Z, 9, Z, 10, Z, 12, Z, 13, Z, 15, Z));
    const __m256i split = Both(_mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15));
    for (int i = 0; i < nPixels; i += 16, pSrc += 48, pDst += 48) {
        const __m256i in0 = Load2(pSrc, pSrc + 24);
        const __m256i in1 = Load2(pSrc + 8, pSrc + 32);
        __m256i br0, g0, br1, g1;
        YuvTerms<FLOAT>(_mm256_shuffle_epi8(in0, uv0), br0, g0);
        YuvTerms<FLOAT>(_mm256_shuffle_epi8(in1, uv1), br1, g1);
        br0 = _mm256_shuffle_epi8(br0, split);   // blue of pixels 0-3, red of pixels 0-3
        br1 = _mm256_shuffle_epi8(br1, split);
        const __m256i luma = _mm256_or_si256(_mm256_shuffle_epi8(in0, y0), _mm256_shuffle_epi8(in1, y1));
        const __m256i red = _mm256_unpackhi_epi64(br0, br1);
        StoreBgr8x2<0>(pDst, pDst + 24,
                       PackBlueGreen(luma, _mm256_unpacklo_epi64(br0, br1), _mm256_packs_epi32(g0, g1)),
                       PackRed(luma, red, luma, red));
    }
}

constexpr CONVERT_ROWS AVX2_ROWS = {
    "avx2",
    {Mono8Row, Mono16Row, YuvRow<Yuv411Rows<true>, Yuv411Rows<false>>,
     YuvRow<Yuv422Rows<true>, Yuv422Rows<false>>, YuvRow<Yuv444Rows<true>, Yuv444Rows<false>>},
    {32, 32, 32, 16, 16},
    // Every processor with AVX2 has SSSE3.
    Ssse3Rows,
};

}  // namespace

const CONVERT_ROWS* Avx2Rows()
{
    return &AVX2_ROWS;
}

#else

const CONVERT_ROWS* Avx2Rows()
{
    return nullptr;
}

#endif
