// Choosing the row kernels from the processor's features, once per process.
#include "image/convert/convert_rows.h"

#include <initializer_list>

#include "image/cpu_features.h"

const CONVERT_ROWS* FindConvertRows(ConvertIsa isa)
{
    switch (isa) {
    case ConvertIsa::Reference: return &ReferenceRows();
    case ConvertIsa::Ssse3: return HasCpuFeature(CpuFeature::Ssse3) ? Ssse3Rows() : nullptr;
    case ConvertIsa::Avx2: return HasCpuFeature(CpuFeature::Avx2) ? Avx2Rows() : nullptr;
    case ConvertIsa::Avx512: return HasCpuFeature(CpuFeature::Avx512) ? Avx512Rows() : nullptr;
    }
    return nullptr;
}

const CONVERT_ROWS& ActiveConvertRows()
{
    static const CONVERT_ROWS& s_rows = [] () -> const CONVERT_ROWS& {
        for (ConvertIsa isa : {ConvertIsa::Avx512, ConvertIsa::Avx2, ConvertIsa::Ssse3}) {
            if (const CONVERT_ROWS* pRows = FindConvertRows(isa))
                return *pRows;
        }
        return ReferenceRows();
    }();
    return s_rows;
}
