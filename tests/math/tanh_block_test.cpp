// The block Tanh of every instruction set against the scalar loop it replaces, bit for bit.

#include "math/TanhBlock.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "math/PortableMath.h"
#include "tests/support/SplitMix64.h"

namespace {

using Velmora::pm::ScaledTanhKernel;
using Velmora::pm::ScaledTanhKernelFor;
using Velmora::pm::TanhLanes;

struct Kernel {
    const char* name;
    ScaledTanhKernel run;
};

std::vector<Kernel> AvailableKernels() {
    std::vector<Kernel> kernels;
    for (auto [name, lanes] : {std::pair{"SSE2", TanhLanes::Sse2}, std::pair{"AVX2", TanhLanes::Avx2},
                               std::pair{"AVX-512", TanhLanes::Avx512}, std::pair{"widest", TanhLanes::Widest}})
        if (ScaledTanhKernel k = ScaledTanhKernelFor(lanes)) kernels.push_back({name, k});
    kernels.push_back({"ScaledTanh", Velmora::pm::ScaledTanh});
    return kernels;
}

// (amplitude, slope): the plain function, whose branch limits then fall on the inputs themselves, and the
// receiver's gain settings.
constexpr double kScalings[][2] = {{1.0, 1.0}, {0.3432, 3.42}, {0.3426, 8.41}, {-2.5, -0.75}};

// The inputs where the scalar function changes branch or saturates, each with its neighbours.
std::vector<double> EdgeInputs() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> edges = {0.0, FromBits(1), DBL_MIN, DBL_MAX, inf, nan, FromBits(0x7FF8DEADBEEF0001u),
                                 FromBits(0x7FF0000000000001u) /* signalling */};
    for (double limit : {0x1p-27, 0.125, 22.0, 0.5 * 0.6931471805599453 /* exp(2x) = 2 */}) {
        for (std::uint64_t ulps : {0u, 1u, 2u}) {
            edges.push_back(FromBits(BitsOf(limit) + ulps));
            edges.push_back(FromBits(BitsOf(limit) - ulps));
        }
    }
    const std::size_t positive = edges.size();
    for (std::size_t i = 0; i < positive; ++i) edges.push_back(FromBits(BitsOf(edges[i]) ^ (1ull << 63)));
    return edges;
}

// Random inputs in every range: any double (every binade alike, subnormals, infinities and NaNs
// included), the binades around the series and exponential ranges, the model's levels and the edges.
std::vector<double> RandomInputs(std::size_t count, std::uint64_t seed) {
    SplitMix64 rng{seed};
    const std::vector<double> edges = EdgeInputs();
    std::vector<double> in(count);
    for (double& x : in) {
        switch (rng.Next() % 4) {
            case 0: x = rng.LogUniform(-1023, 1024); break;
            case 1: x = rng.LogUniform(-30, 6); break;
            case 2: x = rng.Uniform(-25.0, 25.0); break;
            default: x = edges[rng.Next() % edges.size()]; break;
        }
    }
    return in;
}

std::vector<double> ScalarLoop(const std::vector<double>& in, double amplitude, double slope) {
    std::vector<double> out(in.size());
    for (std::size_t k = 0; k < in.size(); ++k) out[k] = amplitude * Velmora::pm::Tanh(slope * in[k]);
    return out;
}

// Bit equality, NaNs included; names the first sample that differs.
void ExpectSameBits(const std::vector<double>& expected, const std::vector<double>& got, const std::vector<double>& in,
                    const std::string& what) {
    ASSERT_EQ(expected.size(), got.size());
    if (expected.empty() || std::memcmp(expected.data(), got.data(), expected.size() * sizeof(double)) == 0) return;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        if (BitsOf(expected[k]) != BitsOf(got[k])) {
            ADD_FAILURE() << what << ": sample " << k << " of " << expected.size() << ", input " << std::hexfloat
                          << in[k] << ": scalar " << expected[k] << ", block " << got[k];
            return;
        }
    }
}

TEST(TanhBlock, EveryKernelGivesTheScalarLoopsBits) {
    const std::vector<double> random = RandomInputs(40000, 1);
    const std::vector<double> edges = EdgeInputs();
    for (const Kernel& kernel : AvailableKernels()) {
        for (const auto& [amplitude, slope] : kScalings) {
            const std::string scaling = std::string(kernel.name) + ", amplitude " + std::to_string(amplitude) +
                                        ", slope " + std::to_string(slope);
            // One long run.
            std::vector<double> out(random.size());
            kernel.run(random.data(), out.data(), random.size(), amplitude, slope);
            ExpectSameBits(ScalarLoop(random, amplitude, slope), out, random, scaling + ", long run");
            // Every block length up to 40 (whole registers and every remainder), at every offset of the run.
            for (std::size_t n = 0; n <= 40; ++n) {
                const std::vector<double> in(random.begin() + static_cast<long>(7 * n),
                                             random.begin() + static_cast<long>(8 * n));
                std::vector<double> block(n, -1.0);
                kernel.run(in.data(), block.data(), n, amplitude, slope);
                ExpectSameBits(ScalarLoop(in, amplitude, slope), block, in, scaling + ", n = " + std::to_string(n));
            }
            // Every edge input at every lane position of a register, between ordinary samples, in place.
            for (double edge : edges) {
                for (std::size_t at = 0; at < 8; ++at) {
                    std::vector<double> in(random.begin(), random.begin() + 9);
                    in[at] = edge;
                    std::vector<double> inPlace = in;
                    kernel.run(inPlace.data(), inPlace.data(), in.size(), amplitude, slope);
                    ExpectSameBits(ScalarLoop(in, amplitude, slope), inPlace, in,
                                   scaling + ", edge at " + std::to_string(at));
                }
            }
        }
    }
}

// A host may trap floating-point exceptions: a kernel must raise no flag of invalid operation, division by
// zero or overflow that the scalar loop does not raise on the same samples (lanes outside a branch's range
// compute it on a stand-in).
TEST(TanhBlock, NoExceptionFlagTheScalarLoopDoesNotRaise) {
    constexpr int kTrapped = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;
    std::vector<double> inputs = EdgeInputs();
    const std::vector<double> random = RandomInputs(2000, 2);
    inputs.insert(inputs.end(), random.begin(), random.end());
    for (const Kernel& kernel : AvailableKernels()) {
        for (const auto& [amplitude, slope] : kScalings) {
            for (double x : inputs) {
                // Beside samples in both computed branches, whose scalar results raise none of the flags.
                const std::vector<double> in = {x, 0.3, x, 0.01, x, 0.3, x, 0.01};
                std::vector<double> out(in.size());
                std::feclearexcept(FE_ALL_EXCEPT);
                ScalarLoop(in, amplitude, slope);
                const int scalarFlags = std::fetestexcept(kTrapped);
                std::feclearexcept(FE_ALL_EXCEPT);
                kernel.run(in.data(), out.data(), in.size(), amplitude, slope);
                const int blockFlags = std::fetestexcept(kTrapped);
                EXPECT_EQ(blockFlags & ~scalarFlags, 0) << kernel.name << ", input " << std::hexfloat << x
                                                        << ", slope " << slope;
            }
        }
    }
    std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(TanhBlock, TheWidestKernelIsAlwaysThere) {
    EXPECT_NE(ScaledTanhKernelFor(TanhLanes::Widest), nullptr);
    EXPECT_NE(ScaledTanhKernelFor(TanhLanes::Sse2), nullptr);
}

}  // namespace
