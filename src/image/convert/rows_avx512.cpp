// AVX-512 row kernels (AVX-512BW for 16-bit lanes, AVX-512VBMI for byte
// permutes across the whole register). Built with those flags; run only when
// the processor and the system support both. Everything here has internal
// linkage, so no function compiled with these flags can stand in for another
// file's copy.
//
// YUV kernels only. Each takes blocks of 64 pixels and brings each half of a
// block into 16-bit lanes in pixel order: the luma of each pixel and the
// blue, green and red terms of its chroma. StoreBgr64 then adds and packs
// them and lays the packed bytes out as blue, green, red with permutes whose
// index tables are worked out at compile time.
#include "image/convert/convert_rows.h"

#if defined(__AVX512BW__) && defined(__AVX512VBMI__)

// GCC 12 takes the deliberately undefined registers inside the intrinsics
// for uninitialised variables.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include "image/convert/simd_terms.h"

namespace {

constexpr int BLOCK = 64;   // pixels
constexpr int HALF = 32;    // pixels in 16-bit lanes

inline __m512i Load(const uint8_t* p)
{
    return _mm512_loadu_si512(p);
}

inline void Store(uint8_t* p, __m512i v)
{
    _mm512_storeu_si512(p, v);
}

// Index tables, byte or 16-bit, loaded as one register.
template <class T>
struct INDEX
{
    alignas(64) T n[64 / sizeof(T)];
};

template <class T>
inline __m512i Indices(const INDEX<T>& index)
{
    return _mm512_load_si512(index.n);
}

// The source byte of each byte of a register of output when the output's
// byte o, from nFirst on, takes source byte fnAt(o) (-1: none, left 0).
template <class FN>
consteval INDEX<uint8_t> ByteIndex(int nFirst, FN fnAt)
{
    INDEX<uint8_t> index{};
    for (int i = 0; i < 64; ++i) {
        const int n = fnAt(nFirst + i);
        index.n[i] = static_cast<uint8_t>(n < 0 ? 0 : n);
    }
    return index;
}

template <class FN>
consteval uint64_t ByteMask(int nFirst, FN fnTaken)
{
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) {
        if (fnTaken(nFirst + i))
            mask |= uint64_t{1} << i;
    }
    return mask;
}

// 16-bit lane j of a half of a block takes source lane fnAt(j).
template <class FN>
consteval INDEX<uint16_t> LaneIndex(FN fnAt)
{
    INDEX<uint16_t> index{};
    for (int j = 0; j < HALF; ++j)
        index.n[j] = static_cast<uint16_t>(fnAt(j));
    return index;
}

// Luma and colour terms of 32 pixels, in 16-bit lanes in pixel order.
struct PIXELS
{
    __m512i y, blue, green, red;
};

// Where the pack of (a, b) puts byte n of a's or b's 32 lanes: 8 of a, then
// 8 of b, per 128 bits.
constexpr int PackedAt(int n, int nSource)
{
    return 16 * (n / 8) + 8 * nSource + n % 8;
}

// The packs StoreBgr64 makes: blue and green of each half (BG0, BG1) and the
// red of both (RR). Output byte o is channel o % 3 of pixel o / 3.
constexpr int Channel(int o) { return o % 3; }
constexpr int HalfOf(int o) { return o / 3 / HALF; }
constexpr int PixelInHalf(int o) { return o / 3 % HALF; }
constexpr int BlueGreenAt(int o) { return PackedAt(PixelInHalf(o), Channel(o)); }
constexpr int RedAt(int o) { return PackedAt(PixelInHalf(o), HalfOf(o)); }

// Output bytes 0-63 come from BG0 and RR, 128-191 from BG1 and RR; 64-127
// take blue and green from BG0 and BG1 and red from RR.
constexpr auto FROM_HALF_AND_RED = [](int o) { return Channel(o) < 2 ? BlueGreenAt(o) : 64 + RedAt(o); };
constexpr auto FIRST_BYTES = ByteIndex(0, FROM_HALF_AND_RED);
constexpr auto LAST_BYTES = ByteIndex(128, FROM_HALF_AND_RED);
constexpr auto MIDDLE_BYTES =
    ByteIndex(64, [](int o) { return Channel(o) < 2 ? 64 * HalfOf(o) + BlueGreenAt(o) : -1; });
constexpr auto MIDDLE_RED_BYTES = ByteIndex(64, [](int o) { return Channel(o) == 2 ? RedAt(o) : -1; });
constexpr uint64_t MIDDLE_RED_MASK = ByteMask(64, [](int o) { return Channel(o) == 2; });

// The sums are clamped to 0-255 by the unsigned saturation of the packs.
inline void StoreBgr64(uint8_t* pDst, const PIXELS& first, const PIXELS& second)
{
    const __m512i bg0 = _mm512_packus_epi16(_mm512_add_epi16(first.y, first.blue),
                                            _mm512_add_epi16(first.y, first.green));
    const __m512i bg1 = _mm512_packus_epi16(_mm512_add_epi16(second.y, second.blue),
                                            _mm512_add_epi16(second.y, second.green));
    const __m512i rr = _mm512_packus_epi16(_mm512_add_epi16(first.y, first.red),
                                           _mm512_add_epi16(second.y, second.red));
    Store(pDst, _mm512_permutex2var_epi8(bg0, Indices(FIRST_BYTES), rr));
    Store(pDst + 64, _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(bg0, Indices(MIDDLE_BYTES), bg1),
                                                  MIDDLE_RED_MASK, Indices(MIDDLE_RED_BYTES), rr));
    Store(pDst + 128, _mm512_permutex2var_epi8(bg1, Indices(LAST_BYTES), rr));
}

// Colour terms of chroma pairs given as 16-bit lanes U, V, U, V... (0-255):
// blue in each U lane and red in each V lane of br, green in the low half of
// each pair's 32-bit lane of g.
template <bool FLOAT>
inline void YuvTerms(__m512i uv, __m512i& br, __m512i& g)
{
    const __m512i d = _mm512_sub_epi16(uv, _mm512_set1_epi16(128));
    if constexpr (FLOAT) {
        const __m512i magnitude =
            _mm512_mulhi_epu16(_mm512_slli_epi16(_mm512_abs_epi16(d), TERM_MAGNITUDE_SHIFT),
                               _mm512_set1_epi32(PairOf(BLUE_MULTIPLIER, RED_MULTIPLIER)));
        br = _mm512_mask_sub_epi16(magnitude, _mm512_movepi16_mask(d), _mm512_setzero_si512(), magnitude);
        const __m512i sum = _mm512_madd_epi16(d, _mm512_set1_epi32(PairOf(GREEN_U_WEIGHT, GREEN_V_WEIGHT)));
        g = _mm512_cvttps_epi32(_mm512_mul_ps(_mm512_cvtepi32_ps(sum), _mm512_set1_ps(GREEN_SCALE)));
    } else {
        br = d;
        const __m512i halves = _mm512_srai_epi16(
            _mm512_mullo_epi16(d, _mm512_set1_epi32(PairOf(INT_GREEN_U_MULTIPLIER, INT_GREEN_V_MULTIPLIER))),
            8);
        g = _mm512_madd_epi16(halves, _mm512_set1_epi16(-1));
    }
}

// Per-pixel terms of a half whose pixel j takes the chroma pair in 32-bit
// lane pair(j) of br and g, which may be in either of two registers (lanes
// 16 on of the index name the second).
template <int (*PAIR)(int)>
constexpr auto BLUE_LANES = LaneIndex([](int j) { return 2 * PAIR(j); });
template <int (*PAIR)(int)>
constexpr auto RED_LANES = LaneIndex([](int j) { return 2 * PAIR(j) + 1; });

template <int (*PAIR)(int)>
inline PIXELS Terms(__m512i y, __m512i br0, __m512i g0, __m512i br1, __m512i g1)
{
    return {y, _mm512_permutex2var_epi16(br0, Indices(BLUE_LANES<PAIR>), br1),
            _mm512_permutex2var_epi16(g0, Indices(BLUE_LANES<PAIR>), g1),
            _mm512_permutex2var_epi16(br0, Indices(RED_LANES<PAIR>), br1)};
}

// YUV 4:2:2, 4 bytes per pair: U, Y0, V, Y1. A half is one register whose
// 16-bit lanes hold U | Y0 << 8, V | Y1 << 8: pixel j takes pair j / 2.
constexpr int Yuv422Pair(int j) { return j / 2; }

template <bool FLOAT>
inline PIXELS Yuv422Half(const uint8_t* pSrc)
{
    const __m512i in = Load(pSrc);
    __m512i br, g;
    YuvTerms<FLOAT>(_mm512_and_si512(in, _mm512_set1_epi16(0x00FF)), br, g);
    return Terms<Yuv422Pair>(_mm512_srli_epi16(in, 8), br, g, br, g);
}

template <bool FLOAT>
void Yuv422Rows(const uint8_t* pSrc, uint8_t* pDst, int nPixels)
{
    for (int i = 0; i < nPixels; i += BLOCK, pSrc += 2 * BLOCK, pDst += 3 * BLOCK)
        StoreBgr64(pDst, Yuv422Half<FLOAT>(pSrc), Yuv422Half<FLOAT>(pSrc + 2 * HALF));
}

// Zero-extends the bytes that fnAt names (-1: none) into 16-bit lanes.
template <class FN>
consteval INDEX<uint8_t> WidenIndex(FN fnAt)
{
    return ByteIndex(0, [fnAt](int n) { return n % 2 ? -1 : fnAt(n / 2); });
}
constexpr uint64_t EVEN_BYTES = 0x5555555555555555;

// YUV 4:1:1, 6 bytes per quad: U, Y0, Y1, V, Y2, Y3. A half is 48 bytes; the
// chroma of both halves goes into one register, quad q in lanes 2q, 2q + 1.
constexpr int QUAD_LUMA[4] = {1, 2, 4, 5};
constexpr auto YUV411_LUMA = WidenIndex([](int j) { return 6 * (j / 4) + QUAD_LUMA[j % 4]; });
constexpr auto YUV411_CHROMA = WidenIndex([](int j) { return 64 * (j / 16) + 6 * (j / 2 % 8) + 3 * (j % 2); });
constexpr int Yuv411Pair(int j) { return j / 4; }
constexpr int Yuv411SecondPair(int j) { return 8 + j / 4; }

template <bool FLOAT>
void Yuv411Rows(const uint8_t* pSrc, uint8_t* pDst, int nPixels)
{
    constexpr uint64_t HALF_BYTES = (uint64_t{1} << 48) - 1;
    for (int i = 0; i < nPixels; i += BLOCK, pSrc += 96, pDst += 3 * BLOCK) {
        // Exactly the block's 96 bytes: the second load reads none past them.
        const __m512i first = _mm512_maskz_loadu_epi8(HALF_BYTES, pSrc);
        const __m512i second = _mm512_maskz_loadu_epi8(HALF_BYTES, pSrc + 48);
        __m512i br, g;
        YuvTerms<FLOAT>(_mm512_maskz_permutex2var_epi8(EVEN_BYTES, first, Indices(YUV411_CHROMA), second), br, g);
        StoreBgr64(pDst,
                   Terms<Yuv411Pair>(_mm512_maskz_permutexvar_epi8(EVEN_BYTES, Indices(YUV411_LUMA), first), br, g,
                                     br, g),
                   Terms<Yuv411SecondPair>(_mm512_maskz_permutexvar_epi8(EVEN_BYTES, Indices(YUV411_LUMA), second),
                                           br, g, br, g));
    }
}

// YUV 4:4:4, 3 bytes per pixel: U, Y, V. A half is 96 bytes, read as the
// registers at bytes 0 and 32 of it; its chroma fills two registers, pixel j
// in lanes 2j, 2j + 1 of the first (j < 16) or the second.
constexpr int AtHalf(int n) { return n < 64 ? n : 64 + n - 32; }   // byte n of the 96, in the two registers
constexpr auto YUV444_LUMA = WidenIndex([](int j) { return AtHalf(3 * j + 1); });
constexpr auto YUV444_CHROMA_0 = WidenIndex([](int j) { return AtHalf(3 * (j / 2) + 2 * (j % 2)); });
constexpr auto YUV444_CHROMA_1 = WidenIndex([](int j) { return AtHalf(3 * (16 + j / 2) + 2 * (j % 2)); });
constexpr int Yuv444Pair(int j) { return j; }

template <bool FLOAT>
inline PIXELS Yuv444Half(const uint8_t* pSrc)
{
    const __m512i low = Load(pSrc);
    const __m512i high = Load(pSrc + 32);
    __m512i br0, g0, br1, g1;
    YuvTerms<FLOAT>(_mm512_maskz_permutex2var_epi8(EVEN_BYTES, low, Indices(YUV444_CHROMA_0), high), br0, g0);
    YuvTerms<FLOAT>(_mm512_maskz_permutex2var_epi8(EVEN_BYTES, low, Indices(YUV444_CHROMA_1), high), br1, g1);
    return Terms<Yuv444Pair>(_mm512_maskz_permutex2var_epi8(EVEN_BYTES, low, Indices(YUV444_LUMA), high), br0, g0,
                             br1, g1);
}

template <bool FLOAT>
void Yuv444Rows(const uint8_t* pSrc, uint8_t* pDst, int nPixels)
{
    for (int i = 0; i < nPixels; i += BLOCK, pSrc += 3 * BLOCK, pDst += 3 * BLOCK)
        StoreBgr64(pDst, Yuv444Half<FLOAT>(pSrc), Yuv444Half<FLOAT>(pSrc + 3 * HALF));
}

constexpr CONVERT_ROWS AVX512_ROWS = {
    "avx512",
    // Grey rows are bound by memory already with AVX2.
    {nullptr, nullptr, YuvRow<Yuv411Rows<true>, Yuv411Rows<false>>,
     YuvRow<Yuv422Rows<true>, Yuv422Rows<false>>, YuvRow<Yuv444Rows<true>, Yuv444Rows<false>>},
    {1, 1, BLOCK, BLOCK, BLOCK},
    // Every processor with AVX-512BW has AVX2.
    Avx2Rows,
};

}  // namespace

const CONVERT_ROWS* Avx512Rows()
{
    return &AVX512_ROWS;
}

#else

const CONVERT_ROWS* Avx512Rows()
{
    return nullptr;
}

#endif
