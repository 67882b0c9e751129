// The row kernels, written once over the vector operations of an
// instruction set (V) and instantiated by each SIMD file with its own flags.
// Everything here has internal linkage, so no function compiled with one
// file's flags can stand in for another's copy.
//
// Nearest and bilinear rows work on samples (bytes, or 16-bit samples in
// native order), every pixel of a block at once, and pick each pixel's
// values by its colour. High-quality rows work a block
// of V::N pixels as two halves in 16-bit lanes: the even pixels and the odd
// ones, one of them green and the other the row's own colour. Each unaligned
// load of N samples at offset d from the block gives the sample d columns
// away from every even pixel (its low half) and from every odd pixel (its
// high half). The sums are those of the reference kernels; they stay within
// -3060..7148 for 8-bit samples in 16-bit lanes (16-bit samples use 32-bit
// lanes), and the final pack clamps as the reference does.
#pragma once

#include <array>
#include <cstdint>

#include "image/demosaic/demosaic_rows.h"

namespace {

// The byte shuffles that interleave three planes of 16 bytes (samples of
// cbSample bytes) into 48 bytes of pixels: part k of the output takes from
// plane c the bytes its mask names (-128: none).
constexpr std::array<int8_t, 16> InterleaveMask(int k, int c, int cbSample)
{
    std::array<int8_t, 16> mask{};
    for (int j = 0; j < 16; ++j) {
        const int g = 16 / cbSample * k + j / cbSample;
        mask[j] = static_cast<int8_t>(g % 3 == c ? g / 3 * cbSample + j % cbSample : -128);
    }
    return mask;
}

template <int CB_SAMPLE>
constexpr std::array<std::array<std::array<int8_t, 16>, 3>, 3> INTERLEAVE_MASKS = {{
    {InterleaveMask(0, 0, CB_SAMPLE), InterleaveMask(0, 1, CB_SAMPLE), InterleaveMask(0, 2, CB_SAMPLE)},
    {InterleaveMask(1, 0, CB_SAMPLE), InterleaveMask(1, 1, CB_SAMPLE), InterleaveMask(1, 2, CB_SAMPLE)},
    {InterleaveMask(2, 0, CB_SAMPLE), InterleaveMask(2, 1, CB_SAMPLE), InterleaveMask(2, 2, CB_SAMPLE)},
}};

// The pixels of a pack of the even and the odd half (even pixels in the
// first 8 bytes of each 16), put back in order.
constexpr std::array<int8_t, 16> EVEN_ODD_MASK = {0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15};
// The same for 16-bit samples: four even ones, then four odd ones.
constexpr std::array<int8_t, 16> EVEN_ODD_MASK_16 = {0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15};

// The samples one pixel of each half needs, as 16-bit lanes: its row at
// offsets -2..2, the rows above and below at -1..1, two rows away at 0.
template <class V>
struct SAMPLES
{
    typename V::Reg c[5], u[3], d[3], uu, dd;
};

template <class V>
struct TRIPLE
{
    typename V::Reg own, green, other;
};

template <class V>
void LoadBlock(const typename V::Sample* const* ppRows, int x, SAMPLES<V>& even, SAMPLES<V>& odd)
{
    auto Split = [] (const typename V::Sample* p, typename V::Reg& e, typename V::Reg& o) {
        const typename V::Reg v = V::Load(p);
        e = V::Even(v);
        o = V::Odd(v);
    };
    for (int i = 0; i < 5; ++i)
        Split(ppRows[2] + x + i - 2, even.c[i], odd.c[i]);
    for (int i = 0; i < 3; ++i) {
        Split(ppRows[1] + x + i - 1, even.u[i], odd.u[i]);
        Split(ppRows[3] + x + i - 1, even.d[i], odd.d[i]);
    }
    Split(ppRows[0] + x, even.uu, odd.uu);
    Split(ppRows[4] + x, even.dd, odd.dd);
}

// A block's three colours, as bytes in pixel order, in the output's order.
template <class V, bool OWN_LAST>
void StorePixels(typename V::Sample* pDst, typename V::Reg own, typename V::Reg green, typename V::Reg other)
{
    if constexpr (OWN_LAST)
        V::Store3(pDst, other, green, own);
    else
        V::Store3(pDst, own, green, other);
}

// (s + 8) >> 4: a sum in sixteenths, rounded half up.
template <class V>
typename V::Reg Sixteenths(typename V::Reg s)
{
    return V::template Sar<4>(V::Add(s, V::Set(8)));
}

// The high-quality estimates at the green pixels of a half, and at the
// pixels of the row's own colour.
template <class V>
TRIPLE<V> GreenLanes(const SAMPLES<V>& s)
{
    using R = typename V::Reg;
    const R g = s.c[2];
    const R diagonal = V::Add(V::Add(s.u[0], s.u[2]), V::Add(s.d[0], s.d[2]));
    const R across = V::Add(s.c[0], s.c[4]);
    const R along = V::Add(s.uu, s.dd);
    const R base = V::Sub(V::Add(V::template Shl<3>(g), V::template Shl<1>(g)), V::template Shl<1>(diagonal));
    const R own = V::Add(V::Sub(V::Add(base, V::template Shl<3>(V::Add(s.c[1], s.c[3]))), V::template Shl<1>(across)),
                         along);
    const R other = V::Add(V::Sub(V::Add(base, V::template Shl<3>(V::Add(s.u[1], s.d[1]))), V::template Shl<1>(along)),
                           across);
    return {Sixteenths<V>(own), g, Sixteenths<V>(other)};
}

template <class V>
TRIPLE<V> OwnLanes(const SAMPLES<V>& s)
{
    using R = typename V::Reg;
    const R own = s.c[2];
    const R cross = V::Add(V::Add(s.c[1], s.c[3]), V::Add(s.u[1], s.d[1]));
    const R diagonal = V::Add(V::Add(s.u[0], s.u[2]), V::Add(s.d[0], s.d[2]));
    const R ring = V::Add(V::Add(s.c[0], s.c[4]), V::Add(s.uu, s.dd));
    const R green = V::Sub(V::Add(V::template Shl<3>(own), V::template Shl<2>(cross)), V::template Shl<1>(ring));
    const R other = V::Sub(V::Add(V::Add(V::template Shl<3>(own), V::template Shl<2>(own)), V::template Shl<2>(diagonal)),
                           V::Add(ring, V::template Shl<1>(ring)));
    return {own, Sixteenths<V>(green), Sixteenths<V>(other)};
}

template <class V, bool GREEN_FIRST, bool OWN_LAST>
void HighQualityRow(const typename V::Sample* const* ppRows, typename V::Sample* pDst, int nPixels)
{
    for (int x = 0; x < nPixels; x += V::N, pDst += 3 * V::N) {
        SAMPLES<V> even, odd;
        LoadBlock<V>(ppRows, x, even, odd);
        const TRIPLE<V> e = GREEN_FIRST ? GreenLanes<V>(even) : OwnLanes<V>(even);
        const TRIPLE<V> o = GREEN_FIRST ? OwnLanes<V>(odd) : GreenLanes<V>(odd);
        StorePixels<V, OWN_LAST>(pDst, V::Pack(e.own, o.own), V::Pack(e.green, o.green), V::Pack(e.other, o.other));
    }
}

// (a + b + c + d + 2) >> 2 from ab = (a + b + 1) >> 1 and cd = (c + d + 1) >> 1,
// on samples: with s = a + b = 2ab - p and t = c + d = 2cd - q (p, q the low
// bits of a ^ b and c ^ d), the sum is 2(ab + cd) + 2 - p - q, so the
// average of ab and cd, rounded up, is one too high exactly when p or q is
// set and ab + cd is odd.
template <class V>
typename V::Reg Average4(typename V::Reg a, typename V::Reg b, typename V::Reg c, typename V::Reg d,
                         typename V::Reg ab, typename V::Reg cd)
{
    const typename V::Reg over = V::And(V::And(V::Or(V::Xor(a, b), V::Xor(c, d)), V::Xor(ab, cd)), V::Ones());
    return V::SubSample(V::Avg(ab, cd), over);
}

// Bilinear rows work on samples: every average of two is the processor's
// rounding average, every average of four is Average4, worked for all pixels
// and then chosen by the pixel's colour.
template <class V, bool GREEN_FIRST, bool OWN_LAST>
void BilinearRow(const typename V::Sample* const* ppRows, typename V::Sample* pDst, int nPixels)
{
    using R = typename V::Reg;
    for (int x = 0; x < nPixels; x += V::N, pDst += 3 * V::N) {
        const R left = V::Load(ppRows[2] + x - 1), centre = V::Load(ppRows[2] + x), right = V::Load(ppRows[2] + x + 1);
        const R upLeft = V::Load(ppRows[1] + x - 1), up = V::Load(ppRows[1] + x), upRight = V::Load(ppRows[1] + x + 1);
        const R downLeft = V::Load(ppRows[3] + x - 1), down = V::Load(ppRows[3] + x),
                downRight = V::Load(ppRows[3] + x + 1);
        const R across = V::Avg(left, right);
        const R along = V::Avg(up, down);
        const R cross = Average4<V>(left, right, up, down, across, along);
        const R diagonal = Average4<V>(upLeft, upRight, downLeft, downRight, V::Avg(upLeft, upRight),
                                       V::Avg(downLeft, downRight));
        // Select(even pixels, odd pixels).
        const R own = GREEN_FIRST ? V::Select(across, centre) : V::Select(centre, across);
        const R green = GREEN_FIRST ? V::Select(centre, cross) : V::Select(cross, centre);
        const R other = GREEN_FIRST ? V::Select(along, diagonal) : V::Select(diagonal, along);
        StorePixels<V, OWN_LAST>(pDst, own, green, other);
    }
}

// Nearest rows copy samples: each colour from the pixel or its neighbour to
// the right, in its row or the row below.
template <class V, bool GREEN_FIRST, bool OWN_LAST>
void NearestRow(const typename V::Sample* const* ppRows, typename V::Sample* pDst, int nPixels)
{
    using R = typename V::Reg;
    for (int x = 0; x < nPixels; x += V::N, pDst += 3 * V::N) {
        const R centre = V::Load(ppRows[2] + x), right = V::Load(ppRows[2] + x + 1);
        const R down = V::Load(ppRows[3] + x), downRight = V::Load(ppRows[3] + x + 1);
        const R own = GREEN_FIRST ? V::Select(right, centre) : V::Select(centre, right);
        const R green = GREEN_FIRST ? V::Select(centre, right) : V::Select(right, centre);
        const R other = GREEN_FIRST ? V::Select(down, downRight) : V::Select(downRight, down);
        StorePixels<V, OWN_LAST>(pDst, own, green, other);
    }
}

template <class V, DemosaicMethod METHOD, bool GREEN_FIRST, bool OWN_LAST>
void SimdRow(const typename V::Sample* const* ppRows, typename V::Sample* pDst, int nPixels)
{
    if constexpr (METHOD == DemosaicMethod::Nearest)
        NearestRow<V, GREEN_FIRST, OWN_LAST>(ppRows, pDst, nPixels);
    else if constexpr (METHOD == DemosaicMethod::Bilinear)
        BilinearRow<V, GREEN_FIRST, OWN_LAST>(ppRows, pDst, nPixels);
    else
        HighQualityRow<V, GREEN_FIRST, OWN_LAST>(ppRows, pDst, nPixels);
}

template <class V, DemosaicMethod METHOD>
void SimdRowOf(const typename V::Sample* const* ppRows, typename V::Sample* pDst, int nPixels, bool bGreenFirst,
               bool bOwnLast)
{
    if (bGreenFirst) {
        if (bOwnLast)
            SimdRow<V, METHOD, true, true>(ppRows, pDst, nPixels);
        else
            SimdRow<V, METHOD, true, false>(ppRows, pDst, nPixels);
    } else {
        if (bOwnLast)
            SimdRow<V, METHOD, false, true>(ppRows, pDst, nPixels);
        else
            SimdRow<V, METHOD, false, false>(ppRows, pDst, nPixels);
    }
}

// The kernel set of an instruction set: every method for 8-bit samples (V8)
// and for 16-bit samples (V16), high quality where V16 has the operations of
// 32-bit lanes it needs.
template <class V>
constexpr auto HighQualityRowOf() -> void (*)(const typename V::Sample* const*, typename V::Sample*, int, bool, bool)
{
    if constexpr (V::HIGH_QUALITY)
        return SimdRowOf<V, DemosaicMethod::HighQuality>;
    else
        return nullptr;
}

template <class V8, class V16>
constexpr DEMOSAIC_ROWS SimdRows(const char* pszName)
{
    return {pszName,
            {SimdRowOf<V8, DemosaicMethod::Nearest>, SimdRowOf<V8, DemosaicMethod::Bilinear>, HighQualityRowOf<V8>()},
            {SimdRowOf<V16, DemosaicMethod::Nearest>, SimdRowOf<V16, DemosaicMethod::Bilinear>,
             HighQualityRowOf<V16>()},
            V8::N,
            V16::N};
}

}  // namespace
