// SSSE3 demosaicing kernels: blocks of 16 pixels of 8-bit samples, 8 of
// 16-bit samples. Built with -mssse3; run only when the processor supports
// SSSE3.
#include "image/demosaic/demosaic_rows.h"

#if defined(__SSSE3__)

#include <immintrin.h>

#include "image/demosaic/simd_rows.h"

namespace {

inline __m128i Mask(const std::array<int8_t, 16>& mask)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask.data()));
}

// Three planes of samples of CB_SAMPLE bytes to 48 bytes of pixels.
template <int CB_SAMPLE>
void Interleave3(void* pDst, __m128i a, __m128i b, __m128i c)
{
    for (int k = 0; k < 3; ++k) {
        const auto& masks = INTERLEAVE_MASKS<CB_SAMPLE>[k];
        const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, Mask(masks[0])),
                                                    _mm_shuffle_epi8(b, Mask(masks[1]))),
                                       _mm_shuffle_epi8(c, Mask(masks[2])));
        _mm_storeu_si128(static_cast<__m128i*>(pDst) + k, v);
    }
}

struct SSSE3_BITS
{
    using Reg = __m128i;
    static Reg Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
    static Reg And(Reg a, Reg b) { return _mm_and_si128(a, b); }
    static Reg Or(Reg a, Reg b) { return _mm_or_si128(a, b); }
    static Reg Xor(Reg a, Reg b) { return _mm_xor_si128(a, b); }
    // Even samples from e, odd samples from o, by a mask of the even ones.
    static Reg Select(Reg e, Reg o, Reg even) { return _mm_or_si128(_mm_and_si128(even, e), _mm_andnot_si128(even, o)); }
};

struct SSSE3 : SSSE3_BITS
{
    using Sample = uint8_t;
    static constexpr int N = 16;
    static constexpr bool HIGH_QUALITY = true;

    static Reg Even(Reg v) { return _mm_and_si128(v, _mm_set1_epi16(0x00FF)); }
    static Reg Odd(Reg v) { return _mm_srli_epi16(v, 8); }
    static Reg Set(int16_t n) { return _mm_set1_epi16(n); }
    static Reg Add(Reg a, Reg b) { return _mm_add_epi16(a, b); }
    static Reg Sub(Reg a, Reg b) { return _mm_sub_epi16(a, b); }
    template <int K> static Reg Shl(Reg a) { return _mm_slli_epi16(a, K); }
    template <int K> static Reg Sar(Reg a) { return _mm_srai_epi16(a, K); }
    static Reg Avg(Reg a, Reg b) { return _mm_avg_epu8(a, b); }
    static Reg SubSample(Reg a, Reg b) { return _mm_sub_epi8(a, b); }
    static Reg Ones() { return _mm_set1_epi8(1); }
    static Reg Select(Reg e, Reg o) { return SSSE3_BITS::Select(e, o, _mm_set1_epi16(0x00FF)); }
    // Even and odd halves to 16 bytes in pixel order, clamped to 0..255.
    static Reg Pack(Reg even, Reg odd) { return _mm_shuffle_epi8(_mm_packus_epi16(even, odd), Mask(EVEN_ODD_MASK)); }
    static void Store3(uint8_t* pDst, Reg a, Reg b, Reg c) { Interleave3<1>(pDst, a, b, c); }
};

struct SSSE3_16 : SSSE3_BITS
{
    using Sample = uint16_t;
    static constexpr int N = 8;
    // The pack of 32-bit lanes to 16-bit samples is SSE4.1's.
    static constexpr bool HIGH_QUALITY = false;

    static Reg Avg(Reg a, Reg b) { return _mm_avg_epu16(a, b); }
    static Reg SubSample(Reg a, Reg b) { return _mm_sub_epi16(a, b); }
    static Reg Ones() { return _mm_set1_epi16(1); }
    static Reg Select(Reg e, Reg o) { return SSSE3_BITS::Select(e, o, _mm_set1_epi32(0xFFFF)); }
    static void Store3(uint16_t* pDst, Reg a, Reg b, Reg c) { Interleave3<2>(pDst, a, b, c); }
};

const DEMOSAIC_ROWS g_ssse3Rows = SimdRows<SSSE3, SSSE3_16>("ssse3");

}  // namespace

const DEMOSAIC_ROWS* Ssse3DemosaicRows()
{
    return &g_ssse3Rows;
}

#else

const DEMOSAIC_ROWS* Ssse3DemosaicRows()
{
    return nullptr;
}

#endif
