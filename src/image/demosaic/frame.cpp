// The frame walk: argument checks, the padded input rows that define the
// borders, each row's filter phase, and the split of each row between a SIMD
// kernel and the reference kernel.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "image/demosaic/demosaic_rows.h"
#include "image/demosaic/filter_phase.h"

namespace {

constexpr int WINDOW_ROWS = 5;
// Sizes whose mirrored indices (up to 5 past the edge) still fit an int.
constexpr int MAX_SIZE = INT_MAX - 8;

// Reflect-101 about the edge pixels: -1 is 1, n is n - 2. Mirroring keeps
// the parity, and so the filter phase, of every index; an image one pixel
// wide or high mirrors everything onto its only pixel.
int Mirror(int i, int n)
{
    if (n == 1)
        return 0;
    const int nPeriod = 2 * (n - 1);
    i %= nPeriod;
    if (i < 0)
        i += nPeriod;
    return i < n ? i : nPeriod - i;
}

// Whether the rows of an image fit its buffer: nRows rows of cbRow bytes,
// cbStride bytes apart.
bool FitsBuffer(size_t cbBuffer, size_t cbStride, uint64_t cbRow, int nRows)
{
    return cbStride >= cbRow && cbBuffer >= cbRow
        && static_cast<uint64_t>(nRows - 1) <= (cbBuffer - cbRow) / cbStride;
}

void LoadRow(const uint8_t* pSrc, int nWidth, bool, uint8_t* pRow)
{
    std::memcpy(pRow, pSrc, static_cast<size_t>(nWidth));
}

// The samples as they are, then swapped in place where their byte order is
// not the processor's (a loop the compiler vectorises).
void LoadRow(const uint8_t* pSrc, int nWidth, bool bLittleEndian, uint16_t* pRow)
{
    std::memcpy(pRow, pSrc, 2 * static_cast<size_t>(nWidth));
    if (bLittleEndian != (std::endian::native == std::endian::little)) {
        for (int x = 0; x < nWidth; ++x)
            pRow[x] = static_cast<uint16_t>(pRow[x] << 8 | pRow[x] >> 8);
    }
}

// Every row on padded copies of the input rows (which also put 16-bit
// samples in native order): pfnRow over whole blocks of nBlock pixels, the
// reference kernel over the rest.
template <typename T, typename ROW_FN>
bool WalkPaddedRows(ROW_FN pfnRow, int nBlock, ROW_FN pfnReference, const uint8_t* pSrc, size_t cbSrcStride,
                    bool bLittleEndian, uint8_t* pDst, size_t cbDstStride, int nWidth, int nHeight,
                    BayerFilter filter, ColourOrder order)
{
    const size_t cbPadded = static_cast<size_t>(nWidth) + 2 * DEMOSAIC_PAD;
    std::vector<T> window;
    try {
        window.resize(WINDOW_ROWS * cbPadded);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Virtual row v (-2 to nHeight + 1) lives in slot v mod 5, padded on
    // both sides; each is loaded once as the window slides down.
    auto RowOf = [&] (int v) {
        return window.data() + ((v + 2 * WINDOW_ROWS) % WINDOW_ROWS) * cbPadded + DEMOSAIC_PAD;
    };
    auto Load = [&] (int v) {
        T* pRow = RowOf(v);
        LoadRow(pSrc + static_cast<size_t>(Mirror(v, nHeight)) * cbSrcStride, nWidth, bLittleEndian, pRow);
        for (int i = 1; i <= DEMOSAIC_PAD; ++i) {
            pRow[-i] = pRow[Mirror(-i, nWidth)];
            pRow[nWidth - 1 + i] = pRow[Mirror(nWidth - 1 + i, nWidth)];
        }
    };
    for (int v = -DEMOSAIC_PAD; v < DEMOSAIC_PAD; ++v)
        Load(v);
    const int nWhole = nWidth - nWidth % nBlock;
    const FILTER_PHASE top = PhaseOf(filter);
    for (int y = 0; y < nHeight; ++y, pDst += cbDstStride) {
        Load(y + DEMOSAIC_PAD);
        const T* ppRows[WINDOW_ROWS];
        for (int i = 0; i < WINDOW_ROWS; ++i)
            ppRows[i] = RowOf(y - DEMOSAIC_PAD + i);
        const FILTER_PHASE phase = RowPhase(top, y);
        const bool bOwnLast = phase.bRedRow == (order == ColourOrder::Bgr);
        T* pOut = reinterpret_cast<T*>(pDst);
        if (nWhole > 0)
            pfnRow(ppRows, pOut, nWhole, phase.bGreenFirst, bOwnLast);
        if (nWhole < nWidth) {
            // Blocks are even: the rest starts in the row's phase.
            for (const T*& pRow : ppRows)
                pRow += nWhole;
            pfnReference(ppRows, pOut + 3 * static_cast<size_t>(nWhole), nWidth - nWhole, phase.bGreenFirst,
                         bOwnLast);
        }
    }
    return true;
}

// 8-bit rows through a SIMD kernel straight from the input, for images at
// least a block and four pixels wide. The blocks cover the pixels two or
// more from the left and right edges (the last block overlaps the one
// before it where the width is not a multiple, writing the same bytes
// again); the reference kernel makes the few edge pixels from short
// mirrored strips of the rows.
void WalkRows8(DemosaicRow8Fn pfnRow, DemosaicRow8Fn pfnEdge, int nBlock, const uint8_t* pSrc,
               size_t cbSrcStride, uint8_t* pDst, size_t cbDstStride, int nWidth, int nHeight,
               BayerFilter filter, ColourOrder order)
{
    constexpr int STRIP = 8;
    const int nWhole = (nWidth - 2 * DEMOSAIC_PAD) / nBlock * nBlock;
    const int nLast = (nWidth - DEMOSAIC_PAD - nBlock) & ~1;
    const int nRight = std::max(DEMOSAIC_PAD + nWhole, nLast + nBlock);
    int stripColumns[2][STRIP];
    for (int j = 0; j < STRIP; ++j) {
        stripColumns[0][j] = Mirror(j - DEMOSAIC_PAD, nWidth);
        stripColumns[1][j] = Mirror(nRight - DEMOSAIC_PAD + j, nWidth);
    }
    const FILTER_PHASE top = PhaseOf(filter);
    for (int y = 0; y < nHeight; ++y, pDst += cbDstStride) {
        const uint8_t* ppRows[WINDOW_ROWS];
        uint8_t strips[2][WINDOW_ROWS][STRIP];
        const uint8_t* ppLeft[WINDOW_ROWS];
        const uint8_t* ppRight[WINDOW_ROWS];
        for (int i = 0; i < WINDOW_ROWS; ++i) {
            ppRows[i] = pSrc + static_cast<size_t>(Mirror(y - DEMOSAIC_PAD + i, nHeight)) * cbSrcStride;
            for (int j = 0; j < STRIP; ++j) {
                strips[0][i][j] = ppRows[i][stripColumns[0][j]];
                strips[1][i][j] = ppRows[i][stripColumns[1][j]];
            }
            ppLeft[i] = strips[0][i] + DEMOSAIC_PAD;
            ppRight[i] = strips[1][i] + DEMOSAIC_PAD;
        }
        const FILTER_PHASE phase = RowPhase(top, y);
        const bool bOwnLast = phase.bRedRow == (order == ColourOrder::Bgr);
        auto Run = [&] (DemosaicRow8Fn pfn, const uint8_t* const* ppFrom, int x, int nPixels, int xFrom) {
            const uint8_t* ppAt[WINDOW_ROWS];
            for (int i = 0; i < WINDOW_ROWS; ++i)
                ppAt[i] = ppFrom[i] + x - xFrom;
            pfn(ppAt, pDst + 3 * static_cast<size_t>(x), nPixels, phase.bGreenFirst != ((x & 1) != 0), bOwnLast);
        };
        Run(pfnRow, ppRows, DEMOSAIC_PAD, nWhole, 0);
        if (nRight > DEMOSAIC_PAD + nWhole)
            Run(pfnRow, ppRows, nLast, nBlock, 0);
        Run(pfnEdge, ppLeft, 0, DEMOSAIC_PAD, 0);
        Run(pfnEdge, ppRight, nRight, nWidth - nRight, nRight);
    }
}

bool ValidFrame(const void* pSrc, size_t cbSrc, size_t cbSrcStride, const void* pDst, size_t cbDst,
                size_t cbDstStride, int nWidth, int nHeight, int cbSample, BayerFilter filter,
                DemosaicMethod method)
{
    const int iMethod = static_cast<int>(method);
    if (pSrc == nullptr || pDst == nullptr || nWidth < 0 || nHeight < 0 || nWidth > MAX_SIZE
        || nHeight > MAX_SIZE || iMethod < 0
        || iMethod >= DEMOSAIC_METHOD_COUNT || static_cast<int>(filter) >= BAYER_FILTER_COUNT)
        return false;
    if (nWidth == 0 || nHeight == 0)
        return true;
    const uint64_t cbSrcRow = static_cast<uint64_t>(nWidth) * cbSample;
    return FitsBuffer(cbSrc, cbSrcStride, cbSrcRow, nHeight)
        && FitsBuffer(cbDst, cbDstStride, 3 * cbSrcRow, nHeight)
        && cbDstStride % cbSample == 0;
}

}  // namespace

bool DemosaicFrame8(const DEMOSAIC_ROWS& rows, const uint8_t* pSrc, size_t cbSrc,
                    size_t cbSrcStride, uint8_t* pDst, size_t cbDst, size_t cbDstStride,
                    int nWidth, int nHeight, BayerFilter filter, DemosaicMethod method,
                    ColourOrder order)
{
    if (!ValidFrame(pSrc, cbSrc, cbSrcStride, pDst, cbDst, cbDstStride, nWidth, nHeight, 1, filter,
                    method))
        return false;
    if (nWidth == 0 || nHeight == 0)
        return true;
    const int i = static_cast<int>(method);
    const DemosaicRow8Fn pfnReference = ReferenceDemosaicRows().pfnRow8[i];
    if (rows.pfnRow8[i] == nullptr || nWidth < rows.nBlock8 + 2 * DEMOSAIC_PAD)
        return WalkPaddedRows<uint8_t>(pfnReference, 1, pfnReference, pSrc, cbSrcStride, false, pDst, cbDstStride,
                                       nWidth, nHeight, filter, order);
    WalkRows8(rows.pfnRow8[i], pfnReference, rows.nBlock8, pSrc, cbSrcStride, pDst, cbDstStride, nWidth,
              nHeight, filter, order);
    return true;
}

bool DemosaicFrame16(const DEMOSAIC_ROWS& rows, const uint8_t* pSrc, size_t cbSrc,
                     size_t cbSrcStride, bool bLittleEndian, uint16_t* pDst, size_t cbDst,
                     size_t cbDstStride, int nWidth, int nHeight, BayerFilter filter,
                     DemosaicMethod method, ColourOrder order)
{
    if (!ValidFrame(pSrc, cbSrc, cbSrcStride, pDst, cbDst, cbDstStride, nWidth, nHeight, 2, filter,
                    method))
        return false;
    if (nWidth == 0 || nHeight == 0)
        return true;
    const int i = static_cast<int>(method);
    const DemosaicRow16Fn pfnReference = ReferenceDemosaicRows().pfnRow16[i];
    const bool bSimd = rows.pfnRow16[i] != nullptr;
    return WalkPaddedRows<uint16_t>(bSimd ? rows.pfnRow16[i] : pfnReference, bSimd ? rows.nBlock16 : 1,
                                    pfnReference, pSrc, cbSrcStride, bLittleEndian, reinterpret_cast<uint8_t*>(pDst),
                                    cbDstStride, nWidth, nHeight, filter, order);
}
