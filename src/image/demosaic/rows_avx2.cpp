// AVX2 demosaicing kernels: blocks of 32 pixels. Built with -mavx2; run only
// when the processor and the system support AVX2. The byte shuffles stay
// within each 128-bit half, so each half holds 16 pixels in the SSSE3
// layout until the store puts the halves in place.
#include "image/demosaic/demosaic_rows.h"

#if defined(__AVX2__)

#include <immintrin.h>

#include "image/demosaic/simd_rows.h"

namespace {

inline __m256i Mask(const std::array<int8_t, 16>& mask)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask.data())));
}

struct AVX2
{
    using Reg = __m256i;
    static constexpr int N = 32;

    static Reg Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static Reg Even(Reg v) { return _mm256_and_si256(v, _mm256_set1_epi16(0x00FF)); }
    static Reg Odd(Reg v) { return _mm256_srli_epi16(v, 8); }
    static Reg Set(int16_t n) { return _mm256_set1_epi16(n); }
    static Reg Add(Reg a, Reg b) { return _mm256_add_epi16(a, b); }
    static Reg Sub(Reg a, Reg b) { return _mm256_sub_epi16(a, b); }
    template <int K> static Reg Shl(Reg a) { return _mm256_slli_epi16(a, K); }
    template <int K> static Reg Sar(Reg a) { return _mm256_srai_epi16(a, K); }
    static Reg Avg(Reg a, Reg b) { return _mm256_avg_epu8(a, b); }
    static Reg Sub8(Reg a, Reg b) { return _mm256_sub_epi8(a, b); }
    static Reg And(Reg a, Reg b) { return _mm256_and_si256(a, b); }
    static Reg Or(Reg a, Reg b) { return _mm256_or_si256(a, b); }
    static Reg Xor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
    static Reg Ones() { return _mm256_set1_epi8(1); }
    // Even bytes from e, odd bytes from o.
    static Reg Select(Reg e, Reg o) { return _mm256_blendv_epi8(o, e, _mm256_set1_epi16(0x00FF)); }

    static Reg Pack(Reg even, Reg odd)
    {
        return _mm256_shuffle_epi8(_mm256_packus_epi16(even, odd), Mask(EVEN_ODD_MASK));
    }

    static void Store3(uint8_t* pDst, Reg a, Reg b, Reg c)
    {
        Reg parts[3];
        for (int k = 0; k < 3; ++k) {
            parts[k] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, Mask(INTERLEAVE_MASKS[k][0])),
                                                       _mm256_shuffle_epi8(b, Mask(INTERLEAVE_MASKS[k][1]))),
                                       _mm256_shuffle_epi8(c, Mask(INTERLEAVE_MASKS[k][2])));
        }
        // Lower halves: pixels 0-15 (bytes 0-47); upper halves: 16-31.
        auto* p = reinterpret_cast<__m256i*>(pDst);
        _mm256_storeu_si256(p, _mm256_permute2x128_si256(parts[0], parts[1], 0x20));
        _mm256_storeu_si256(p + 1, _mm256_permute2x128_si256(parts[2], parts[0], 0x30));
        _mm256_storeu_si256(p + 2, _mm256_permute2x128_si256(parts[1], parts[2], 0x31));
    }
};

const DEMOSAIC_ROWS g_avx2Rows = SimdRows<AVX2>("avx2");

}  // namespace

const DEMOSAIC_ROWS* Avx2DemosaicRows()
{
    return &g_avx2Rows;
}

#else

const DEMOSAIC_ROWS* Avx2DemosaicRows()
{
    return nullptr;
}

#endif
