// AVX-512 demosaicing kernels: blocks of 64 pixels of 8-bit samples, 32 of
// 16-bit samples. Built with -mavx512bw -mavx512vbmi; run only when the
// processor and the system support both. The arithmetic is the AVX2
// kernels' on wider registers; the store interleaves the three planes with
// byte or word permutes across the register (VBMI, BW).
#include "image/demosaic/demosaic_rows.h"

#if defined(__AVX512BW__) && defined(__AVX512VBMI__)

#include <immintrin.h>

#include "image/demosaic/simd_rows.h"

namespace {

// Part k of three registers of pixels, N samples each: sample j is colour
// (N k + j) % 3 of pixel (N k + j) / 3; the index picks it from planes a
// (0..N-1) and b (N..2N-1) or, where the mask is set, from plane c.
template <typename T, int N>
struct INTERLEAVE_PART
{
    std::array<T, N> index;
    uint64_t nFromC;
};

template <typename T, int N>
consteval std::array<INTERLEAVE_PART<T, N>, 3> InterleaveParts()
{
    std::array<INTERLEAVE_PART<T, N>, 3> parts{};
    for (int k = 0; k < 3; ++k) {
        for (int j = 0; j < N; ++j) {
            const int g = N * k + j;
            parts[k].index[j] = static_cast<T>(g / 3 + (g % 3 == 1 ? N : 0));
            if (g % 3 == 2)
                parts[k].nFromC |= uint64_t{1} << j;
        }
    }
    return parts;
}

constexpr auto INTERLEAVE_BYTES = InterleaveParts<uint8_t, 64>();
constexpr auto INTERLEAVE_WORDS = InterleaveParts<uint16_t, 32>();

// The even-odd shuffle in each 128-bit quarter.
consteval std::array<int8_t, 64> EvenOddMask512(const std::array<int8_t, 16>& mask128)
{
    std::array<int8_t, 64> mask{};
    for (int j = 0; j < 64; ++j)
        mask[j] = mask128[j % 16];
    return mask;
}

constexpr std::array<int8_t, 64> EVEN_ODD_MASK_512 = EvenOddMask512(EVEN_ODD_MASK);
constexpr std::array<int8_t, 64> EVEN_ODD_MASK_16_512 = EvenOddMask512(EVEN_ODD_MASK_16);

struct AVX512_BITS
{
    using Reg = __m512i;
    static Reg Load(const void* p) { return _mm512_loadu_si512(p); }
    static Reg And(Reg a, Reg b) { return _mm512_and_si512(a, b); }
    static Reg Or(Reg a, Reg b) { return _mm512_or_si512(a, b); }
    static Reg Xor(Reg a, Reg b) { return _mm512_xor_si512(a, b); }
};

struct AVX512 : AVX512_BITS
{
    using Sample = uint8_t;
    static constexpr int N = 64;
    static constexpr bool HIGH_QUALITY = true;

    static Reg Even(Reg v) { return _mm512_and_si512(v, _mm512_set1_epi16(0x00FF)); }
    static Reg Odd(Reg v) { return _mm512_srli_epi16(v, 8); }
    static Reg Set(int16_t n) { return _mm512_set1_epi16(n); }
    static Reg Add(Reg a, Reg b) { return _mm512_add_epi16(a, b); }
    static Reg Sub(Reg a, Reg b) { return _mm512_sub_epi16(a, b); }
    template <int K> static Reg Shl(Reg a) { return _mm512_slli_epi16(a, K); }
    template <int K> static Reg Sar(Reg a) { return _mm512_srai_epi16(a, K); }
    static Reg Avg(Reg a, Reg b) { return _mm512_avg_epu8(a, b); }
    static Reg SubSample(Reg a, Reg b) { return _mm512_sub_epi8(a, b); }
    static Reg Ones() { return _mm512_set1_epi8(1); }
    // Even samples from e, odd samples from o.
    static Reg Select(Reg e, Reg o) { return _mm512_mask_blend_epi8(0x5555555555555555, o, e); }
    static Reg Pack(Reg even, Reg odd)
    {
        return _mm512_shuffle_epi8(_mm512_packus_epi16(even, odd), _mm512_loadu_si512(EVEN_ODD_MASK_512.data()));
    }
    // Written out part by part: GCC keeps a loop over the parts rolled.
    static void Store3(uint8_t* pDst, Reg a, Reg b, Reg c)
    {
        auto Part = [&] (int k) {
            const Reg index = _mm512_loadu_si512(INTERLEAVE_BYTES[k].index.data());
            const Reg ab = _mm512_permutex2var_epi8(a, index, b);
            _mm512_storeu_si512(pDst + 64 * k, _mm512_mask_permutexvar_epi8(ab, INTERLEAVE_BYTES[k].nFromC, index, c));
        };
        Part(0);
        Part(1);
        Part(2);
    }
};

struct AVX512_16 : AVX512_BITS
{
    using Sample = uint16_t;
    static constexpr int N = 32;
    static constexpr bool HIGH_QUALITY = true;

    // High quality: each half in 32-bit lanes. The shifts are the zero-masked
    // forms with every lane kept: GCC 12 warns of the deliberately undefined
    // register inside the plain ones.
    static constexpr __mmask16 ALL = 0xFFFF;
    static Reg Even(Reg v) { return _mm512_and_si512(v, _mm512_set1_epi32(0xFFFF)); }
    static Reg Odd(Reg v) { return _mm512_maskz_srli_epi32(ALL, v, 16); }
    static Reg Set(int32_t n) { return _mm512_set1_epi32(n); }
    static Reg Add(Reg a, Reg b) { return _mm512_add_epi32(a, b); }
    static Reg Sub(Reg a, Reg b) { return _mm512_sub_epi32(a, b); }
    template <int K> static Reg Shl(Reg a) { return _mm512_maskz_slli_epi32(ALL, a, K); }
    template <int K> static Reg Sar(Reg a) { return _mm512_maskz_srai_epi32(ALL, a, K); }
    // Even and odd halves to 32 samples in pixel order, clamped to 0..65535.
    static Reg Pack(Reg even, Reg odd)
    {
        return _mm512_shuffle_epi8(_mm512_packus_epi32(even, odd), _mm512_loadu_si512(EVEN_ODD_MASK_16_512.data()));
    }

    static Reg Avg(Reg a, Reg b) { return _mm512_avg_epu16(a, b); }
    static Reg SubSample(Reg a, Reg b) { return _mm512_sub_epi16(a, b); }
    static Reg Ones() { return _mm512_set1_epi16(1); }
    static Reg Select(Reg e, Reg o) { return _mm512_mask_blend_epi16(0x55555555, o, e); }
    static void Store3(uint16_t* pDst, Reg a, Reg b, Reg c)
    {
        auto Part = [&] (int k) {
            const Reg index = _mm512_loadu_si512(INTERLEAVE_WORDS[k].index.data());
            const Reg ab = _mm512_permutex2var_epi16(a, index, b);
            const auto nFromC = static_cast<__mmask32>(INTERLEAVE_WORDS[k].nFromC);
            _mm512_storeu_si512(pDst + 32 * k, _mm512_mask_permutexvar_epi16(ab, nFromC, index, c));
        };
        Part(0);
        Part(1);
        Part(2);
    }
};

const DEMOSAIC_ROWS g_avx512Rows = SimdRows<AVX512, AVX512_16>("avx512");

}  // namespace

const DEMOSAIC_ROWS* Avx512DemosaicRows()
{
    return &g_avx512Rows;
}

#else

const DEMOSAIC_ROWS* Avx512DemosaicRows()
{
    return nullptr;
}

#endif
