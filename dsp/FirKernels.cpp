#include "dsp/FirKernels.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>

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

constexpr std::size_t kMaxLanes = 8;
constexpr std::size_t kRowAlignment = 64;  // bytes: the widest register

double* AlignedRows(double* scratch) {
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(scratch);
    return scratch + ((kRowAlignment - at % kRowAlignment) % kRowAlignment) / sizeof(double);
}

// One kernel per instruction set from one body. Lane i of a register carries the outputs i * rows ..
// i * rows + rows - 1, so that the samples that the lanes need for one tap lie side by side: the samples
// are first laid out lane-interleaved (row m holds sample i * rows + m of every lane i), and every load is
// then a whole aligned row, never split across cache lines. ACCS registers of consecutive rows keep the
// adder busy (an add waits for the previous add into the same register); each lane sums its products in
// ascending tap order, product first, as the reference sum does. Lanes past the last output read zeros
// and are dropped.
#define KELVANE_FIR_KERNEL(NAME, TARGET, VEC, WIDTH, ACCS, ZERO, BROADCAST, LOAD, STORE, MUL, ADD)            \
    TARGET void NAME(const double* x, const double* taps, std::size_t count, double* out, std::size_t n,     \
                     double* scratch) {                                                                       \
        const std::size_t rows = (n + (WIDTH) - 1) / (WIDTH);                                                 \
        const std::size_t span = rows + count - 1;                                                            \
        const std::size_t available = count - 1 + n;                                                          \
        double* const lanes = AlignedRows(scratch);                                                           \
        double* const sums = lanes + span * (WIDTH);                                                          \
        for (std::size_t i = 0; i < (WIDTH); ++i) {                                                           \
            const std::size_t first = i * rows;                                                               \
            const std::size_t copied = first >= available ? 0 : std::min(span, available - first);           \
            for (std::size_t m = 0; m < copied; ++m) lanes[m * (WIDTH) + i] = x[first + m];                  \
            for (std::size_t m = copied; m < span; ++m) lanes[m * (WIDTH) + i] = 0.0;                        \
        }                                                                                                     \
        std::size_t r = 0;                                                                                    \
        for (; r + (ACCS) <= rows; r += (ACCS)) {                                                             \
            VEC acc[ACCS];                                                                                    \
            _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k) acc[k] = ZERO();                        \
            for (std::size_t l = 0; l < count; ++l) {                                                         \
                const VEC t = BROADCAST(taps[l]);                                                             \
                const double* p = lanes + (r + count - 1 - l) * (WIDTH);                                      \
                _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k)                                     \
                    acc[k] = ADD(MUL(LOAD(p + k * (WIDTH)), t), acc[k]);                                      \
            }                                                                                                 \
            _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k) STORE(sums + (r + k) * (WIDTH), acc[k]); \
        }                                                                                                     \
        for (; r < rows; ++r) {                                                                               \
            VEC acc = ZERO();                                                                                 \
            for (std::size_t l = 0; l < count; ++l)                                                           \
                acc = ADD(MUL(LOAD(lanes + (r + count - 1 - l) * (WIDTH)), BROADCAST(taps[l])), acc);         \
            STORE(sums + r * (WIDTH), acc);                                                                   \
        }                                                                                                     \
        for (std::size_t i = 0; i < (WIDTH); ++i) {                                                           \
            for (std::size_t q = 0; q < rows && i * rows + q < n; ++q) out[i * rows + q] = sums[q * (WIDTH) + i]; \
        }                                                                                                     \
    }

#if KELVANE_WIDE_FIR
#define KELVANE_SSE2_ACCS 8
#else
#define KELVANE_SSE2_ACCS 4  // eight registers in 32-bit builds: four sums, a tap and a load
#endif

KELVANE_FIR_KERNEL(FilterSse2, , __m128d, 2, KELVANE_SSE2_ACCS, _mm_setzero_pd, _mm_set1_pd, _mm_load_pd,
                   _mm_store_pd, _mm_mul_pd, _mm_add_pd)

#if KELVANE_WIDE_FIR
KELVANE_FIR_KERNEL(FilterAvx2, __attribute__((target("avx2"))), __m256d, 4, 8, _mm256_setzero_pd,
                   _mm256_set1_pd, _mm256_load_pd, _mm256_store_pd, _mm256_mul_pd, _mm256_add_pd)
KELVANE_FIR_KERNEL(FilterAvx512, __attribute__((target("avx512f"))), __m512d, 8, 8, _mm512_setzero_pd,
                   _mm512_set1_pd, _mm512_load_pd, _mm512_store_pd, _mm512_mul_pd, _mm512_add_pd)
#endif

}  // namespace

std::size_t FirKernelScratch(std::size_t count, std::size_t n) {
    // Interleaved samples and sums for the widest lanes, the lanes' rounding up, and the alignment.
    return 2 * n + kMaxLanes * count + 4 * kMaxLanes + kRowAlignment / sizeof(double);
}

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
