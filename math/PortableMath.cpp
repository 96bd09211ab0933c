#include "math/PortableMath.h"
#include "math/PortableMathTables.h"

#include <cfloat>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <limits>

// The error-free transformations below (TwoSum, TwoProduct) rely on every operation being rounded to double
// exactly once; extended precision would silently break them.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "PortableMath needs double arithmetic without excess precision (on 32-bit x86: -msse2 -mfpmath=sse)"
#endif
// Fused multiply-add contraction would change results between machines; compilers that take a pragma are
// told here (GCC takes -ffp-contract=off from the build).
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(_MSC_VER)
#pragma fp_contract(off)
#endif
#if defined(__FAST_MATH__)
#error "PortableMath must not be compiled with -ffast-math"
#endif

// Tables and polynomial coefficients come from tools/portable_math/gen_portable_math_tables.py, which also
// prints the truncation bound of every polynomial.

namespace Velmora {
namespace pm {

namespace {

// ---------------------------------------------------------------------------------------------------------
// Bits and error-free transformations.

std::uint64_t BitsOf(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

double FromBits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// 2^e for -1022 <= e <= 1023.
double TwoToThe(int e) { return FromBits(static_cast<std::uint64_t>(e + 1023) << 52); }

double QuietNaN() { return std::numeric_limits<double>::quiet_NaN(); }

bool IsNaN(double x) { return x != x; }

// Exact value of an integer below 2^53, built from its bits (no integer-to-float conversion instruction,
// whose 64-bit form goes through the x87 unit on 32-bit x86).
double FromInteger53(std::uint64_t m) {
    if (m == 0) return 0.0;
    int top = 52;
    while (((m >> top) & 1u) == 0) --top;
    const std::uint64_t mantissa = (m << (52 - top)) & ((std::uint64_t{1} << 52) - 1);
    return FromBits((static_cast<std::uint64_t>(1023 + top) << 52) | mantissa);
}

struct DoubleDouble {
    double hi;
    double lo;
};

// hi + lo == a + b exactly, hi = the rounded sum.
DoubleDouble TwoSum(double a, double b) {
    const double s = a + b;
    const double bVirtual = s - a;
    const double aVirtual = s - bVirtual;
    return {s, (a - aVirtual) + (b - bVirtual)};
}

// As TwoSum, for |a| >= |b| (or a == 0).
DoubleDouble FastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// Veltkamp's split into two halves of at most 26 significant bits each; |a| < 2^995.
DoubleDouble Split(double a) {
    const double c = kVeltkampSplitter * a;
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// hi + lo == a * b exactly (Dekker), without relying on a fused multiply-add.
DoubleDouble TwoProduct(double a, double b) {
    const double p = a * b;
    const DoubleDouble as = Split(a);
    const DoubleDouble bs = Split(b);
    const double err = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    return {p, err};
}

// (n.hi + n.lo) / (d.hi + d.lo), rounded once at the end.
double DivideDoubleDouble(DoubleDouble n, DoubleDouble d) {
    const double q = n.hi / d.hi;
    const DoubleDouble qd = TwoProduct(q, d.hi);
    const double remainder = (((n.hi - qd.hi) - qd.lo) + n.lo) - q * d.lo;
    return q + remainder / d.hi;
}

// sqrt(w) to about 106 bits, w >= 0.
DoubleDouble SqrtDoubleDouble(double w) {
    const double s = std::sqrt(w);  // correctly rounded by IEEE 754
    if (s == 0.0) return {s, 0.0};
    const DoubleDouble square = TwoProduct(s, s);
    return {s, ((w - square.hi) - square.lo) / (s + s)};
}

// ---------------------------------------------------------------------------------------------------------
// Constants.

constexpr double kHalfPiHi = 0x1.921fb54442d18p+0;
constexpr double kHalfPiLo = 0x1.1a62633145c07p-54;
constexpr double kPiHi = 0x1.921fb54442d18p+1;
constexpr double kPiLo = 0x1.1a62633145c07p-53;
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// ---------------------------------------------------------------------------------------------------------
// Argument reduction for Cos and Sin: x = quadrant * pi/2 + (hi + lo), |hi + lo| <= pi/4.

struct Reduced {
    int quadrant;  // modulo 4
    double hi;
    double lo;
};

// pi/2 in 22 + 22 + 22 bits and the rest: k * part is exact for k < 2^31 in the first three.
constexpr double kHalfPiPart1 = 0x1.921fb80000000p+0;
constexpr double kHalfPiPart2 = -0x1.5dde980000000p-23;
constexpr double kHalfPiPart3 = 0x1.8469880000000p-48;
constexpr double kHalfPiPart4 = 0x1.8cc51701b839ap-72;
// Below this argument the quadrant count fits an int and every k * part above is exact.
constexpr double kCodyWaiteLimit = 0x1p+31;
// The Cody-Waite remainder is accurate to about 2^-90 absolute; a remainder below this bound (the argument
// lies unusually close to a multiple of pi/2) is recomputed exactly.
constexpr double kCodyWaiteMinRemainder = 0x1p-28;

// Bits of 2/pi after the binary point, 32 per word, most significant first, after two zero words: word w
// holds the bits of weights 2^-(32w - 63) ... 2^-(32w - 32).
constexpr std::uint32_t kTwoOverPiBits[] = {
    0x00000000u, 0x00000000u, 0xA2F9836Eu, 0x4E441529u, 0xFC2757D1u, 0xF534DDC0u,
    0xDB629599u, 0x3C439041u, 0xFE5163ABu, 0xDEBBC561u, 0xB7246E3Au, 0x424DD2E0u,
    0x06492EEAu, 0x09D1921Cu, 0xFE1DEB1Cu, 0xB129A73Eu, 0xE88235F5u, 0x2EBB4484u,
    0xE99C7026u, 0xB45F7E41u, 0x3991D639u, 0x835339F4u, 0x9C845F8Bu, 0xBDF9283Bu,
    0x1FF897FFu, 0xDE05980Fu, 0xEF2F118Bu, 0x5A0A6D1Fu, 0x6D367ECFu, 0x27CB09B7u,
    0x4F463F66u, 0x9E5FEA2Du, 0x7527BAC7u, 0xEBE5F17Bu, 0x3D0739F7u, 0x8A5292EAu,
    0x6BFB5FB1u, 0x1F8D5D08u, 0x56033046u, 0xFC7B6BABu, 0xF0CFBC20u, 0x9AF4361Du,
};
constexpr int kTwoOverPiWords = sizeof kTwoOverPiBits / sizeof kTwoOverPiBits[0];

// 64 bits of a little-endian array of 32-bit limbs, starting at bit position pos.
std::uint64_t Bits64At(const std::uint32_t* limbs, int pos) {
    const int limb = pos / 32;
    const int offset = pos % 32;
    std::uint64_t v = ((static_cast<std::uint64_t>(limbs[limb + 1]) << 32) | limbs[limb]) >> offset;
    if (offset != 0) v |= static_cast<std::uint64_t>(limbs[limb + 2]) << (64 - offset);
    return v;
}

// Payne-Hanek reduction for any finite ax >= pi/4: ax * 2/pi modulo 4 from a 256-bit window of 2/pi, in
// integer arithmetic. The window drops only bits whose products are multiples of 4, and keeps enough
// below the binary point that even the closest double to a multiple of pi/2 (about 2^-61 away) keeps
// over 100 correct bits.
Reduced ReducePayneHanek(double ax) {
    constexpr int kWindowWords = 8;
    const std::uint64_t bits = BitsOf(ax);
    const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int exponent = static_cast<int>(bits >> 52) - 1075;  // ax = mantissa * 2^exponent

    // Bits of 2/pi of weight 2^-j with j < exponent - 1 contribute multiples of 4.
    const int firstWord = (exponent - 1 + 63) / 32;  // the argument is positive: division is floor
    const int firstBit = 32 * firstWord - 63;
    if (firstWord + kWindowWords > kTwoOverPiWords) return {0, QuietNaN(), 0.0};  // unreachable for doubles

    std::uint32_t window[kWindowWords];  // little-endian
    for (int i = 0; i < kWindowWords; ++i) window[i] = kTwoOverPiBits[firstWord + kWindowWords - 1 - i];

    // product = mantissa * window, 309 bits at most.
    std::uint32_t product[kWindowWords + 2] = {};
    const std::uint64_t m0 = mantissa & 0xFFFFFFFFu;
    const std::uint64_t m1 = mantissa >> 32;
    std::uint64_t carry = 0;
    for (int i = 0; i < kWindowWords; ++i) {
        const std::uint64_t acc = m0 * window[i] + carry;
        product[i] = static_cast<std::uint32_t>(acc);
        carry = acc >> 32;
    }
    product[kWindowWords] = static_cast<std::uint32_t>(carry);
    carry = 0;
    for (int i = 0; i < kWindowWords; ++i) {
        const std::uint64_t acc = product[i + 1] + m1 * window[i] + carry;
        product[i + 1] = static_cast<std::uint32_t>(acc);
        carry = acc >> 32;
    }
    product[kWindowWords + 1] = static_cast<std::uint32_t>(carry);

    // ax * 2/pi (mod 4) = product / 2^fractionBits (mod 4).
    const int fractionBits = firstBit + 32 * kWindowWords - 1 - exponent;
    int quadrant = static_cast<int>(Bits64At(product, fractionBits) & 3u);
    // The 192 leading fraction bits, most significant word first.
    std::uint64_t f[3] = {Bits64At(product, fractionBits - 64), Bits64At(product, fractionBits - 128),
                          Bits64At(product, fractionBits - 192)};

    // A fraction of one half or more belongs to the next quadrant: take fraction - 1 instead.
    bool negative = false;
    if (f[0] >> 63) {
        negative = true;
        quadrant = (quadrant + 1) & 3;
        f[0] = ~f[0];
        f[1] = ~f[1];
        f[2] = ~f[2];
        if (++f[2] == 0 && ++f[1] == 0) ++f[0];
    }

    // Normalise so that the leading one is the top bit of f[0]; scale records the shift.
    int scale = 0;
    while (f[0] == 0 && scale < 128) {
        f[0] = f[1];
        f[1] = f[2];
        f[2] = 0;
        scale += 64;
    }
    if (f[0] == 0) return {quadrant, 0.0, 0.0};
    while ((f[0] >> 63) == 0) {
        f[0] = (f[0] << 1) | (f[1] >> 63);
        f[1] = (f[1] << 1) | (f[2] >> 63);
        f[2] <<= 1;
        ++scale;
    }
    // fraction = (top53 * 2^-53 + next53 * 2^-106) * 2^-scale, to about 2^-106 relative.
    const std::uint64_t top53 = f[0] >> 11;
    const std::uint64_t next53 = ((f[0] & 0x7FFu) << 42) | (f[1] >> 22);
    double fHi = FromInteger53(top53) * TwoToThe(-53 - scale);
    double fLo = FromInteger53(next53) * TwoToThe(-106 - scale);
    if (negative) {
        fHi = -fHi;
        fLo = -fLo;
    }

    // remainder = fraction * pi/2 in double-double.
    const DoubleDouble p = TwoProduct(fHi, kHalfPiHi);
    const double pLo = p.lo + (fHi * kHalfPiLo + fLo * kHalfPiHi);
    const DoubleDouble r = FastTwoSum(p.hi, pLo);
    return {quadrant, r.hi, r.lo};
}

// The start of the Cody-Waite reduction, for pi/4 < ax < kCodyWaiteLimit: the quadrant count kd (an integer
// as a double) and ax - kd * part1, which is exact: both are multiples of ulp(ax) and the difference is
// below 2^8.
struct CodyWaiteStart {
    double kd;
    double t1;
};

CodyWaiteStart StartCodyWaite(double ax) {
    const double kd = (ax * kTwoOverPi + kRoundingShift) - kRoundingShift;
    return {kd, ax - kd * kHalfPiPart1};
}

// Reduction of a finite ax >= 0.
Reduced ReduceQuarterPeriods(double ax) {
    if (ax <= kQuarterPi) return {0, ax, 0.0};
    if (ax < kCodyWaiteLimit) {
        const auto [kd, t1] = StartCodyWaite(ax);
        const DoubleDouble s2 = TwoSum(t1, -(kd * kHalfPiPart2));
        const DoubleDouble s3 = TwoSum(s2.hi, -(kd * kHalfPiPart3));
        const DoubleDouble s4 = TwoSum(s3.hi, -(kd * kHalfPiPart4));
        const double lo = (s2.lo + s3.lo) + s4.lo;
        if (std::fabs(s4.hi) >= kCodyWaiteMinRemainder) {
            const DoubleDouble r = FastTwoSum(s4.hi, lo);
            return {static_cast<int>(kd) & 3, r.hi, r.lo};
        }
    }
    return ReducePayneHanek(ax);
}

// ---------------------------------------------------------------------------------------------------------
// Sine and cosine of a reduced argument u + ul, 0 <= u <= pi/4 (plus rounding), |ul| <= ulp(u): a table of
// sin(i/64) and cos(i/64) in double-double, and short Taylor series in t = u - i/64, |t| <= 1/128.

struct SinCosEntry {
    double sinHi, sinLo, cosHi, cosLo;
};

constexpr SinCosEntry kSinCosTable[] = {
    {0x0.0p+0, 0x0.0p+0, 0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.fffaaaaeeeed5p-7, -0x1.2ab639a9f0776p-63, 0x1.fff000155549fp-1, 0x1.28a28a03a5ef3p-55},
    {0x1.ffeaaaeeee86fp-6, -0x1.cd406fb224ae2p-60, 0x1.ffc00155527d3p-1, -0x1.3b54492d89b5bp-55},
    {0x1.7fdc01032fba9p-5, -0x1.599bdf46e997ap-59, 0x1.ff7006bfdf99fp-1, -0x1.8b3b560648d5fp-56},
    {0x1.ffaaaeeed4edbp-5, -0x1.2d16d32684b69p-59, 0x1.ff0015549f4d3p-1, 0x1.328387b99426fp-55},
    {0x1.3facb12d1755bp-4, -0x1.921915299468bp-58, 0x1.fe7034129ef6fp-1, -0x1.cbf4337c96f97p-57},
    {0x1.7f701032550e4p-4, 0x1.afc2d1800501ap-60, 0x1.fdc06bf7e6b9bp-1, 0x1.31902b535f8dbp-55},
    {0x1.bf1b78568391dp-4, 0x1.e91841dea4cc8p-58, 0x1.fcf0c800e99b1p-1, 0x1.ea3d786d186acp-57},
    {0x1.feaaeee86ee36p-4, -0x1.afcb2bcc6f03bp-59, 0x1.fc015527d5bd3p-1, 0x1.b68f35094efb8p-55},
    {0x1.1f0d3d7afceafp-3, -0x1.6ef95099769a5p-57, 0x1.faf22263c4bd3p-1, -0x1.52ace133a2769p-58},
    {0x1.3eb312c5d66cbp-3, 0x1.47d666b66cb91p-57, 0x1.f9c340a7cc428p-1, 0x1.c5b6b063b7462p-55},
    {0x1.5e44fcfa126f3p-3, -0x1.6f443063f89b6p-57, 0x1.f874c2e1eecf6p-1, -0x1.c6514e1332b16p-55},
    {0x1.7dc102fbaf2b5p-3, 0x1.5ab50e23c97c3p-59, 0x1.f706bdf9ece1cp-1, -0x1.698c80c36dcb4p-55},
    {0x1.9d252d0cec312p-3, 0x1.9c43d80b1137dp-58, 0x1.f57948cff6797p-1, 0x1.e3a0d3e03b1d4p-57},
    {0x1.bc6f84edc6199p-3, 0x1.9c1a56a7b0cabp-57, 0x1.f3cc7c3b3d16ep-1, -0x1.21a3ad28a3494p-57},
    {0x1.db9e15fb5a5d0p-3, -0x1.32e20d6cc6fc2p-57, 0x1.f20073086649fp-1, 0x1.b940416c1984bp-56},
    {0x1.faaeed4f31577p-3, -0x1.15d88508e32b8p-57, 0x1.f01549f7deea1p-1, 0x1.d3c1e99e5cafdp-55},
    {0x1.0cd00cef36436p-2, -0x1.9fb0a0c93e2b4p-56, 0x1.ee0b1fbc0f11cp-1, -0x1.bfd2380bbc3b1p-59},
    {0x1.1c37d64c6b876p-2, 0x1.46076fe0dcff4p-56, 0x1.ebe214f76efa8p-1, -0x1.02f9f12ba543ep-55},
    {0x1.2b8ddc43eb49fp-2, 0x1.1553899f2d807p-57, 0x1.e99a4c3a7cd83p-1, -0x1.2264b1bc53ce8p-55},
    {0x1.3ad129769d3d8p-2, 0x1.03d550487839ap-63, 0x1.e733ea0193d40p-1, -0x1.6428b3546ce13p-55},
    {0x1.4a00c9b0f3d20p-2, 0x1.823ba6bb08eadp-56, 0x1.e4af14b2a449cp-1, -0x1.68ca02e8a6833p-55},
    {0x1.591bc9fa2f597p-2, 0x1.7c74bac3fe0cbp-57, 0x1.e20bf49acd6c1p-1, -0x1.660aec7ef636bp-58},
    {0x1.682138a38d7f7p-2, -0x1.d889202444aadp-56, 0x1.df4ab3ebd875ep-1, -0x1.e2d8a7e6736c4p-55},
    {0x1.7710255764214p-2, -0x1.6ead7314bb6cep-57, 0x1.dc6b7eb995912p-1, 0x1.4b364776dcd35p-58},
    {0x1.85e7a12826949p-2, 0x1.8a40e9b5face0p-56, 0x1.d96e82f71a9dcp-1, 0x1.ff61bd5d2039dp-55},
    {0x1.94a6be9f546c5p-2, -0x1.69ce13e683f58p-56, 0x1.d653f073e4040p-1, -0x1.76236434bec37p-55},
    {0x1.a34c91cc50ccap-2, -0x1.a310e3b50cecdp-58, 0x1.d31bf8d8d7c06p-1, 0x1.e60dd3089cbddp-56},
    {0x1.b1d8305321617p-2, -0x1.ae242cb99f519p-56, 0x1.cfc6cfa52ad9fp-1, 0x1.8b5b5508f2a0dp-55},
    {0x1.c048b17b140a3p-2, 0x1.19fe6757e9fa7p-57, 0x1.cc54aa2b2972ep-1, 0x1.4ee162ba83a98p-57},
    {0x1.ce9d2e3d4a51fp-2, -0x1.2fc8a12dae298p-57, 0x1.c8c5bf8ce1a84p-1, 0x1.ab3d1a1590123p-56},
    {0x1.dcd4c15329c9ap-2, 0x1.0d4c6e171fd9ap-56, 0x1.c51a48b8b175ep-1, -0x1.1bbb43b9aa880p-57},
    {0x1.eaee8744b05f0p-2, -0x1.789b43c9b027dp-58, 0x1.c1528065b7d50p-1, -0x1.892111312e828p-55},
    {0x1.f8e99e76abc97p-2, 0x1.9d950af2d00a3p-58, 0x1.bd6ea310294f5p-1, 0x1.31bbcc88c109dp-56},
    {0x1.0362939c69955p-1, -0x1.2d8cd78397b01p-55, 0x1.b96eeef58840ep-1, 0x1.45a3cc78fade0p-58},
    {0x1.0a4021e9e1001p-1, -0x1.6f643a13914f6p-55, 0x1.b553a410c104ep-1, 0x1.8ff7947027a15p-58},
    {0x1.110d0c4b69c3bp-1, 0x1.d918998809981p-55, 0x1.b11d04162a4c6p-1, 0x1.1dd561efbc0c2p-56},
    {0x1.17c8e5f2eedb0p-1, 0x1.35e57102e2488p-57, 0x1.accb526f69de5p-1, 0x1.8fb6a8dd6b6ccp-55},
    {0x1.1e7343236574cp-1, 0x1.22a3fa4f41d5ap-56, 0x1.a85ed4373e02dp-1, 0x1.9be06385ec792p-57},
    {0x1.250bb93788bbbp-1, 0x1.ea3d02457bccep-56, 0x1.a3d7d0352bdcfp-1, -0x1.68dbaeca19669p-55},
    {0x1.2b91dea88421ep-1, -0x1.fa371db216ab0p-55, 0x1.9f368ed912f85p-1, -0x1.1d200c5791606p-55},
    {0x1.32054b148bc4fp-1, 0x1.f6b42095a135bp-55, 0x1.9a7b5a36a6514p-1, 0x1.722cfcc9fa7a9p-55},
    {0x1.386597456282bp-1, -0x1.10fada93b07a8p-56, 0x1.95a67e00cb1fdp-1, -0x1.0befda21f862dp-55},
    {0x1.3eb25d36cd53ap-1, -0x1.be570e1570fc0p-58, 0x1.90b84784ddaf7p-1, -0x1.0feb10ab93b87p-56},
    {0x1.44eb381cf386bp-1, -0x1.3ed6c1e6a5505p-55, 0x1.8bb105a5dc900p-1, 0x1.863e03e9474c1p-55},
    {0x1.4b0fc46aab761p-1, 0x1.0da05738cc59cp-61, 0x1.869108d77a6c6p-1, 0x1.338ffe2bfe9ddp-56},
    {0x1.511f9fd7b351cp-1, -0x1.5c0e861c48831p-55, 0x1.8158a31916d5dp-1, -0x1.de8b90b8228dep-57},
    {0x1.571a6966d59b3p-1, 0x1.c843b4d0fb197p-58, 0x1.7c0827f09e54fp-1, -0x1.c73d6d72aee68p-57},
    {0x1.5cffc16bf8f0dp-1, 0x1.96cb370eb578ap-55, 0x1.769fec655211fp-1, -0x1.827d5cf8c68c5p-57},
    {0x1.62cf49921ac79p-1, -0x1.edd9855b6241ap-55, 0x1.712046fa77678p-1, 0x1.425b0a5029c81p-55},
    {0x1.6888a4e134b2fp-1, -0x1.6b7d37644d5e6p-55, 0x1.6b898fa9efb5dp-1, 0x1.15ac786ccf4b2p-56},
};

// Taylor coefficients (-1)^n / (2n+1)! and (-1)^n / (2n)!.
constexpr double kS3 = -0x1.5555555555555p-3;
constexpr double kS5 = 0x1.1111111111111p-7;
constexpr double kS7 = -0x1.a01a01a01a01ap-13;
constexpr double kS9 = 0x1.71de3a556c734p-19;
constexpr double kS11 = -0x1.ae64567f544e4p-26;
constexpr double kS13 = 0x1.6124613a86d09p-33;
constexpr double kC2 = -0x1.0000000000000p-1;
constexpr double kC4 = 0x1.5555555555555p-5;
constexpr double kC6 = -0x1.6c16c16c16c17p-10;

// Below table index 16 (u < 15.5/64) the sine is its own series; the table would cancel less well.
constexpr int kSinSeriesIndexLimit = 16;

struct TableSplit {
    const SinCosEntry* entry;
    double t;
    double sinT;       // sin(t + ul) - t
    double cosTMinus1;  // cos(t + ul) - 1
};

TableSplit SplitAtTableEntry(double u, double ul, int index) {
    const double t = u - index * 0x1p-6;  // exact
    const double z = t * t;
    const double sinT = t * z * (kS3 + z * (kS5 + z * kS7)) + ul;
    const double cosTMinus1 = z * (kC2 + z * (kC4 + z * kC6)) - t * ul;
    return {&kSinCosTable[index], t, sinT, cosTMinus1};
}

int TableIndex(double u) { return static_cast<int>(u * 64.0 + 0.5); }

double SinSeries(double u, double ul) {
    const double z = u * u;
    const double p = z * (kS3 + z * (kS5 + z * (kS7 + z * (kS9 + z * (kS11 + z * kS13)))));
    return u + (u * p + ul);
}

// sin(a + t) = sin a + cos a * t + (sin a * (cos t - 1) + cos a * (sin t - t))
double SinFromSplit(const TableSplit& s) {
    const SinCosEntry& e = *s.entry;
    const double tail = e.sinLo + ((e.sinHi * s.cosTMinus1 + e.cosHi * s.sinT) + e.cosLo * s.t);
    const DoubleDouble linear = TwoProduct(e.cosHi, s.t);
    const DoubleDouble head = TwoSum(e.sinHi, linear.hi);
    return head.hi + (head.lo + (linear.lo + tail));
}

// cos(a + t) = cos a - sin a * t + (cos a * (cos t - 1) - sin a * (sin t - t))
double CosFromSplit(const TableSplit& s) {
    const SinCosEntry& e = *s.entry;
    const double tail = e.cosLo + ((e.cosHi * s.cosTMinus1 - e.sinHi * s.sinT) - e.sinLo * s.t);
    const DoubleDouble linear = TwoProduct(e.sinHi, s.t);
    const DoubleDouble head = TwoSum(e.cosHi, -linear.hi);
    return head.hi + (head.lo + (tail - linear.lo));
}

double SinNonNegative(double u, double ul) {
    const int index = TableIndex(u);
    if (index < kSinSeriesIndexLimit) return SinSeries(u, ul);
    return SinFromSplit(SplitAtTableEntry(u, ul, index));
}

double CosNonNegative(double u, double ul) { return CosFromSplit(SplitAtTableEntry(u, ul, TableIndex(u))); }

// Both from one split at the table entry: the same operations as SinNonNegative and CosNonNegative.
void SinCosNonNegative(double u, double ul, double& sine, double& cosine) {
    const int index = TableIndex(u);
    const TableSplit split = SplitAtTableEntry(u, ul, index);
    cosine = CosFromSplit(split);
    sine = index < kSinSeriesIndexLimit ? SinSeries(u, ul) : SinFromSplit(split);
}

double SinReduced(double hi, double lo) { return hi < 0.0 ? -SinNonNegative(-hi, -lo) : SinNonNegative(hi, lo); }

double CosReduced(double hi, double lo) { return hi < 0.0 ? CosNonNegative(-hi, -lo) : CosNonNegative(hi, lo); }

// ---------------------------------------------------------------------------------------------------------
// Exponential: x = k ln2/64 + r, |r| <= ln2/128; exp(x) = 2^(k div 64) * 2^((k mod 64)/64) * exp(r).
// The table and the coefficients are in PortableMathTables.h.

constexpr double kExpOverflow = 0x1.62e42fefa39efp+9;     // largest argument with a finite result
constexpr double kExpUnderflow = -0x1.74910d52d3052p+9;   // largest argument whose result rounds to +0

struct ExpReduced {
    int scale;          // k div 64
    const ExpTableEntry* entry;  // 2^((k mod 64)/64)
    double r;           // r + rLo = x - k ln2/64
    double rLo;
    double expRMinus1MinusR;  // exp(r) - 1 - r, without rLo
};

// For kExpUnderflow < x <= kExpOverflow.
ExpReduced ReduceExp(double x) {
    const double kd = (x * kSixtyFourOverLn2 + kRoundingShift) - kRoundingShift;
    const int k = static_cast<int>(kd);
    // x - kd * part1 is exact: both are multiples of ulp(x) and the difference is far smaller than x.
    const double rHi = x - kd * kLn2Over64Part1;
    const DoubleDouble r = TwoSum(rHi, -(kd * kLn2Over64Part2));
    const double z = r.hi * r.hi;
    const double q = z * (kE2 + r.hi * (kE3 + r.hi * (kE4 + r.hi * (kE5 + r.hi * kE6))));
    const int j = k & 63;
    return {(k - j) / 64, &kExpTable[j], r.hi, r.lo, q};
}

// ---------------------------------------------------------------------------------------------------------
// Arc sine kernel: asin(v) = v + v^3 (1/6 + z R1(z)), z = v^2 <= 1/4, R1 a Chebyshev fit of degree 13. The
// cubic term, up to 5% of the result, is kept in double-double so that it adds almost no error.

constexpr double kSixthHi = 0x1.5555555555555p-3;
constexpr double kSixthLo = 0x1.5555555555555p-57;
constexpr double kAsinR1[] = {
    0x1.3333333333333p-4, 0x1.6db6db6db6e53p-5, 0x1.f1c71c71b35f6p-6, 0x1.6e8ba2f094655p-6,
    0x1.1c4ec34c36091p-6, 0x1.c99a006f82962p-7, 0x1.7a7f54c0d5f6bp-7, 0x1.404f481b366bap-7,
    0x1.0eba461a2d67bp-7, 0x1.0b94d31c7d692p-7, 0x1.4b700d9e12306p-9, 0x1.23291da96b71ap-6,
    -0x1.230cab6b1c24dp-6, 0x1.bb8cd3a927edcp-6,
};

// z R1(z), with the even and odd coefficients in two chains in z^2 for a shorter dependency chain.
double AsinR1Term(double z) {
    const double z2 = z * z;
    const double* c = kAsinR1;
    const double even = c[0] + z2 * (c[2] + z2 * (c[4] + z2 * (c[6] + z2 * (c[8] + z2 * (c[10] + z2 * c[12])))));
    const double odd = c[1] + z2 * (c[3] + z2 * (c[5] + z2 * (c[7] + z2 * (c[9] + z2 * (c[11] + z2 * c[13])))));
    return z * (even + z * odd);
}

// asin(v) - v for v^3 = cube (double-double) and z = v^2 (rounded).
DoubleDouble AsinCubicTerm(DoubleDouble cube, double z) {
    const DoubleDouble p = TwoProduct(cube.hi, kSixthHi);
    const double lo = p.lo + ((cube.hi * kSixthLo + cube.lo * kSixthHi) + cube.hi * AsinR1Term(z));
    return {p.hi, lo};
}

// asin(x) - x for |x| <= 1/2.
DoubleDouble AsinSmallTail(double x) {
    const DoubleDouble square = TwoProduct(x, x);
    DoubleDouble cube = TwoProduct(x, square.hi);
    cube.lo += x * square.lo;
    return AsinCubicTerm(cube, square.hi);
}

// For 1/2 < ax <= 1: asin(ax) = pi/2 - 2 asin(s), acos(ax) = 2 asin(s), acos(-ax) = pi - 2 asin(s) with
// s = sqrt((1 - ax)/2) <= 1/2; asin(s) = s.hi + s.lo + tail.
struct HalfAngle {
    DoubleDouble s;
    DoubleDouble tail;
};

HalfAngle AsinHalfAngle(double ax) {
    const double w = (1.0 - ax) * 0.5;  // exact for 1/2 <= ax <= 1
    const DoubleDouble s = SqrtDoubleDouble(w);
    DoubleDouble cube = TwoProduct(s.hi, w);
    cube.lo += s.lo * w;
    return {s, AsinCubicTerm(cube, w)};
}

// (aHi + aLo) - 2 asin(s), for aHi well above 2 asin(s) (a = pi/2 or pi).
double MinusTwiceAsin(double aHi, double aLo, const HalfAngle& h) {
    const DoubleDouble d1 = TwoSum(aHi, -2.0 * h.s.hi);
    const DoubleDouble d2 = TwoSum(d1.hi, -2.0 * h.tail.hi);
    return d2.hi + ((d1.lo + d2.lo) + (aLo - 2.0 * (h.s.lo + h.tail.lo)));
}

// ---------------------------------------------------------------------------------------------------------
}  // namespace

// -------------------------------------------------------------------------------------------------------------

double Sin(double x) {
    const double ax = std::fabs(x);
    if (ax < 0x1p-26) return x;  // sin x = x to within x^3/6 < half an ulp; keeps -0 and subnormals
    if (!(ax <= DBL_MAX)) return QuietNaN();  // NaN or infinity
    const Reduced r = ReduceQuarterPeriods(ax);
    double s;
    switch (r.quadrant) {
        case 0: s = SinReduced(r.hi, r.lo); break;
        case 1: s = CosReduced(r.hi, r.lo); break;
        case 2: s = -SinReduced(r.hi, r.lo); break;
        default: s = -CosReduced(r.hi, r.lo); break;
    }
    return x < 0.0 ? -s : s;
}

double Cos(double x) {
    const double ax = std::fabs(x);
    if (!(ax <= DBL_MAX)) return QuietNaN();
    const Reduced r = ReduceQuarterPeriods(ax);
    switch (r.quadrant) {
        case 0: return CosReduced(r.hi, r.lo);
        case 1: return -SinReduced(r.hi, r.lo);
        case 2: return -CosReduced(r.hi, r.lo);
        default: return SinReduced(r.hi, r.lo);
    }
}

void SinCos(double x, double& sine, double& cosine) {
    const double ax = std::fabs(x);
    if (!(ax <= DBL_MAX)) {
        sine = QuietNaN();
        cosine = QuietNaN();
        return;
    }
    if (ax < 0x1p-26) {
        sine = x;
        cosine = Cos(x);
        return;
    }
    const Reduced r = ReduceQuarterPeriods(ax);
    // SinReduced and CosReduced of (r.hi, r.lo): both negate a negative remainder the same way.
    double sinR = 0.0, cosR = 0.0;
    if (r.hi < 0.0) {
        SinCosNonNegative(-r.hi, -r.lo, sinR, cosR);
        sinR = -sinR;
    } else {
        SinCosNonNegative(r.hi, r.lo, sinR, cosR);
    }
    double s;
    switch (r.quadrant) {
        case 0: s = sinR; cosine = cosR; break;
        case 1: s = cosR; cosine = -sinR; break;
        case 2: s = -sinR; cosine = -cosR; break;
        default: s = -cosR; cosine = sinR; break;
    }
    sine = x < 0.0 ? -s : s;
}

// Cos(x) in quadrant 1 is -Sin(r) and in quadrant 3 Sin(r) of the remainder r = hi + lo; for |hi| at least
// this margin the sine of the remainder is far from zero and cannot round to the other sign. In quadrants 0
// and 2 it is +-Cos(r) with |r| <= pi/4, at least 0.7 in magnitude.
constexpr double kCosSignMargin = 0x1p-30;

int SignOfCos(double x) {
    const double ax = std::fabs(x);
    if (!(ax <= DBL_MAX)) return 0;
    if (ax <= kQuarterPi) return 1;
    int quadrant = 0;
    double remainder = 0.0;
    if (ax < kCodyWaiteLimit) {
        // The quadrant count and the first three terms of the Cody-Waite remainder, as ReduceQuarterPeriods
        // forms them: within 2^-40 of the exact remainder (kd * part4 < 2^-40 is left out), far inside the
        // margin. Where the reduction would go on to the exact method, the remainder is below 2^-28 and
        // the quadrant count is the same.
        const auto [kd, t1] = StartCodyWaite(ax);
        remainder = (t1 - kd * kHalfPiPart2) - kd * kHalfPiPart3;
        quadrant = static_cast<int>(kd) & 3;
    } else {
        const Reduced r = ReduceQuarterPeriods(ax);
        remainder = r.hi;
        quadrant = r.quadrant;
    }
    const int sineSign = remainder >= kCosSignMargin ? 1 : (remainder <= -kCosSignMargin ? -1 : 0);
    switch (quadrant) {
        case 0: return 1;
        case 1: return -sineSign;
        case 2: return -1;
        default: return sineSign;
    }
}

double Exp(double x) {
    if (IsNaN(x)) return QuietNaN();
    if (x > kExpOverflow) return std::numeric_limits<double>::infinity();
    if (x <= kExpUnderflow) return 0.0;
    const ExpReduced e = ReduceExp(x);
    const double th = e.entry->hi;
    const double tail = e.entry->lo + th * (e.r + (e.expRMinus1MinusR + e.rLo));
    if (e.scale > 1023) return ((th + tail) * TwoToThe(e.scale - 1)) * 2.0;  // may overflow to +inf
    if (e.scale >= -1021) return (th + tail) * TwoToThe(e.scale);          // exact scaling
    // Near or below the smallest normal 2^-1022: in units of 2^-1022 the subnormal results are spaced
    // 2^-52 apart, as doubles in [1, 2) are, so 1 + v rounds v onto that grid in one step.
    const double unit = TwoToThe(e.scale + 1022);  // 2^-54 or more above kExpUnderflow
    const double hi = th * unit;
    const double lo = tail * unit;
    const double v = hi + lo;
    if (v >= 1.0) return v * 0x1p-1022;
    const DoubleDouble onePlusHi = TwoSum(1.0, hi);
    const double w = onePlusHi.hi + (onePlusHi.lo + lo);
    return (w - 1.0) * 0x1p-1022;
}

double Tanh(double x) {
    if (IsNaN(x)) return QuietNaN();
    const double ax = std::fabs(x);
    if (ax > kTanhSaturation) return x < 0.0 ? -1.0 : 1.0;
    if (ax < kTanhLinearLimit) return x;  // keeps -0 and subnormals
    if (ax < kTanhSeriesLimit) {
        const double z = x * x;
        const double p =
            kT3 + z * (kT5 + z * (kT7 + z * (kT9 + z * (kT11 + z * (kT13 + z * (kT15 + z * kT17))))));
        return x + x * (z * p);
    }
    // tanh = (E - 1) / (E + 1), E = exp(2 ax) in double-double; 2 ax <= 44, no scaling trouble.
    const ExpReduced e = ReduceExp(ax + ax);
    const double th = e.entry->hi;
    const double tl = e.entry->lo;
    const DoubleDouble linear = TwoProduct(th, e.r);
    const DoubleDouble head = TwoSum(th, linear.hi);
    const double lo =
        head.lo + (linear.lo + (tl + (th * (e.expRMinus1MinusR + e.rLo) + tl * e.r)));
    const double scale = TwoToThe(e.scale);
    const DoubleDouble E = FastTwoSum(head.hi * scale, lo * scale);
    const DoubleDouble numerator = TwoSum(E.hi, -1.0);
    const DoubleDouble denominator = TwoSum(E.hi, 1.0);
    const double t = DivideDoubleDouble({numerator.hi, numerator.lo + E.lo},
                                        {denominator.hi, denominator.lo + E.lo});
    return x < 0.0 ? -t : t;
}

double Asin(double x) {
    if (IsNaN(x)) return QuietNaN();
    const double ax = std::fabs(x);
    if (ax > 1.0) return QuietNaN();
    if (ax < 0x1p-26) return x;  // asin x = x to within x^3/6 < half an ulp; keeps -0 and subnormals
    if (ax <= 0.5) {
        const DoubleDouble tail = AsinSmallTail(x);
        const DoubleDouble head = TwoSum(x, tail.hi);
        return head.hi + (head.lo + tail.lo);
    }
    const double a = MinusTwiceAsin(kHalfPiHi, kHalfPiLo, AsinHalfAngle(ax));
    return x < 0.0 ? -a : a;
}

double Acos(double x) {
    if (IsNaN(x)) return QuietNaN();
    const double ax = std::fabs(x);
    if (ax > 1.0) return QuietNaN();
    if (ax < 0x1p-57) return kHalfPiHi;  // pi/2 - x rounds to pi/2
    if (ax <= 0.5) {
        // acos x = pi/2 - x - (asin x - x)
        const DoubleDouble tail = AsinSmallTail(x);
        const DoubleDouble d1 = TwoSum(kHalfPiHi, -x);
        const DoubleDouble d2 = TwoSum(d1.hi, -tail.hi);
        return d2.hi + ((d1.lo + d2.lo) + (kHalfPiLo - tail.lo));
    }
    const HalfAngle h = AsinHalfAngle(ax);
    if (x < 0.0) return MinusTwiceAsin(kPiHi, kPiLo, h);
    const DoubleDouble sum = TwoSum(h.s.hi, h.tail.hi);
    return 2.0 * (sum.hi + (sum.lo + (h.s.lo + h.tail.lo)));
}

}  // namespace pm
}  // namespace Velmora
