// The colours of a row of a Bayer mosaic: whether it starts with green, and
// whether its other colour is red (else blue). Each step of one row or one
// column swaps the first; each step of one row swaps the second.
#pragma once

#include "image/demosaic/demosaic.h"

struct FILTER_PHASE
{
    bool bGreenFirst;
    bool bRedRow;
};

// The top row of a filter's tile, and the filter whose top row that is.
inline FILTER_PHASE PhaseOf(BayerFilter filter)
{
    switch (filter) {
    case BayerFilter::Rggb: return {false, true};
    case BayerFilter::Gbrg: return {true, false};
    case BayerFilter::Grbg: return {true, true};
    case BayerFilter::Bggr: break;
    }
    return {false, false};
}

inline BayerFilter FilterOf(FILTER_PHASE phase)
{
    if (phase.bGreenFirst)
        return phase.bRedRow ? BayerFilter::Grbg : BayerFilter::Gbrg;
    return phase.bRedRow ? BayerFilter::Rggb : BayerFilter::Bggr;
}

// Row y of an image whose top row is top.
inline FILTER_PHASE RowPhase(FILTER_PHASE top, uint32_t y)
{
    const bool bOdd = (y & 1) != 0;
    return {top.bGreenFirst != bOdd, top.bRedRow != bOdd};
}
