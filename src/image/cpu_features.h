// The processor features the image code's SIMD kernels need, asked at run
// time. Only files built without instruction-set flags include this, so the
// question itself never runs instructions the processor may lack.
#pragma once

enum class CpuFeature { Ssse3, Avx2, Avx512 };

// Avx512 means AVX-512BW together with AVX-512VBMI. __builtin_cpu_supports
// also checks that the system saves the AVX state.
inline bool HasCpuFeature(CpuFeature feature)
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
