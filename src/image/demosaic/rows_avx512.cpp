// AVX-512 demosaicing kernels: blocks of 64 pixels. Built with -mavx512bw
// -mavx512vbmi; run only when the processor and the system support both.
// The arithmetic is the AVX2 kernels' on wider registers; the store
// interleaves the three planes with VBMI's byte permutes across the register.
#include "image/demosaic/demosaic_rows.h"

#if defined(__AVX512BW__) && defined(__AVX512VBMI__)

#include <immintrin.h>

#include "image/demosaic/simd_rows.h"

namespace {

// Part k of 192 bytes of pixels: byte j is sample (64k + j) % 3 of pixel
// (64k + j) / 3; the index picks it from planes a (0..63) and b (64..127) or,
// where the mask is set, from plane c.
struct INTERLEAVE_PART
{
    std::array<uint8_t, 64> index;
    uint64_t nFromC;
};

consteval INTERLEAVE_PART InterleavePart(int k)
{
    INTERLEAVE_PART part{};
    for (int j = 0; j < 64; ++j) {
        const int g = 64 * k + j;
        part.index[j] = static_cast<uint8_t>(g / 3 + (g % 3 == 1 ? 64 : 0));
        if (g % 3 == 2)
            part.nFromC |= uint64_t{1} << j;
    }
    return part;
}

constexpr INTERLEAVE_PART INTERLEAVE_PARTS[3] = {InterleavePart(0), InterleavePart(1), InterleavePart(2)};

// The even-odd shuffle in each 128-bit quarter.
consteval std::array<int8_t, 64> EvenOddMask512()
{
    std::array<int8_t, 64> mask{};
    for (int j = 0; j < 64; ++j)
        mask[j] = EVEN_ODD_MASK[j % 16];
    return mask;
}

constexpr std::array<int8_t, 64> EVEN_ODD_MASK_512 = EvenOddMask512();

struct AVX512
{
    using Reg = __m512i;
    static constexpr int N = 64;

    static Reg Load(const uint8_t* p) { return _mm512_loadu_si512(p); }
    static Reg Even(Reg v) { return _mm512_and_si512(v, _mm512_set1_epi16(0x00FF)); }
    static Reg Odd(Reg v) { return _mm512_srli_epi16(v, 8); }
    static Reg Set(int16_t n) { return _mm512_set1_epi16(n); }
    static Reg Add(Reg a, Reg b) { return _mm512_add_epi16(a, b); }
    static Reg Sub(Reg a, Reg b) { return _mm512_sub_epi16(a, b); }
    template <int K> static Reg Shl(Reg a) { return _mm512_slli_epi16(a, K); }
    template <int K> static Reg Sar(Reg a) { return _mm512_srai_epi16(a, K); }
    static Reg Avg(Reg a, Reg b) { return _mm512_avg_epu8(a, b); }
    static Reg Sub8(Reg a, Reg b) { return _mm512_sub_epi8(a, b); }
    static Reg And(Reg a, Reg b) { return _mm512_and_si512(a, b); }
    static Reg Or(Reg a, Reg b) { return _mm512_or_si512(a, b); }
    static Reg Xor(Reg a, Reg b) { return _mm512_xor_si512(a, b); }
    static Reg Ones() { return _mm512_set1_epi8(1); }
    // Even bytes from e, odd bytes from o.
    static Reg Select(Reg e, Reg o) { return _mm512_mask_blend_epi8(0x5555555555555555, o, e); }

    static Reg Pack(Reg even, Reg odd)
    {
        return _mm512_shuffle_epi8(_mm512_packus_epi16(even, odd), _mm512_loadu_si512(EVEN_ODD_MASK_512.data()));
    }

    static void Store3(uint8_t* pDst, Reg a, Reg b, Reg c)
    {
        for (int k = 0; k < 3; ++k) {
            const Reg index = _mm512_loadu_si512(INTERLEAVE_PARTS[k].index.data());
            const Reg ab = _mm512_permutex2var_epi8(a, index, b);
            _mm512_storeu_si512(pDst + 64 * k, _mm512_mask_permutexvar_epi8(ab, INTERLEAVE_PARTS[k].nFromC, index, c));
        }
    }
};

const DEMOSAIC_ROWS g_avx512Rows = SimdRows<AVX512>("avx512");

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
