#include "math/TanhBlock.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "math/PortableMathTables.h"
#include "math/WideVectors.h"


#if defined(__FAST_MATH__)
#error "The block Tanh must not be compiled with -ffast-math"
#endif

namespace Velmora {
namespace pm {

namespace {

const double* ExpTableDoubles() { return &kExpTable[0].hi; }  // hi, lo of entry j at 2j, 2j + 1
static_assert(sizeof(ExpTableEntry) == 2 * sizeof(double), "the gathers index the table as pairs of doubles");

namespace sse2 {

#define KELVANE_LANES_FN inline __attribute__((always_inline))
#define KELVANE_LANES_KERNEL
using V = __m128d;
using M = __m128d;  // all ones in a selected lane
using I = __m128i;
constexpr std::size_t kLanes = 2;

KELVANE_LANES_FN V Set(double d) { return _mm_set1_pd(d); }
KELVANE_LANES_FN V Load(const double* p) { return _mm_loadu_pd(p); }
KELVANE_LANES_FN void Store(double* p, V v) { _mm_storeu_pd(p, v); }
KELVANE_LANES_FN V Add(V a, V b) { return _mm_add_pd(a, b); }
KELVANE_LANES_FN V Sub(V a, V b) { return _mm_sub_pd(a, b); }
KELVANE_LANES_FN V Mul(V a, V b) { return _mm_mul_pd(a, b); }
KELVANE_LANES_FN V Div(V a, V b) { return _mm_div_pd(a, b); }
KELVANE_LANES_FN V And(V a, V b) { return _mm_and_pd(a, b); }
KELVANE_LANES_FN V Or(V a, V b) { return _mm_or_pd(a, b); }
KELVANE_LANES_FN V Xor(V a, V b) { return _mm_xor_pd(a, b); }
KELVANE_LANES_FN V Negate(V a) { return _mm_xor_pd(a, _mm_set1_pd(-0.0)); }
KELVANE_LANES_FN M Less(V a, V b) { return _mm_cmplt_pd(a, b); }
KELVANE_LANES_FN M LessEqual(V a, V b) { return _mm_cmple_pd(a, b); }
KELVANE_LANES_FN M Greater(V a, V b) { return _mm_cmpgt_pd(a, b); }
KELVANE_LANES_FN M GreaterEqual(V a, V b) { return _mm_cmpge_pd(a, b); }
KELVANE_LANES_FN M Unordered(V a, V b) { return _mm_cmpunord_pd(a, b); }
KELVANE_LANES_FN M Both(M a, M b) { return _mm_and_pd(a, b); }
KELVANE_LANES_FN bool Any(M m) { return _mm_movemask_pd(m) != 0; }
KELVANE_LANES_FN V Select(M m, V ifSet, V otherwise) {
    return _mm_or_pd(_mm_and_pd(m, ifSet), _mm_andnot_pd(m, otherwise));
}
KELVANE_LANES_FN I Bits(V v) { return _mm_castpd_si128(v); }
KELVANE_LANES_FN V FromBits(I i) { return _mm_castsi128_pd(i); }
KELVANE_LANES_FN I SetI(std::int64_t v) { return _mm_set1_epi64x(v); }
KELVANE_LANES_FN I AddI(I a, I b) { return _mm_add_epi64(a, b); }
KELVANE_LANES_FN I SubI(I a, I b) { return _mm_sub_epi64(a, b); }
KELVANE_LANES_FN I AndI(I a, I b) { return _mm_and_si128(a, b); }
KELVANE_LANES_FN I ShiftLeftI(I a, int bits) { return _mm_slli_epi64(a, bits); }
KELVANE_LANES_FN I ShiftRightI(I a, int bits) { return _mm_srli_epi64(a, bits); }
// Entries j of the exponential's table (j < 64 in every lane): one load of (hi, lo) per lane.
KELVANE_LANES_FN void LoadExpTable(I j, V& hi, V& lo) {
    const V e0 = _mm_loadu_pd(ExpTableDoubles() + 2 * _mm_cvtsi128_si32(j));
    const V e1 = _mm_loadu_pd(ExpTableDoubles() + 2 * _mm_cvtsi128_si32(_mm_unpackhi_epi64(j, j)));
    hi = _mm_unpacklo_pd(e0, e1);
    lo = _mm_unpackhi_pd(e0, e1);
}

#include "math/TanhLanes.inc"

#undef KELVANE_LANES_FN
#undef KELVANE_LANES_KERNEL

}  // namespace sse2

#if KELVANE_WIDE_VECTORS
namespace avx2 {

#define KELVANE_LANES_FN inline __attribute__((always_inline, target("avx2")))
#define KELVANE_LANES_KERNEL __attribute__((target("avx2")))
using V = __m256d;
using M = __m256d;  // all ones in a selected lane
using I = __m256i;
constexpr std::size_t kLanes = 4;

KELVANE_LANES_FN V Set(double d) { return _mm256_set1_pd(d); }
KELVANE_LANES_FN V Load(const double* p) { return _mm256_loadu_pd(p); }
KELVANE_LANES_FN void Store(double* p, V v) { _mm256_storeu_pd(p, v); }
KELVANE_LANES_FN V Add(V a, V b) { return _mm256_add_pd(a, b); }
KELVANE_LANES_FN V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
KELVANE_LANES_FN V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
KELVANE_LANES_FN V Div(V a, V b) { return _mm256_div_pd(a, b); }
KELVANE_LANES_FN V And(V a, V b) { return _mm256_and_pd(a, b); }
KELVANE_LANES_FN V Or(V a, V b) { return _mm256_or_pd(a, b); }
KELVANE_LANES_FN V Xor(V a, V b) { return _mm256_xor_pd(a, b); }
KELVANE_LANES_FN V Negate(V a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
KELVANE_LANES_FN M Less(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
KELVANE_LANES_FN M LessEqual(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
KELVANE_LANES_FN M Greater(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
KELVANE_LANES_FN M GreaterEqual(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
KELVANE_LANES_FN M Unordered(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_UNORD_Q); }
KELVANE_LANES_FN M Both(M a, M b) { return _mm256_and_pd(a, b); }
KELVANE_LANES_FN bool Any(M m) { return _mm256_movemask_pd(m) != 0; }
KELVANE_LANES_FN V Select(M m, V ifSet, V otherwise) { return _mm256_blendv_pd(otherwise, ifSet, m); }
KELVANE_LANES_FN I Bits(V v) { return _mm256_castpd_si256(v); }
KELVANE_LANES_FN V FromBits(I i) { return _mm256_castsi256_pd(i); }
KELVANE_LANES_FN I SetI(std::int64_t v) { return _mm256_set1_epi64x(v); }
KELVANE_LANES_FN I AddI(I a, I b) { return _mm256_add_epi64(a, b); }
KELVANE_LANES_FN I SubI(I a, I b) { return _mm256_sub_epi64(a, b); }
KELVANE_LANES_FN I AndI(I a, I b) { return _mm256_and_si256(a, b); }
KELVANE_LANES_FN I ShiftLeftI(I a, int bits) { return _mm256_slli_epi64(a, bits); }
KELVANE_LANES_FN I ShiftRightI(I a, int bits) { return _mm256_srli_epi64(a, bits); }
KELVANE_LANES_FN void LoadExpTable(I j, V& hi, V& lo) {
    const I at = _mm256_slli_epi64(j, 1);
    hi = _mm256_i64gather_pd(ExpTableDoubles(), at, 8);
    lo = _mm256_i64gather_pd(ExpTableDoubles() + 1, at, 8);
}

#include "math/TanhLanes.inc"

#undef KELVANE_LANES_FN
#undef KELVANE_LANES_KERNEL

}  // namespace avx2

namespace avx512 {

#define KELVANE_LANES_FN inline __attribute__((always_inline, target("avx512f")))
#define KELVANE_LANES_KERNEL __attribute__((target("avx512f")))
using V = __m512d;
using M = __mmask8;  // one bit per lane
using I = __m512i;
constexpr std::size_t kLanes = 8;

KELVANE_LANES_FN V Set(double d) { return _mm512_set1_pd(d); }
KELVANE_LANES_FN V Load(const double* p) { return _mm512_loadu_pd(p); }
KELVANE_LANES_FN void Store(double* p, V v) { _mm512_storeu_pd(p, v); }
KELVANE_LANES_FN V Add(V a, V b) { return _mm512_add_pd(a, b); }
KELVANE_LANES_FN V Sub(V a, V b) { return _mm512_sub_pd(a, b); }
KELVANE_LANES_FN V Mul(V a, V b) { return _mm512_mul_pd(a, b); }
KELVANE_LANES_FN V Div(V a, V b) { return _mm512_div_pd(a, b); }
// AVX-512F has the bitwise operations on integers only.
KELVANE_LANES_FN I Bits(V v) { return _mm512_castpd_si512(v); }
KELVANE_LANES_FN V FromBits(I i) { return _mm512_castsi512_pd(i); }
KELVANE_LANES_FN V And(V a, V b) { return FromBits(_mm512_and_si512(Bits(a), Bits(b))); }
KELVANE_LANES_FN V Or(V a, V b) { return FromBits(_mm512_or_si512(Bits(a), Bits(b))); }
KELVANE_LANES_FN V Xor(V a, V b) { return FromBits(_mm512_xor_si512(Bits(a), Bits(b))); }
KELVANE_LANES_FN V Negate(V a) { return Xor(a, _mm512_set1_pd(-0.0)); }
KELVANE_LANES_FN M Less(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
KELVANE_LANES_FN M LessEqual(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
KELVANE_LANES_FN M Greater(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
KELVANE_LANES_FN M GreaterEqual(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
KELVANE_LANES_FN M Unordered(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_UNORD_Q); }
KELVANE_LANES_FN M Both(M a, M b) { return static_cast<M>(a & b); }
KELVANE_LANES_FN bool Any(M m) { return m != 0; }
KELVANE_LANES_FN V Select(M m, V ifSet, V otherwise) { return _mm512_mask_blend_pd(m, otherwise, ifSet); }
KELVANE_LANES_FN I SetI(std::int64_t v) { return _mm512_set1_epi64(v); }
KELVANE_LANES_FN I AddI(I a, I b) { return _mm512_add_epi64(a, b); }
KELVANE_LANES_FN I SubI(I a, I b) { return _mm512_sub_epi64(a, b); }
KELVANE_LANES_FN I AndI(I a, I b) { return _mm512_and_si512(a, b); }
// The masked forms with every lane selected: GCC 12 warns of the unmasked forms' undefined start values.
constexpr __mmask8 kAllLanes = 0xFF;
KELVANE_LANES_FN I ShiftLeftI(I a, int bits) { return _mm512_maskz_slli_epi64(kAllLanes, a, bits); }
KELVANE_LANES_FN I ShiftRightI(I a, int bits) { return _mm512_maskz_srli_epi64(kAllLanes, a, bits); }
KELVANE_LANES_FN void LoadExpTable(I j, V& hi, V& lo) {
    const I at = ShiftLeftI(j, 1);
    hi = _mm512_mask_i64gather_pd(_mm512_setzero_pd(), kAllLanes, at, ExpTableDoubles(), 8);
    lo = _mm512_mask_i64gather_pd(_mm512_setzero_pd(), kAllLanes, at, ExpTableDoubles() + 1, 8);
}

#include "math/TanhLanes.inc"

#undef KELVANE_LANES_FN
#undef KELVANE_LANES_KERNEL

}  // namespace avx512
#endif

}  // namespace

ScaledTanhKernel ScaledTanhKernelFor(TanhLanes lanes) {
#if KELVANE_WIDE_VECTORS
    const WideVectorSupport wide = ProcessorWideVectors();
    if (lanes == TanhLanes::Widest) lanes = wide.avx512 ? TanhLanes::Avx512 : (wide.avx2 ? TanhLanes::Avx2 : TanhLanes::Sse2);
    if (lanes == TanhLanes::Avx512) return wide.avx512 ? avx512::ScaledTanhBlock : nullptr;
    if (lanes == TanhLanes::Avx2) return wide.avx2 ? avx2::ScaledTanhBlock : nullptr;
#else
    if (lanes == TanhLanes::Widest) lanes = TanhLanes::Sse2;
#endif
    if (lanes == TanhLanes::Sse2) return sse2::ScaledTanhBlock;
    return nullptr;
}

void ScaledTanh(const double* in, double* out, std::size_t n, double amplitude, double slope) {
    ScaledTanhKernelFor(TanhLanes::Widest)(in, out, n, amplitude, slope);
}

}  // namespace pm
}  // namespace Velmora
