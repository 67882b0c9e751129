// Row kernels behind demosaic.h, one set per instruction set, and the frame
// walk that runs a chosen set.
//
// A row kernel makes nPixels output pixels of one row from five padded input
// rows: ppRows[0..4] are the rows two above to two below, each readable from
// index -2 to nPixels + 1, so a kernel never looks at an edge. The row's
// pixels alternate between green and the row's own colour (red or blue);
// bGreenFirst tells which comes first, and bOwnLast puts the own colour in
// the third output sample (and the other, from the rows above and below, in
// the first), else the other way round. An 8-bit SIMD kernel takes a multiple
// of its block (an even count) only and reads its rows straight from the
// input; the frame walk leaves the pixels near the left and right edges to the
// reference kernel. 16-bit kernels work on padded rows in native order,
// over whole blocks; the reference takes the rest of the row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/demosaic/demosaic.h"

constexpr int DEMOSAIC_METHOD_COUNT = 3;
// Input pixels padded onto each side of a row.
constexpr int DEMOSAIC_PAD = 2;

enum class DemosaicIsa { Reference, Ssse3, Avx2, Avx512 };

using DemosaicRow8Fn = void (*)(const uint8_t* const* ppRows, uint8_t* pDst, int nPixels,
                                bool bGreenFirst, bool bOwnLast);
using DemosaicRow16Fn = void (*)(const uint16_t* const* ppRows, uint16_t* pDst, int nPixels,
                                 bool bGreenFirst, bool bOwnLast);

struct DEMOSAIC_ROWS
{
    const char* pszName;
    DemosaicRow8Fn pfnRow8[DEMOSAIC_METHOD_COUNT];     // by DemosaicMethod; null: the reference's
    DemosaicRow16Fn pfnRow16[DEMOSAIC_METHOD_COUNT];   // null: the reference's
    int nBlock8;                                       // pixels per block of pfnRow8
    int nBlock16;                                      // pixels per block of pfnRow16
};

// The kernel sets. A SIMD getter returns null when the build has no such
// kernels (another architecture, or the file was built without its flags).
const DEMOSAIC_ROWS& ReferenceDemosaicRows();
const DEMOSAIC_ROWS* Ssse3DemosaicRows();
const DEMOSAIC_ROWS* Avx2DemosaicRows();
const DEMOSAIC_ROWS* Avx512DemosaicRows();   // AVX-512BW and AVX-512VBMI

// The set for an instruction set, or null when this build or this processor
// lacks it.
const DEMOSAIC_ROWS* FindDemosaicRows(DemosaicIsa isa);
// The fastest set this processor runs, chosen on first use.
const DEMOSAIC_ROWS& ActiveDemosaicRows();

// Demosaic8 and Demosaic16 with a given kernel set.
bool DemosaicFrame8(const DEMOSAIC_ROWS& rows, const uint8_t* pSrc, size_t cbSrc,
                    size_t cbSrcStride, uint8_t* pDst, size_t cbDst, size_t cbDstStride,
                    int nWidth, int nHeight, BayerFilter filter, DemosaicMethod method,
                    ColourOrder order);
bool DemosaicFrame16(const DEMOSAIC_ROWS& rows, const uint8_t* pSrc, size_t cbSrc,
                     size_t cbSrcStride, bool bLittleEndian, uint16_t* pDst, size_t cbDst,
                     size_t cbDstStride, int nWidth, int nHeight, BayerFilter filter,
                     DemosaicMethod method, ColourOrder order);
