// Choosing the demosaicing kernels from the processor's features, once per
// process.
#include <initializer_list>

#include "image/cpu_features.h"
#include "image/demosaic/demosaic_rows.h"

const DEMOSAIC_ROWS* FindDemosaicRows(DemosaicIsa isa)
{
    switch (isa) {
    case DemosaicIsa::Reference: return &ReferenceDemosaicRows();
    case DemosaicIsa::Ssse3:
        return HasCpuFeature(CpuFeature::Ssse3) ? Ssse3DemosaicRows() : nullptr;
    case DemosaicIsa::Avx2: return HasCpuFeature(CpuFeature::Avx2) ? Avx2DemosaicRows() : nullptr;
    case DemosaicIsa::Avx512:
        return HasCpuFeature(CpuFeature::Avx512) ? Avx512DemosaicRows() : nullptr;
    }
    return nullptr;
}

const DEMOSAIC_ROWS& ActiveDemosaicRows()
{
    static const DEMOSAIC_ROWS& s_rows = [] () -> const DEMOSAIC_ROWS& {
        for (DemosaicIsa isa : {DemosaicIsa::Avx512, DemosaicIsa::Avx2, DemosaicIsa::Ssse3}) {
            if (const DEMOSAIC_ROWS* pRows = FindDemosaicRows(isa))
                return *pRows;
        }
        return ReferenceDemosaicRows();
    }();
    return s_rows;
}
