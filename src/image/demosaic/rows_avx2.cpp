// Avx2 demosaicing kernels (not yet vectorised: the reference does the work).
#include "image/demosaic/demosaic_rows.h"

const DEMOSAIC_ROWS* Avx2DemosaicRows()
{
    return nullptr;
}
