#include "dsp/FIR.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Filter = Velmora::FIR<double, 0>;

std::vector<double> RandomValues(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> values(count);
    for (double& v : values) v = value(generator);
    return values;
}

// A filter with its ports attached to the given storage, set up and initialised.
struct Rig {
    Filter fir;
    std::vector<double> taps;
    std::vector<double> in, out;

    Rig(std::vector<double> tapValues, int decimation, int interpolation, int phase)
        : taps(std::move(tapValues)), in(decimation), out(interpolation) {
        fir.Taps = taps.data();
        fir.NumberOfTaps = static_cast<int>(taps.size());
        fir.Decimation = decimation;
        fir.Interpolation = interpolation;
        fir.DecimationPhase = phase;
        fir.input.Attach(in.data(), in.size());
        fir.output.Attach(out.data(), out.size());
    }
    bool Start() { return fir.Setup() && fir.Initialize(); }

    // Feeds the signal through, Decimation samples per firing, and collects every output.
    std::vector<double> Process(const std::vector<double>& signal) {
        std::vector<double> result;
        for (std::size_t n = 0; n + in.size() <= signal.size(); n += in.size()) {
            for (std::size_t i = 0; i < in.size(); ++i) in[i] = signal[n + i];
            EXPECT_TRUE(fir.Run());
            result.insert(result.end(), out.begin(), out.end());
        }
        return result;
    }
};

// Upsample by I with zeros, convolve with the taps (ascending tap order, samples before the start are 0),
// keep every D-th sample from phase P. The sum runs in the filter's order and the zero-stuffed samples only
// add zeros to a sum that is never -0, so the results are bit-identical, not just close.
std::vector<double> RateChangeReference(const std::vector<double>& taps, const std::vector<double>& signal,
                                        int decimation, int interpolation, int phase) {
    std::vector<double> upsampled(signal.size() * interpolation, 0.0);
    for (std::size_t n = 0; n < signal.size(); ++n) upsampled[n * interpolation] = signal[n];
    std::vector<double> result;
    for (std::size_t g = phase; g < upsampled.size(); g += decimation) {
        double sum = 0.0;
        for (std::size_t t = 0; t < taps.size() && t <= g; ++t) sum = sum + taps[t] * upsampled[g - t];
        result.push_back(sum);
    }
    return result;
}

std::string SetupMessages(Filter& fir, bool& result) {
    testing::internal::CaptureStderr();
    result = fir.Setup();
    return testing::internal::GetCapturedStderr();
}

TEST(FirFilter, MatchesNaiveConvolutionBitForBit) {
    const std::vector<double> taps = RandomValues(37, 11);
    const std::vector<double> signal = RandomValues(300, 12);
    Rig rig(taps, 1, 1, 0);
    ASSERT_TRUE(rig.Start());
    const std::vector<double> output = rig.Process(signal);
    ASSERT_EQ(output.size(), signal.size());
    for (std::size_t n = 0; n < signal.size(); ++n) {
        double expected = 0.0;  // sum over l of h(l) x(n - l), ascending l, as the filter adds them
        for (std::size_t l = 0; l < taps.size() && l <= n; ++l) expected = expected + taps[l] * signal[n - l];
        ASSERT_EQ(output[n], expected) << "sample " << n;
    }
    EXPECT_EQ(output[0], taps[0] * signal[0]);
}

TEST(FirFilter, SingleTapScalesTheInput) {
    Rig rig({2.0}, 1, 1, 0);
    ASSERT_TRUE(rig.Start());
    const std::vector<double> signal = RandomValues(20, 3);
    const std::vector<double> output = rig.Process(signal);
    for (std::size_t n = 0; n < signal.size(); ++n) EXPECT_EQ(output[n], 2.0 * signal[n]);
}

TEST(FirFilter, RateChangeMatchesUpsampleFilterDecimate) {
    struct Case {
        int decimation, interpolation, phase, taps;
    };
    const Case cases[] = {{2, 3, 1, 20}, {3, 2, 0, 17}, {3, 2, 2, 9}, {1, 4, 0, 13},
                          {5, 1, 3, 11}, {4, 4, 3, 16}, {2, 5, 0, 3}, {7, 3, 6, 1}};
    unsigned seed = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "D=" << c.decimation << " I=" << c.interpolation << " P=" << c.phase
                                        << " N=" << c.taps);
        const std::vector<double> taps = RandomValues(c.taps, ++seed);
        const std::vector<double> signal = RandomValues(c.decimation * 40, ++seed);
        Rig rig(taps, c.decimation, c.interpolation, c.phase);
        ASSERT_TRUE(rig.Start());
        EXPECT_EQ(rig.fir.input.rate, static_cast<std::size_t>(c.decimation));
        EXPECT_EQ(rig.fir.output.rate, static_cast<std::size_t>(c.interpolation));
        EXPECT_EQ(rig.fir.tapsPerPhase, (c.taps + c.interpolation - 1) / c.interpolation);
        EXPECT_EQ(rig.fir.delayLine.size,
                  static_cast<std::size_t>(c.taps / c.interpolation + c.decimation + 1));
        const std::vector<double> output = rig.Process(signal);
        const std::vector<double> expected =
            RateChangeReference(taps, signal, c.decimation, c.interpolation, c.phase);
        ASSERT_EQ(output.size(), expected.size());
        for (std::size_t m = 0; m < output.size(); ++m) ASSERT_EQ(output[m], expected[m]) << "output " << m;
    }
}

TEST(FirFilter, ReportsEveryViolationInOrder) {
    Filter fir;
    bool result = true;

    fir.NumberOfTaps = 1;
    double tap = 1.0;
    fir.Taps = &tap;
    fir.Decimation = 0;
    fir.DecimationPhase = 0;
    EXPECT_EQ(SetupMessages(fir, result),
              "Decimation must be > 0\nDecimationPhase must be < Decimation ratio\n");
    EXPECT_FALSE(result);

    fir.NumberOfTaps = 0;
    fir.Decimation = 1;
    fir.Interpolation = 0;
    EXPECT_EQ(SetupMessages(fir, result), "There must be at least one Tap\nInterpolation must be > 0\n");
    EXPECT_FALSE(result);

    fir.Decimation = -3;
    fir.DecimationPhase = -1;
    EXPECT_EQ(SetupMessages(fir, result),
              "There must be at least one Tap\nDecimation must be > 0\nDecimationPhase must be >= 0\n"
              "DecimationPhase must be < Decimation ratio\nInterpolation must be > 0\n");
    EXPECT_FALSE(result);

    fir.NumberOfTaps = 1;
    fir.Decimation = 1;
    fir.DecimationPhase = 0;
    fir.Interpolation = 1;
    EXPECT_EQ(SetupMessages(fir, result), "");
    EXPECT_TRUE(result);
}

TEST(FirFilter, FailedSetupLeavesRatesAndSizesAlone) {
    double tap = 1.0;
    Filter fir;
    fir.Taps = &tap;
    fir.NumberOfTaps = 1;
    fir.Decimation = 3;
    fir.DecimationPhase = 3;
    bool result = true;
    EXPECT_EQ(SetupMessages(fir, result), "DecimationPhase must be < Decimation ratio\n");
    EXPECT_FALSE(result);
    EXPECT_EQ(fir.input.rate, 1u);
    EXPECT_EQ(fir.delayLine.size, 1u);

    fir.DecimationPhase = 0;
    fir.Interpolation = -2;  // the early return comes before the rates are declared
    EXPECT_EQ(SetupMessages(fir, result), "Interpolation must be > 0\n");
    EXPECT_FALSE(result);
    EXPECT_EQ(fir.input.rate, 1u);
}

// One sample per firing, so there is no block size to vary; what matters is that the history survives a
// Setup with new taps and that only Initialize clears it.
TEST(FirFilter, HistoryPersistsAcrossSetupAndInitializeClearsIt) {
    const std::vector<double> first = RandomValues(6, 21);
    std::vector<double> second = RandomValues(6, 22);
    const std::vector<double> signal = RandomValues(40, 23);
    Rig rig(first, 1, 1, 0);
    ASSERT_TRUE(rig.Start());
    const std::size_t switchAt = 25;
    std::vector<double> output;
    for (std::size_t n = 0; n < signal.size(); ++n) {
        if (n == switchAt) {
            rig.fir.Taps = second.data();
            ASSERT_TRUE(rig.fir.Setup());
        }
        rig.in[0] = signal[n];
        ASSERT_TRUE(rig.fir.Run());
        output.push_back(rig.out[0]);
    }
    for (std::size_t n = 0; n < signal.size(); ++n) {
        const std::vector<double>& taps = n < switchAt ? first : second;
        double expected = 0.0;
        for (std::size_t l = 0; l < taps.size() && l <= n; ++l) expected = expected + taps[l] * signal[n - l];
        ASSERT_EQ(output[n], expected) << "sample " << n;
    }

    ASSERT_TRUE(rig.fir.Initialize());
    rig.in[0] = 1.0;
    ASSERT_TRUE(rig.fir.Run());
    EXPECT_EQ(rig.out[0], second[0]);
}

TEST(FirFilter, RefusesToRunWhenNotReady) {
    std::vector<double> taps(4, 1.0);
    Rig rig(taps, 1, 1, 0);
    rig.out[0] = 7.0;
    EXPECT_FALSE(rig.fir.Run());  // no Setup, no Initialize
    ASSERT_TRUE(rig.fir.Setup());
    EXPECT_FALSE(rig.fir.Run());  // no Initialize
    ASSERT_TRUE(rig.fir.Initialize());
    EXPECT_TRUE(rig.fir.Run());

    // A later Setup that needs more history than Initialize allocated must not index past the storage.
    taps.resize(40, 1.0);
    rig.fir.Taps = taps.data();
    rig.fir.NumberOfTaps = 40;
    ASSERT_TRUE(rig.fir.Setup());
    rig.out[0] = 7.0;
    EXPECT_FALSE(rig.fir.Run());
    EXPECT_EQ(rig.out[0], 7.0);

    ASSERT_TRUE(rig.fir.Finalize());
    EXPECT_EQ(rig.fir.delayStorage, nullptr);
    EXPECT_FALSE(rig.fir.Run());
}

}  // namespace
