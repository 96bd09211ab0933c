#include "dsp/FirKernels.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>

// The wider kernels: see WideVectors.h for where they are built and how they are chosen.
#include "math/WideVectors.h"

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

// Lays out rows 0 .. whole - 1 of the lanes in bulk, to[m * WIDTH + i] = from[i * rows + m], and returns how
// many it did; the kernel moves the rest one sample at a time. GATHER is the way back for the lanes' sums,
// to[i * rows + q] = from[q * WIDTH + i] for q < whole. Samples are only moved, never computed on.
std::size_t MoveNone(const double*, double*, std::size_t, std::size_t) { return 0; }

#if KELVANE_WIDE_VECTORS
// Transposes an 8 x 8 block held in eight registers.
__attribute__((target("avx512f"))) inline void Transpose8(__m512d v[8]) {
    const __m512i evens = _mm512_set_epi64(14, 6, 12, 4, 10, 2, 8, 0);
    const __m512i odds = _mm512_set_epi64(15, 7, 13, 5, 11, 3, 9, 1);
    const __m512i pairsLow = _mm512_set_epi64(13, 12, 5, 4, 9, 8, 1, 0);
    const __m512i pairsHigh = _mm512_set_epi64(15, 14, 7, 6, 11, 10, 3, 2);
    const __m512i halvesLow = _mm512_set_epi64(11, 10, 9, 8, 3, 2, 1, 0);
    const __m512i halvesHigh = _mm512_set_epi64(15, 14, 13, 12, 7, 6, 5, 4);
    __m512d t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm512_permutex2var_pd(v[i], evens, v[i + 1]);     // columns 0 2 4 6 of rows i, i + 1
        t[i + 1] = _mm512_permutex2var_pd(v[i], odds, v[i + 1]);  // columns 1 3 5 7
    }
    for (int h = 0; h < 8; h += 4) {
        u[h] = _mm512_permutex2var_pd(t[h], pairsLow, t[h + 2]);           // columns 0, 4 of four rows
        u[h + 1] = _mm512_permutex2var_pd(t[h], pairsHigh, t[h + 2]);      // columns 2, 6
        u[h + 2] = _mm512_permutex2var_pd(t[h + 1], pairsLow, t[h + 3]);   // columns 1, 5
        u[h + 3] = _mm512_permutex2var_pd(t[h + 1], pairsHigh, t[h + 3]);  // columns 3, 7
    }
    const int columnOf[4][2] = {{0, 4}, {2, 6}, {1, 5}, {3, 7}};
    for (int g = 0; g < 4; ++g) {
        v[columnOf[g][0]] = _mm512_permutex2var_pd(u[g], halvesLow, u[g + 4]);
        v[columnOf[g][1]] = _mm512_permutex2var_pd(u[g], halvesHigh, u[g + 4]);
    }
}

__attribute__((target("avx512f"))) std::size_t LayOut8(const double* from, double* to, std::size_t rows,
                                                        std::size_t whole) {
    std::size_t m = 0;
    for (; m + 8 <= whole; m += 8) {
        __m512d v[8];
        for (int i = 0; i < 8; ++i) v[i] = _mm512_loadu_pd(from + i * rows + m);
        Transpose8(v);
        for (int c = 0; c < 8; ++c) _mm512_store_pd(to + (m + c) * 8, v[c]);
    }
    return m;
}

__attribute__((target("avx512f"))) std::size_t Gather8(const double* from, double* to, std::size_t rows,
                                                        std::size_t whole) {
    std::size_t q = 0;
    for (; q + 8 <= whole; q += 8) {
        __m512d v[8];
        for (int c = 0; c < 8; ++c) v[c] = _mm512_load_pd(from + (q + c) * 8);
        Transpose8(v);
        for (int i = 0; i < 8; ++i) _mm512_storeu_pd(to + i * rows + q, v[i]);
    }
    return q;
}
#endif

// One kernel per instruction set from one body. Lane i of a register carries the outputs i * rows ..
// i * rows + rows - 1, so that the samples that the lanes need for one tap lie side by side: the samples
// are first laid out lane-interleaved (row m holds sample i * rows + m of every lane i), and every load is
// then a whole aligned row, never split across cache lines. ACCS registers of consecutive rows keep the
// adder busy (an add waits for the previous add into the same register); each lane sums its products in
// ascending tap order, product first, as the reference sum does. Lanes past the last output read zeros
// and are dropped.
#define KELVANE_FIR_KERNEL(NAME, TARGET, VEC, WIDTH, ACCS, RING, LAYOUT, GATHER, ZERO, BROADCAST, LOAD, STORE, MUL, ADD)            \
    TARGET void NAME(const double* x, const double* taps, std::size_t count, double* out, std::size_t n,     \
                     double* scratch) {                                                                       \
        const std::size_t rows = (n + (WIDTH) - 1) / (WIDTH);                                                 \
        const std::size_t span = rows + count - 1;                                                            \
        const std::size_t available = count - 1 + n;                                                          \
        double* const lanes = AlignedRows(scratch);                                                           \
        double* const sums = lanes + span * (WIDTH);                                                          \
        const std::size_t lastFirst = ((WIDTH) - 1) * rows;                                                   \
        const std::size_t laidOut =                                                                           \
            LAYOUT(x, lanes, rows, lastFirst >= available ? 0 : std::min(span, available - lastFirst));     \
        for (std::size_t i = 0; i < (WIDTH); ++i) {                                                           \
            const std::size_t first = i * rows;                                                               \
            const std::size_t copied = first >= available ? 0 : std::min(span, available - first);           \
            for (std::size_t m = laidOut; m < copied; ++m) lanes[m * (WIDTH) + i] = x[first + m];            \
            for (std::size_t m = copied; m < span; ++m) lanes[m * (WIDTH) + i] = 0.0;                        \
        }                                                                                                     \
        std::size_t r = 0;                                                                                    \
        for (; r + (ACCS) <= rows; r += (ACCS)) {                                                             \
            VEC acc[ACCS];                                                                                    \
            _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k) acc[k] = ZERO();                        \
            if (RING) {                                                                                       \
                /* At tap l, sum k needs row r + k + count - 1 - l: the row that sum k - 1 needed at tap */   \
                /* l - 1. The rows stay in a ring of registers, slot (k - l) mod ACCS, and each tap loads */  \
                /* only the row of sum 0. Taps go ACCS at a time so that every slot number is a constant. */ \
                VEC ring[ACCS];                                                                               \
                const double* top = lanes + (r + count - 1) * (WIDTH);                                        \
                _Pragma("GCC unroll 16") for (int k = 1; k < (ACCS); ++k) ring[k] = LOAD(top + k * (WIDTH));  \
                for (std::size_t l0 = 0; l0 < count; l0 += (ACCS)) {                                          \
                    const std::size_t step = std::min<std::size_t>((ACCS), count - l0);                       \
                    _Pragma("GCC unroll 16") for (int u = 0; u < (ACCS); ++u) {                               \
                        if (static_cast<std::size_t>(u) >= step) break;                                       \
                        const VEC t = BROADCAST(taps[l0 + u]);                                                \
                        ring[((ACCS) - u) % (ACCS)] = LOAD(top - (l0 + u) * (WIDTH));                         \
                        _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k)                             \
                            acc[k] = ADD(MUL(ring[(k - u + (ACCS)) % (ACCS)], t), acc[k]);                    \
                    }                                                                                         \
                }                                                                                             \
            } else {                                                                                          \
                for (std::size_t l = 0; l < count; ++l) {                                                     \
                    const VEC t = BROADCAST(taps[l]);                                                         \
                    const double* p = lanes + (r + count - 1 - l) * (WIDTH);                                  \
                    _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k)                                 \
                        acc[k] = ADD(MUL(LOAD(p + k * (WIDTH)), t), acc[k]);                                  \
                }                                                                                             \
            }                                                                                                 \
            _Pragma("GCC unroll 16") for (int k = 0; k < (ACCS); ++k) STORE(sums + (r + k) * (WIDTH), acc[k]); \
        }                                                                                                     \
        for (; r < rows; ++r) {                                                                               \
            VEC acc = ZERO();                                                                                 \
            for (std::size_t l = 0; l < count; ++l)                                                           \
                acc = ADD(MUL(LOAD(lanes + (r + count - 1 - l) * (WIDTH)), BROADCAST(taps[l])), acc);         \
            STORE(sums + r * (WIDTH), acc);                                                                   \
        }                                                                                                     \
        const std::size_t gathered = GATHER(sums, out, rows, std::min(rows, n - std::min(n, lastFirst)));    \
        for (std::size_t i = 0; i < (WIDTH); ++i) {                                                           \
            for (std::size_t q = gathered; q < rows && i * rows + q < n; ++q)                                 \
                out[i * rows + q] = sums[q * (WIDTH) + i];                                                    \
        }                                                                                                     \
    }

#if KELVANE_WIDE_VECTORS
#define KELVANE_SSE2_ACCS 8
#else
#define KELVANE_SSE2_ACCS 4  // eight registers in 32-bit builds: four sums, a tap and a load
#endif

KELVANE_FIR_KERNEL(FilterSse2, , __m128d, 2, KELVANE_SSE2_ACCS, false, MoveNone, MoveNone, _mm_setzero_pd, _mm_set1_pd, _mm_load_pd,
                   _mm_store_pd, _mm_mul_pd, _mm_add_pd)

#if KELVANE_WIDE_VECTORS
KELVANE_FIR_KERNEL(FilterAvx2, __attribute__((target("avx2"))), __m256d, 4, 8, false, MoveNone, MoveNone, _mm256_setzero_pd,
                   _mm256_set1_pd, _mm256_load_pd, _mm256_store_pd, _mm256_mul_pd, _mm256_add_pd)
KELVANE_FIR_KERNEL(FilterAvx512, __attribute__((target("avx512f"))), __m512d, 8, 8, true, LayOut8, Gather8, _mm512_setzero_pd,
                   _mm512_set1_pd, _mm512_load_pd, _mm512_store_pd, _mm512_mul_pd, _mm512_add_pd)
#endif

}  // namespace

std::size_t FirKernelScratch(std::size_t count, std::size_t n) {
    // Interleaved samples and sums for the widest lanes, the lanes' rounding up, and the alignment.
    return 2 * n + kMaxLanes * count + 4 * kMaxLanes + kRowAlignment / sizeof(double);
}

FirBlockKernel FirKernelFor(FirPath path) {
#if KELVANE_WIDE_VECTORS
    const WideVectorSupport wide = ProcessorWideVectors();
    const bool avx512 = wide.avx512;
    const bool avx2 = wide.avx2;
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
