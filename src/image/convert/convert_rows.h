// Row kernels behind the frame functions of convert.h, one set per
// instruction set, and the frame conversion that runs a chosen set.
//
// A row kernel converts nPixels pixels of one source row into 3 x nPixels
// bytes of blue, green, red. The reference kernels take any pixel count; a
// SIMD kernel takes a multiple of its block size only and reads and writes
// exactly the bytes of those blocks. ConvertRow runs a set's kernel over the
// whole blocks of a row and its tail set (a narrower SIMD set, else the
// reference) over the rest.
#pragma once

#include <cstddef>
#include <cstdint>

enum class RawCoding { Mono8, Mono16, Yuv411, Yuv422, Yuv444 };
constexpr int RAW_CODING_COUNT = 5;

enum class ConvertIsa { Reference, Ssse3, Avx2, Avx512 };

using ConvertRowFn = void (*)(const uint8_t* pSrc, uint8_t* pDst, int nPixels, bool bFloatYuv);

struct CONVERT_ROWS
{
    const char* pszName;
    ConvertRowFn pfnRow[RAW_CODING_COUNT];   // indexed by RawCoding; null: the tail set's
    int nBlock[RAW_CODING_COUNT];            // pixels per block
    const CONVERT_ROWS* (*pfnTailRows)();    // for the rest of a row; null: the reference
};

// Source bytes of nPixels pixels of one row (whole chroma units).
uint64_t RawRowBytes(RawCoding coding, uint64_t nPixels);

// The kernel sets. A SIMD getter returns null when the build has no such
// kernels (another architecture, or the file was built without its flags).
const CONVERT_ROWS& ReferenceRows();
const CONVERT_ROWS* Ssse3Rows();
const CONVERT_ROWS* Avx2Rows();
const CONVERT_ROWS* Avx512Rows();   // AVX-512BW and AVX-512VBMI

// The set for an instruction set, or null when this build or this processor
// lacks it.
const CONVERT_ROWS* FindConvertRows(ConvertIsa isa);
// The fastest set this processor runs, chosen on first use.
const CONVERT_ROWS& ActiveConvertRows();

void ConvertRow(const CONVERT_ROWS& rows, RawCoding coding, const uint8_t* pSrc, uint8_t* pDst,
                int nPixels, bool bFloatYuv);

// The frame conversion of convert.h with a given kernel set.
bool ConvertFrameToBgr24(const CONVERT_ROWS& rows, RawCoding coding, const uint8_t* pSrc,
                         size_t cbSrc, uint8_t* pDst, size_t cbDst, int nWidth, int nHeight,
                         bool bFloatYuv);
