#pragma once

// The wider vector instruction sets (AVX2, AVX-512) beside the SSE2 baseline of every x86 build. Kernels
// that use them are compiled for them function by function and chosen at run time, where the processor
// has them. They are left out of 32-bit builds (eight vector registers hold too few values to gain).
// 64-bit Windows builds have them too: their GCC does not realign the stack for 32- and 64-byte vectors,
// so the build has the assembler encode every aligned vector move as an unaligned one
// (-Wa,-muse-unaligned-vector-move in the top-level CMakeLists.txt), and a spill to a stack slot that is
// only 16-byte aligned cannot fault.

#if defined(__x86_64__)
#define KELVANE_WIDE_VECTORS 1
#include <immintrin.h>
#else
#define KELVANE_WIDE_VECTORS 0
#endif

namespace Velmora {

// What this build and processor offer of the wider sets.
struct WideVectorSupport {
    bool avx2 = false;
    bool avx512 = false;  // AVX-512F
};

inline WideVectorSupport ProcessorWideVectors() {
    WideVectorSupport support;
#if KELVANE_WIDE_VECTORS
    __builtin_cpu_init();
    support.avx2 = __builtin_cpu_supports("avx2") != 0;
    support.avx512 = __builtin_cpu_supports("avx512f") != 0;
#endif
    return support;
}

}  // namespace Velmora
