#include "dsp/FirKernels.h"

#include <emmintrin.h>

// The wider kernels use instructions that only some processors have; they are compiled for those
// instructions function by function and chosen at run time. They are left out of 32-bit builds (eight
// vector registers hold too few accumulators to gain) and of Windows builds, whose 64-bit GCC does not
// realign the stack for 32- and 64-byte vectors.
#if defined(__x86_64__) && !defined(_WIN32)
#define KELVANE_WIDE_FIR 1
#include <immintrin.h>
#else
#define KELVANE_WIDE_FIR 0
#endif

namespace Velmora {

__attribute__((noinline)) double FirReferenceSum(const double* newest, const double* taps, std::size_t count) {
    double sum = 0.0;
    for (std::size_t l = 0; l < count; ++l) sum = newest[-static_cast<std::ptrdiff_t>(l)] * taps[l] + sum;
    return sum;
}

namespace {

void ReferenceOutputs(const double* x, const double* taps, std::size_t count, double* out, std::size_t from,
                      std::size_t n) {
    for (std::size_t j = from; j < n; ++j) out[j] = FirReferenceSum(x + (count - 1) + j, taps, count);
}

// One kernel per instruction set from one body: ACCS independent accumulator registers of WIDTH outputs
// each keep the adder busy (an add waits for the previous add of the same register); each register sums
// its lanes' products in ascending tap order, product first as in the reference sum. Leftover outputs go
// through single registers, then through the reference sum.
#define KELVANE_FIR_KERNEL(NAME, TARGET, VEC, WIDTH, ACCS, ZERO, BROADCAST, LOAD, STORE, MUL, ADD)           \
    TARGET void NAME(const double* x, const double* taps, std::size_t count, double* out, std::size_t n) {   \
        const double* newest = x + (count - 1);                                                              \
        std::size_t j = 0;                                                                                   \
        for (; j + (WIDTH) * (ACCS) <= n; j += (WIDTH) * (ACCS)) {                                           \
            VEC acc[ACCS];                                                                                   \
            _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k) acc[k] = ZERO();                       \
            for (std::size_t l = 0; l < count; ++l) {                                                        \
                const VEC t = BROADCAST(taps[l]);                                                            \
                const double* p = newest + j - l;                                                            \
                _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k)                                    \
                    acc[k] = ADD(MUL(LOAD(p + k * (WIDTH)), t), acc[k]);                                     \
            }                                                                                                \
            _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k) STORE(out + j + k * (WIDTH), acc[k]);  \
        }                                                                                                    \
        for (; j + (WIDTH) <= n; j += (WIDTH)) {                                                             \
            VEC acc = ZERO();                                                                                \
            for (std::size_t l = 0; l < count; ++l) acc = ADD(MUL(LOAD(newest + j - l), BROADCAST(taps[l])), acc); \
            STORE(out + j, acc);                                                                             \
        }                                                                                                    \
        ReferenceOutputs(x, taps, count, out, j, n);                                                         \
    }

#if KELVANE_WIDE_FIR
#define KELVANE_SSE2_ACCS 8
#else
#define KELVANE_SSE2_ACCS 4  // eight registers in 32-bit builds: four sums, a tap and a load
#endif

KELVANE_FIR_KERNEL(FilterSse2, , __m128d, 2, KELVANE_SSE2_ACCS, _mm_setzero_pd, _mm_set1_pd, _mm_loadu_pd,
                   _mm_storeu_pd, _mm_mul_pd, _mm_add_pd)

#if KELVANE_WIDE_FIR
KELVANE_FIR_KERNEL(FilterAvx2, __attribute__((target("avx2"))), __m256d, 4, 8, _mm256_setzero_pd,
                   _mm256_set1_pd, _mm256_loadu_pd, _mm256_storeu_pd, _mm256_mul_pd, _mm256_add_pd)
KELVANE_FIR_KERNEL(FilterAvx512, __attribute__((target("avx512f"))), __m512d, 8, 8, _mm512_setzero_pd,
                   _mm512_set1_pd, _mm512_loadu_pd, _mm512_storeu_pd, _mm512_mul_pd, _mm512_add_pd)
#endif

}  // namespace

FirBlockKernel FirKernelFor(FirPath path) {
#if KELVANE_WIDE_FIR
    __builtin_cpu_init();
    const bool avx512 = __builtin_cpu_supports("avx512f");
    const bool avx2 = __builtin_cpu_supports("avx2");
    if (path == FirPath::Fastest) path = avx512 ? FirPath::Avx512 : (avx2 ? FirPath::Avx2 : FirPath::Sse2);
    if (path == FirPath::Avx512) return avx512 ? FilterAvx512 : nullptr;
    if (path == FirPath::Avx2) return avx2 ? FilterAvx2 : nullptr;
#else
    if (path == FirPath::Fastest) path = FirPath::Sse2;
#endif
    if (path == FirPath::Sse2) return FilterSse2;
    return nullptr;
}

}  // namespace Velmora
