#include "dsp/FIR.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
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

// The filter written out from its definition: a ring of `capacity` past samples addressed as
// (position + offset) mod capacity, the new samples stored at offsets size - D .. size - 1, every output summed
// from +0 in ascending l, the position moved on by D after each firing. Nothing here shares code or layout
// with the filter, so agreement down to the bit shows that any faster path takes the same products in the
// same order.
struct RingReference {
    std::vector<double> ring;
    std::size_t position = 0;

    void Initialize(std::size_t size) {
        ring.assign(size, 0.0);
        position = 0;
    }
    double& At(std::size_t offset) { return ring[(position + offset) % ring.size()]; }

    std::vector<double> Run(const std::vector<double>& taps, const double* in, int decimation, int interpolation,
                            int phase) {
        const std::size_t d = static_cast<std::size_t>(decimation);
        const std::size_t size = taps.size() / interpolation + d + 1;
        const std::size_t perPhase = (taps.size() + interpolation - 1) / interpolation;
        for (std::size_t i = 0; i < d; ++i) At(size - d + i) = in[i];
        std::vector<double> out;
        int p = phase;
        for (std::size_t j = 1; j <= d; ++j, p -= interpolation) {
            for (; p < interpolation; p += decimation) {
                double sum = 0.0;
                for (std::size_t l = 0; l < perPhase; ++l) {
                    const std::size_t t = p + l * interpolation;
                    if (t < taps.size()) sum = At(size - d + j - 1 - l) * taps[t] + sum;
                }
                out.push_back(sum);
            }
        }
        position = (position + d) % ring.size();
        return out;
    }
};

std::uint64_t Bits(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Taps and samples spread over several decades, so that adding the same products in another order, or
// fusing a multiply with its add, changes the last bits of most outputs.
std::vector<double> WideRangeValues(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-12, 12);
    std::vector<double> values(count);
    for (double& v : values) v = std::ldexp(mantissa(generator), exponent(generator));
    return values;
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

// The one-in, one-out filter the models run, against the ring written out from its definition, bit for bit:
// across wraps of the history, a switch to other taps of the same length mid-stream (the history and its
// position stay) and a second Initialize (back to an all-zero history).
TEST(FirFilter, PlainConvolutionMatchesRingReferenceBitForBit) {
    unsigned seed = 500;
    for (const std::size_t length : {1u, 2u, 3u, 5u, 64u, 807u, 895u}) {
        SCOPED_TRACE(testing::Message() << "taps " << length);
        const std::vector<double> first = WideRangeValues(length, ++seed);
        std::vector<double> second = WideRangeValues(length, ++seed);
        // Long enough to wrap the history twice before the switch.
        const std::size_t switchAt = 2 * length + 7, restartAt = 3 * length + 20, total = 4 * length + 40;
        std::vector<double> signal = WideRangeValues(total, ++seed);
        signal[restartAt] = -0.0;

        Rig rig(first, 1, 1, 0);
        ASSERT_TRUE(rig.Start());
        RingReference reference;
        reference.Initialize(length + 2);
        const std::vector<double>* taps = &first;
        std::size_t reordered = 0;  // outputs that a reversed summation order would have changed
        for (std::size_t n = 0; n < total; ++n) {
            if (n == switchAt) {
                rig.fir.Taps = second.data();
                ASSERT_TRUE(rig.fir.Setup());
                taps = &second;
            }
            if (n == restartAt) {
                ASSERT_TRUE(rig.fir.Initialize());
                reference.Initialize(length + 2);
            }
            rig.in[0] = signal[n];
            ASSERT_TRUE(rig.fir.Run());
            const double expected = reference.Run(*taps, &signal[n], 1, 1, 0)[0];
            ASSERT_EQ(Bits(rig.out[0]), Bits(expected)) << "sample " << n << ": " << rig.out[0] << " vs "
                                                         << expected;

            double reversed = 0.0;
            for (std::size_t l = length; l-- > 0;) reversed = reference.At(length - l) * (*taps)[l] + reversed;
            if (Bits(reversed) != Bits(expected)) ++reordered;
        }
        if (length >= 64) {
            EXPECT_GT(reordered, total / 4) << "the data cannot tell summation orders apart";
        }
        EXPECT_EQ(rig.fir.delayLine.position, (total - restartAt) % (length + 2));
    }
}

// Every product of a zero history with negative taps is -0; a sum that starts from +0 still gives +0,
// where one that started from the first product would give -0.
TEST(FirFilter, SumStartsFromPositiveZero) {
    Rig rig({-2.0, -3.0}, 1, 1, 0);
    ASSERT_TRUE(rig.Start());
    rig.in[0] = 0.0;
    ASSERT_TRUE(rig.fir.Run());
    EXPECT_EQ(Bits(rig.out[0]), Bits(0.0));
    rig.in[0] = 1.0;
    ASSERT_TRUE(rig.fir.Run());
    EXPECT_EQ(rig.out[0], -2.0);
}

// A Setup that shrinks the history (fewer taps) or changes the rates between firings keeps the samples and
// their position, whichever way the filter then computes; the history the rate-changing firings wrote must
// be the one the one-in, one-out firings read.
TEST(FirFilter, HistoryCarriesAcrossTapCountAndRateChanges) {
    std::vector<double> longTaps = WideRangeValues(40, 601);
    std::vector<double> shortTaps(longTaps.begin(), longTaps.begin() + 31);
    const std::vector<double> signal = WideRangeValues(400, 602);

    struct Stage {
        std::vector<double>* taps;
        int decimation, interpolation, phase;
        std::size_t firings;
    };
    // Initialize sizes the history for the first stage: 40 / 1 + 2 + 1 samples.
    const Stage stages[] = {{&longTaps, 2, 1, 0, 30}, {&longTaps, 1, 1, 0, 50}, {&shortTaps, 1, 1, 0, 60},
                            {&shortTaps, 2, 3, 1, 20}, {&longTaps, 1, 1, 0, 70}};

    Rig rig(longTaps, 2, 3, 0);  // ports sized for the widest stage
    rig.fir.Decimation = 2;
    rig.fir.Interpolation = 1;
    ASSERT_TRUE(rig.Start());
    RingReference reference;
    reference.Initialize(rig.fir.delayLine.size);
    ASSERT_EQ(reference.ring.size(), 43u);

    std::size_t consumed = 0;
    for (const Stage& stage : stages) {
        SCOPED_TRACE(testing::Message() << "taps " << stage.taps->size() << " D=" << stage.decimation
                                        << " I=" << stage.interpolation);
        rig.fir.Taps = stage.taps->data();
        rig.fir.NumberOfTaps = static_cast<int>(stage.taps->size());
        rig.fir.Decimation = stage.decimation;
        rig.fir.Interpolation = stage.interpolation;
        rig.fir.DecimationPhase = stage.phase;
        ASSERT_TRUE(rig.fir.Setup());
        for (std::size_t f = 0; f < stage.firings; ++f, consumed += stage.decimation) {
            for (int i = 0; i < stage.decimation; ++i) rig.in[i] = signal[consumed + i];
            ASSERT_TRUE(rig.fir.Run());
            const std::vector<double> expected = reference.Run(*stage.taps, &signal[consumed], stage.decimation,
                                                               stage.interpolation, stage.phase);
            ASSERT_EQ(expected.size(), static_cast<std::size_t>(stage.interpolation));
            for (std::size_t k = 0; k < expected.size(); ++k)
                ASSERT_EQ(Bits(rig.out[k]), Bits(expected[k])) << "firing " << f << " output " << k;
        }
        EXPECT_EQ(rig.fir.delayLine.position, reference.position);
    }
}

// An owner may point delayLine at storage of its own; the filter then still follows the addressing rule and
// never reads past that storage.
TEST(FirFilter, ForeignDelayStorageIsAddressedByTheRing) {
    const std::vector<double> taps = WideRangeValues(9, 701);
    const std::vector<double> signal = WideRangeValues(50, 702);
    Rig rig(taps, 1, 1, 0);
    ASSERT_TRUE(rig.Start());
    std::vector<double> own(rig.fir.delayLine.size, 0.0);
    rig.fir.delayLine.Attach(own.data(), own.size());
    RingReference reference;
    reference.Initialize(own.size());
    for (std::size_t n = 0; n < signal.size(); ++n) {
        rig.in[0] = signal[n];
        ASSERT_TRUE(rig.fir.Run());
        ASSERT_EQ(Bits(rig.out[0]), Bits(reference.Run(taps, &signal[n], 1, 1, 0)[0])) << "sample " << n;
    }
    EXPECT_EQ(own, reference.ring);
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
