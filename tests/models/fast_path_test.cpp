// Every fast path against the reference path, bit for bit: the FIR's block kernels against its firing one
// sample at a time, and both models' AMI_GetWave with the fast path against the same code with the
// reference path, on long random and PRBS waves holding NaN and infinite samples, at many block sizes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "dsp/FIR.h"
#include "rx/KelvaneRx.h"
#include "tests/support/InProcessModel.h"
#include "tests/support/LinkStimulus.h"
#include "tests/support/ScopedTempDir.h"
#include "tx/KelvaneTx.h"

namespace {

using Velmora::FirPath;
using Filter = Velmora::FIR<double, 0>;
const double kBitTime = 3.571428571428571e-11;

std::vector<FirPath> FastPaths() {
    std::vector<FirPath> paths;
    for (FirPath p : {FirPath::Sse2, FirPath::Avx2, FirPath::Avx512})
        if (Velmora::FirKernelFor(p) != nullptr) paths.push_back(p);
    return paths;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

std::size_t FirstDifference(const std::vector<double>& a, const std::vector<double>& b) {
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return i;
    return a.size() == b.size() ? a.size() : std::min(a.size(), b.size());
}

double NaNWithPayload(std::uint64_t payload) {
    const std::uint64_t bits = 0x7ff8000000000000ull | (payload & 0x0007ffffffffffffull);
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// Random samples, a stretch of PRBS levels, and non-finite samples of several kinds (NaNs with different
// payloads meet in one window, so an operand-order slip would show in the payload).
std::vector<double> MixedWave(std::size_t n, unsigned seed, bool nonFinite) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-0.6, 0.6);
    std::vector<double> wave(n);
    unsigned state = 0x7f;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 16 == 0) state = ((state << 1) | (((state >> 6) ^ (state >> 5)) & 1u)) & 0x7fu;
        wave[i] = (i / 50000) % 2 == 0 ? u(rng) : ((state & 1u) ? 0.5 : -0.5);
    }
    if (nonFinite) {
        const double specials[] = {NaNWithPayload(1), NaNWithPayload(0x5a5a), -NaNWithPayload(7), HUGE_VAL, -HUGE_VAL};
        std::uniform_int_distribution<std::size_t> where(0, n - 1);
        for (int k = 0; k < 12; ++k) wave[where(rng)] = specials[k % 5];
        wave[1023] = specials[0];  // at a block edge
        wave[1024 + 3] = specials[1];
    }
    return wave;
}

struct FirRig {
    Filter fir;
    double in = 0.0, out = 0.0;
    explicit FirRig(std::vector<double>& taps) {
        fir.Taps = taps.data();
        fir.NumberOfTaps = static_cast<int>(taps.size());
        fir.input.Attach(&in, 1);
        fir.output.Attach(&out, 1);
        EXPECT_TRUE(fir.Setup() && fir.Initialize());
    }
    std::vector<double> Reference(const std::vector<double>& x) {
        std::vector<double> y(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            in = x[i];
            EXPECT_TRUE(fir.Run());
            y[i] = out;
        }
        return y;
    }
};

// Tap sets: dense, the transmitter's shape (trailing zeros), a single non-zero tap, no non-zero tap,
// a non-finite tap (the vector paths must not be used), fewer taps than one vector.
std::vector<std::vector<double>> TapSets() {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-0.2, 0.2);
    std::vector<std::vector<double>> sets;
    std::vector<double> dense(448), trailing(807, 0.0), single(90, 0.0), none(33, 0.0), short3(3);
    for (double& t : dense) t = u(rng);
    for (std::size_t l = 0; l < 129; ++l) trailing[l] = u(rng);
    trailing[60] = 0.0;  // an interior zero is kept
    single[0] = 0.75;
    for (double& t : short3) t = u(rng);
    std::vector<double> nanTap = dense;
    nanTap[17] = NaNWithPayload(3);
    sets = {dense, trailing, single, none, short3, nanTap};
    return sets;
}

}  // namespace

TEST(FastPath, FirBlocksEqualSampleBySampleFiringOnEveryPath) {
    const std::vector<double> x = MixedWave(20000, 11, true);
    const std::size_t blockSizes[] = {1, 2, 3, 7, 15, 16, 17, 31, 32, 33, 63, 64, 65, 1023, 1024, 1025, 4096};
    for (std::vector<double> taps : TapSets()) {
        FirRig reference(taps);
        ASSERT_TRUE(reference.fir.SelectPath(FirPath::Reference));
        ASSERT_FALSE(reference.fir.BlocksReady());
        const std::vector<double> expected = reference.Reference(x);
        for (FirPath path : FastPaths()) {
            FirRig fast(taps);
            ASSERT_TRUE(fast.fir.SelectPath(path));
            ASSERT_TRUE(fast.fir.BlocksReady());
            std::vector<double> y(x.size());
            std::size_t at = 0;
            for (std::size_t k = 0; at < x.size(); ++k) {
                const std::size_t n = std::min(blockSizes[k % 17], x.size() - at);
                if (k % 5 == 4) {  // a stretch of single firings between blocks shares the same history
                    for (std::size_t i = 0; i < n; ++i) {
                        fast.in = x[at + i];
                        fast.fir.Run();
                        y[at + i] = fast.out;
                    }
                } else {
                    fast.fir.FilterSamples(x.data() + at, y.data() + at, n);
                }
                at += n;
            }
            EXPECT_TRUE(SameBits(y, expected)) << "taps " << taps.size() << ", path " << static_cast<int>(path)
                                               << ", first difference at " << FirstDifference(y, expected);
        }
    }
}

TEST(FastPath, FirTapsChangedInsideABlockTakeEffectFromThatFiring) {
    std::vector<double> x = MixedWave(5000, 12, false);
    std::vector<double> a(448), b(448);
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(-0.2, 0.2);
    for (double& t : a) t = u(rng);
    for (std::size_t l = 0; l < 200; ++l) b[l] = u(rng);
    for (FirPath path : FastPaths()) {
        for (std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{500}, std::size_t{1023}}) {
            std::vector<double> taps = a;
            FirRig reference(taps), fast(taps);
            reference.fir.SelectPath(FirPath::Reference);
            fast.fir.SelectPath(path);
            std::vector<double> expected(3 * 1024), y(3 * 1024);
            for (std::size_t blk = 0; blk < 3; ++blk) {
                taps = a;
                reference.fir.Setup();
                fast.fir.Setup();
                fast.fir.LoadBlock(x.data() + blk * 1024, 1024);
                for (std::size_t k = 0; k < 1024; ++k) {
                    if (k == at) {
                        taps = b;
                        reference.fir.Setup();
                        fast.fir.Setup();
                        fast.fir.FilterBlockFrom(k);
                    }
                    reference.in = x[blk * 1024 + k];
                    reference.fir.Run();
                    expected[blk * 1024 + k] = reference.out;
                    y[blk * 1024 + k] = fast.fir.BlockOutput()[k];
                }
                fast.fir.CommitBlock(1024);
            }
            EXPECT_TRUE(SameBits(y, expected)) << "switch at " << at << ", first difference at "
                                               << FirstDifference(y, expected);
        }
    }
}

namespace {

template <typename Model>
struct ModelRun {
    std::vector<double> wave;
    std::vector<double> clocks;
};

template <typename Model>
ModelRun<Model> Drive(const std::string& parameters, int spb, FirPath path, const std::vector<double>& input,
                      const std::vector<std::size_t>& blocks) {
    InProcessModel<Model> model(parameters, kBitTime / spb, kBitTime, path);
    EXPECT_EQ(model.initResult, 1);
    EXPECT_TRUE(model.pathSelected);
    ModelRun<Model> run;
    run.wave = input;
    std::vector<double> times(input.size() + 1);
    std::size_t at = 0;
    for (std::size_t k = 0; at < input.size(); ++k) {
        const std::size_t n = std::min(blocks[k % blocks.size()], input.size() - at);
        EXPECT_EQ(model.GetWave(run.wave.data() + at, static_cast<long>(n), times.data()), 1);
        for (std::size_t i = 0; times[i] != -1.0; ++i) run.clocks.push_back(times[i]);
        at += n;
    }
    return run;
}

}  // namespace

TEST(FastPath, TransmitterEqualsItsReferencePathAtEveryBlockSize) {
    const std::vector<double> input = MixedWave(120000, 21, true);
    const std::string parameters = "(kelvane_tx (c0 12) (c1 3) (cm1 2))";
    const auto expected = Drive<kelvane_tx>(parameters, 32, FirPath::Reference, input, {4096});
    const std::vector<std::vector<std::size_t>> schedules = {{1}, {1025, 3, 65536, 777}, {100000}};
    for (FirPath path : FastPaths()) {
        for (const auto& blocks : schedules) {
            const auto fast = Drive<kelvane_tx>(parameters, 32, path, input, blocks);
            EXPECT_TRUE(SameBits(fast.wave, expected.wave))
                << "path " << static_cast<int>(path) << ", blocks " << blocks[0] << ", first difference at "
                << FirstDifference(fast.wave, expected.wave);
        }
    }
}

TEST(FastPath, ReceiverEqualsItsReferencePathThroughAdaptation) {
    // Short eye measurements put the first equaliser switches of the sweep (in the middle of blocks) into
    // 160000 samples at 16 samples per bit.
    ScopedTempDir dir;
    std::vector<double> input = LossyPrbsWave(10000, 16);
    const std::vector<double> noise = MixedWave(input.size(), 31, true);
    for (std::size_t i = 0; i < input.size(); ++i) input[i] += std::isfinite(noise[i]) ? 0.02 * noise[i] : noise[i];
    // Rx_config selects the edge whose clock times are reported (and the output): both settings.
    for (const std::string parameters : {"(kelvane_rx (EOM_window 50))", "(kelvane_rx (EOM_window 50) (Rx_config 0))"}) {
        // Blocks of many sizes; the clock times a call reports depend on its block size, so the reference
        // runs the same schedule.
        const std::vector<std::size_t> blocks = {333, 1, 4096, 1025, 1024};
        const auto expected = Drive<kelvane_rx>(parameters, 16, FirPath::Reference, input, blocks);
        ASSERT_GT(expected.clocks.size(), 9000u);
        for (FirPath path : FastPaths()) {
            const auto fast = Drive<kelvane_rx>(parameters, 16, path, input, blocks);
            EXPECT_TRUE(SameBits(fast.wave, expected.wave)) << parameters << " path " << static_cast<int>(path)
                                                            << ", first difference at "
                                                            << FirstDifference(fast.wave, expected.wave);
            EXPECT_TRUE(SameBits(fast.clocks, expected.clocks)) << parameters << " path " << static_cast<int>(path);
        }
    }
}
