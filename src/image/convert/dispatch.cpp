// Choosing the row kernels from the processor's features, once per process.
#include "image/convert/convert_rows.h"

#include <initializer_list>

namespace {

enum class CpuFeature { Ssse3, Avx2, Avx512 };

// __builtin_cpu_supports also checks that the system saves the AVX state.
bool HasCpuFeature(CpuFeature feature)
{
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
    // Explicit, as the first use may come from a static constructor.
    __builtin_cpu_init();
    switch (feature) {
    case CpuFeature::Ssse3: return __builtin_cpu_supports("ssse3");
    case CpuFeature::Avx2: return __builtin_cpu_supports("avx2");
    case CpuFeature::Avx512:
        return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    }
#endif
    (void)feature;
    return false;
}

}  // namespace

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
