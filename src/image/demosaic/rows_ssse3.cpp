// SSSE3 demosaicing kernels: blocks of 16 pixels. Built with -mssse3; run
// only when the processor supports SSSE3.
#include "image/demosaic/demosaic_rows.h"

#if defined(__SSSE3__)

#include <immintrin.h>

#include "image/demosaic/simd_rows.h"

namespace {

inline __m128i Mask(const std::array<int8_t, 16>& mask)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask.data()));
}

struct SSSE3
{
    using Reg = __m128i;
    static constexpr int N = 16;

    static Reg Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static Reg Even(Reg v) { return _mm_and_si128(v, _mm_set1_epi16(0x00FF)); }
    static Reg Odd(Reg v) { return _mm_srli_epi16(v, 8); }
    static Reg Set(int16_t n) { return _mm_set1_epi16(n); }
    static Reg Add(Reg a, Reg b) { return _mm_add_epi16(a, b); }
    static Reg Sub(Reg a, Reg b) { return _mm_sub_epi16(a, b); }
    template <int K> static Reg Shl(Reg a) { return _mm_slli_epi16(a, K); }
    template <int K> static Reg Sar(Reg a) { return _mm_srai_epi16(a, K); }
    static Reg Avg(Reg a, Reg b) { return _mm_avg_epu8(a, b); }
    static Reg Sub8(Reg a, Reg b) { return _mm_sub_epi8(a, b); }
    static Reg And(Reg a, Reg b) { return _mm_and_si128(a, b); }
    static Reg Or(Reg a, Reg b) { return _mm_or_si128(a, b); }
    static Reg Xor(Reg a, Reg b) { return _mm_xor_si128(a, b); }
    static Reg Ones() { return _mm_set1_epi8(1); }
    // Even bytes from e, odd bytes from o.
    static Reg Select(Reg e, Reg o)
    {
        const Reg even = _mm_set1_epi16(0x00FF);
        return _mm_or_si128(_mm_and_si128(even, e), _mm_andnot_si128(even, o));
    }

    // Even and odd halves to 16 bytes in pixel order, clamped to 0..255.
    static Reg Pack(Reg even, Reg odd) { return _mm_shuffle_epi8(_mm_packus_epi16(even, odd), Mask(EVEN_ODD_MASK)); }

    // Three planes of 16 samples to 48 bytes of pixels.
    static void Store3(uint8_t* pDst, Reg a, Reg b, Reg c)
    {
        for (int k = 0; k < 3; ++k) {
            const Reg v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, Mask(INTERLEAVE_MASKS[k][0])),
                                                    _mm_shuffle_epi8(b, Mask(INTERLEAVE_MASKS[k][1]))),
                                       _mm_shuffle_epi8(c, Mask(INTERLEAVE_MASKS[k][2])));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pDst + 16 * k), v);
        }
    }
};

const DEMOSAIC_ROWS g_ssse3Rows = SimdRows<SSSE3>("ssse3");

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
