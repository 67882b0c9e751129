// AVX2 demosaicing kernels: blocks of 32 pixels of 8-bit samples, 16 of
// 16-bit samples. Built with -mavx2; run only when the processor and the
// system support AVX2. The byte shuffles stay within each 128-bit half, so
// each half holds its pixels in the SSSE3 layout until the store puts the
// halves in place.
#include "image/demosaic/demosaic_rows.h"

#if defined(__AVX2__)

#include <immintrin.h>

#include "image/demosaic/simd_rows.h"

namespace {

inline __m256i Mask(const std::array<int8_t, 16>& mask)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask.data())));
}

// Three planes of samples of CB_SAMPLE bytes to 96 bytes of pixels.
template <int CB_SAMPLE>
void Interleave3(void* pDst, __m256i a, __m256i b, __m256i c)
{
    __m256i parts[3];
    for (int k = 0; k < 3; ++k) {
        const auto& masks = INTERLEAVE_MASKS<CB_SAMPLE>[k];
        parts[k] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, Mask(masks[0])),
                                                   _mm256_shuffle_epi8(b, Mask(masks[1]))),
                                   _mm256_shuffle_epi8(c, Mask(masks[2])));
    }
    // Lower halves: bytes 0-47 of the pixels; upper halves: 48-95.
    auto* p = static_cast<__m256i*>(pDst);
    _mm256_storeu_si256(p, _mm256_permute2x128_si256(parts[0], parts[1], 0x20));
    _mm256_storeu_si256(p + 1, _mm256_permute2x128_si256(parts[2], parts[0], 0x30));
    _mm256_storeu_si256(p + 2, _mm256_permute2x128_si256(parts[1], parts[2], 0x31));
}

struct AVX2_BITS
{
    using Reg = __m256i;
    static Reg Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
    static Reg And(Reg a, Reg b) { return _mm256_and_si256(a, b); }
    static Reg Or(Reg a, Reg b) { return _mm256_or_si256(a, b); }
    static Reg Xor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
};

struct AVX2 : AVX2_BITS
{
    using Sample = uint8_t;
    static constexpr int N = 32;
    static constexpr bool HIGH_QUALITY = true;

    static Reg Even(Reg v) { return _mm256_and_si256(v, _mm256_set1_epi16(0x00FF)); }
    static Reg Odd(Reg v) { return _mm256_srli_epi16(v, 8); }
    static Reg Set(int16_t n) { return _mm256_set1_epi16(n); }
    static Reg Add(Reg a, Reg b) { return _mm256_add_epi16(a, b); }
    static Reg Sub(Reg a, Reg b) { return _mm256_sub_epi16(a, b); }
    template <int K> static Reg Shl(Reg a) { return _mm256_slli_epi16(a, K); }
    template <int K> static Reg Sar(Reg a) { return _mm256_srai_epi16(a, K); }
    static Reg Avg(Reg a, Reg b) { return _mm256_avg_epu8(a, b); }
    static Reg SubSample(Reg a, Reg b) { return _mm256_sub_epi8(a, b); }
    static Reg Ones() { return _mm256_set1_epi8(1); }
    // Even samples from e, odd samples from o.
    static Reg Select(Reg e, Reg o) { return _mm256_blendv_epi8(o, e, _mm256_set1_epi16(0x00FF)); }
    static Reg Pack(Reg even, Reg odd)
    {
        return _mm256_shuffle_epi8(_mm256_packus_epi16(even, odd), Mask(EVEN_ODD_MASK));
    }
    static void Store3(uint8_t* pDst, Reg a, Reg b, Reg c) { Interleave3<1>(pDst, a, b, c); }
};

struct AVX2_16 : AVX2_BITS
{
    using Sample = uint16_t;
    static constexpr int N = 16;
    static constexpr bool HIGH_QUALITY = true;

    // High quality: each half in 32-bit lanes.
    static Reg Even(Reg v) { return _mm256_and_si256(v, _mm256_set1_epi32(0xFFFF)); }
    static Reg Odd(Reg v) { return _mm256_srli_epi32(v, 16); }
    static Reg Set(int32_t n) { return _mm256_set1_epi32(n); }
    static Reg Add(Reg a, Reg b) { return _mm256_add_epi32(a, b); }
    static Reg Sub(Reg a, Reg b) { return _mm256_sub_epi32(a, b); }
    template <int K> static Reg Shl(Reg a) { return _mm256_slli_epi32(a, K); }
    template <int K> static Reg Sar(Reg a) { return _mm256_srai_epi32(a, K); }
    // Even and odd halves to 16 samples in pixel order, clamped to 0..65535.
    static Reg Pack(Reg even, Reg odd)
    {
        return _mm256_shuffle_epi8(_mm256_packus_epi32(even, odd), Mask(EVEN_ODD_MASK_16));
    }

    static Reg Avg(Reg a, Reg b) { return _mm256_avg_epu16(a, b); }
    static Reg SubSample(Reg a, Reg b) { return _mm256_sub_epi16(a, b); }
    static Reg Ones() { return _mm256_set1_epi16(1); }
    static Reg Select(Reg e, Reg o) { return _mm256_blend_epi16(o, e, 0x55); }
    static void Store3(uint16_t* pDst, Reg a, Reg b, Reg c) { Interleave3<2>(pDst, a, b, c); }
};

const DEMOSAIC_ROWS g_avx2Rows = SimdRows<AVX2, AVX2_16>("avx2");

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
