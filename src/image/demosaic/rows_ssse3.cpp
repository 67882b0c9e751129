// Ssse3 demosaicing kernels (not yet vectorised: the reference does the work).
#include "image/demosaic/demosaic_rows.h"

const DEMOSAIC_ROWS* Ssse3DemosaicRows()
{
    return nullptr;
}
