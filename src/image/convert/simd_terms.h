// Integer and single-precision forms of the YUV colour terms for the SIMD
// kernels. Each reproduces the reference terms exactly for every U' and V'
// in -128..127; the converter tests check all of them. And the row kernel
// that picks a formula's kernel.
#pragma once

#include <bit>
#include <cstdint>

// Blue and red, floating-point formula: trunc(c x) = sign(x) floor(c |x|),
// and floor(c a) = (8a x M) >> 16 for a = 0..128 with
//   blue  M = 14508 (3627 / 2048 lies within [1.770833, 1.771084)),
//   red   M = 11487 (11487 / 8192 lies within [1.402174, 1.402299)),
// the intervals where floor(M a / 2^k) = floor(c a) for every a.
constexpr int TERM_MAGNITUDE_SHIFT = 3;
constexpr int16_t BLUE_MULTIPLIER = 14508;
constexpr int16_t RED_MULTIPLIER = 11487;

// Green, floating-point formula: trunc(-(7144 V' + 3457 U') / 10000). The
// integer sum is exact; its quotient lies at least 1e-4 from the next integer
// unless it is one, and single precision keeps |error| below 2e-5 there. The
// scale is the float just above 1e-4 so that an exact integer quotient never
// lands below the integer.
constexpr int16_t GREEN_U_WEIGHT = -3457;
constexpr int16_t GREEN_V_WEIGHT = -7144;
constexpr float GREEN_SCALE = 0x1.a36e3p-14f;
static_assert(std::bit_cast<uint32_t>(GREEN_SCALE) == std::bit_cast<uint32_t>(1e-4f) + 1);
static_assert(static_cast<double>(GREEN_SCALE) > 1e-4);

// Green, integer approximation: (41 U') >> 8 and V' >> 1 = (128 V') >> 8.
constexpr int16_t INT_GREEN_U_MULTIPLIER = 41;
constexpr int16_t INT_GREEN_V_MULTIPLIER = 128;

// Two 16-bit constants as one 32-bit lane, the first in the low half: the
// U, V order of a chroma pair in 16-bit lanes. consteval: no code is emitted
// under the flags of a SIMD file.
consteval int PairOf(int16_t nLow, int16_t nHigh)
{
    return static_cast<int>((static_cast<uint32_t>(static_cast<uint16_t>(nHigh)) << 16)
                            | static_cast<uint16_t>(nLow));
}

// The row kernel of a YUV coding, from the kernels of its two formulas. A
// kernel file's instantiations take that file's kernels, which have internal
// linkage, so they too are the file's own, built with its flags.
template <void (*FLOAT_ROW)(const uint8_t*, uint8_t*, int), void (*INT_ROW)(const uint8_t*, uint8_t*, int)>
void YuvRow(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool bFloatYuv)
{
    (bFloatYuv ? FLOAT_ROW : INT_ROW)(pSrc, pDst, nPixels);
}
