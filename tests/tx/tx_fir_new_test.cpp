#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "tx/tx_fir_new.h"

namespace {

// The transmitter's default settings.
void SetDefaults(tx_fir_new& ffe) {
    ffe.c0 = 15;
    ffe.c1 = 0;
    ffe.cm1 = 4;
    ffe.c0_sign = 1;
    ffe.c1_sign = 1;
    ffe.cm1_sign = 1;
    ffe.samplesPerBit = 32;
}

double Fire(tx_fir_new& ffe, double x) {
    ffe.input = x;
    EXPECT_TRUE(ffe.Run());
    return ffe.output;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The delay line as a plain array shifted one place per sample, newest at index 0.
struct ShiftingReference {
    explicit ShiftingReference(int samplesPerBit) : n(samplesPerBit), line(4 * samplesPerBit, 0.0) {}
    double Run(double x, double pre, double main, double post) {
        if (x < -0.5) x = -0.5;
        if (x > 0.5) x = 0.5;
        for (std::size_t i = line.size() - 1; i >= 1; --i) line[i] = line[i - 1];
        line[0] = 2 * x;
        return (line[2 * n] * post + line[n] * main) + line[0] * pre;
    }
    std::size_t n;
    std::vector<double> line;
};

}  // namespace

TEST(TxFirNew, DefaultWeights) {
    tx_fir_new ffe;
    SetDefaults(ffe);
    ASSERT_TRUE(ffe.Initialize());
    // Table entry 19 is 0.96; pre = (-0.025 - 4 x 0.03) / 2, flipped by cm1_sign.
    EXPECT_NEAR(ffe.mainTap, 0.4075, 1e-15);
    EXPECT_NEAR(ffe.preTap, 0.0725, 1e-15);
    EXPECT_EQ(ffe.postTap, 0.0);

    ffe.c0_sign = 0;
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_NEAR(ffe.mainTap, -0.4075, 1e-15);
}

TEST(TxFirNew, WeightsForChosenSettings) {
    tx_fir_new ffe;
    SetDefaults(ffe);
    ffe.cm1 = 0;
    ffe.c0 = 0;
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_NEAR(ffe.mainTap, 0.1025, 1e-15);
    EXPECT_EQ(ffe.preTap, 0.0);
    EXPECT_EQ(ffe.postTap, 0.0);

    ffe.c0 = 31;
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_NEAR(ffe.mainTap, 0.6125, 1e-15);

    SetDefaults(ffe);
    ffe.c1 = 4;
    ffe.c1_sign = 0;
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_NEAR(ffe.postTap, -0.077, 1e-15);
    // Entry 23 is 1.075: 0.5375 - 0.077 - 0.0725.
    EXPECT_NEAR(ffe.mainTap, 0.388, 1e-15);
    ffe.c1_sign = 1;
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_NEAR(ffe.postTap, 0.077, 1e-15);
    // With all flags at 1 the weights add up to half the table entry.
    EXPECT_NEAR(ffe.preTap + ffe.mainTap + ffe.postTap, 0.5375, 1e-15);
}

TEST(TxFirNew, SettingsAreClampedAndLargeSumsUseTheLastEntry) {
    tx_fir_new ffe;
    SetDefaults(ffe);
    ffe.c0 = 40;
    ffe.c1 = -2;
    ffe.cm1 = 20;
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_EQ(ffe.c0, 31);
    EXPECT_EQ(ffe.c1, 0);
    EXPECT_EQ(ffe.cm1, 15);
    // Sum 46 takes entry 31 (1.225); pre = (-0.025 - 0.45) / 2.
    EXPECT_NEAR(ffe.preTap, 0.2375, 1e-15);
    EXPECT_NEAR(ffe.mainTap, 0.6125 - 0.2375, 1e-15);

    ffe.c0 = 31;
    ffe.c1 = 15;
    ffe.cm1 = 15;
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_NEAR(ffe.postTap, 0.2475, 1e-15);
    EXPECT_NEAR(ffe.mainTap, 0.6125 - 0.2475 - 0.2375, 1e-15);
    // A repeated Initialize gives the same weights.
    const double main = ffe.mainTap;
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_EQ(ffe.mainTap, main);
}

TEST(TxFirNew, ConstantInputSettlesAfterTwoUnitIntervals) {
    tx_fir_new ffe;
    SetDefaults(ffe);
    ffe.c1 = 4;  // a post weight of 0.077 shows when the post position fills
    ASSERT_TRUE(ffe.Initialize());
    const int n = ffe.samplesPerBit;
    for (int k = 0; k < 3 * n; ++k) {
        const double y = Fire(ffe, 0.25);
        // The doubled sample is 0.5; weights 0.0725 (pre), 0.388 (main), 0.077 (post).
        const double expected = k < n ? 0.5 * 0.0725 : k < 2 * n ? 0.5 * (0.0725 + 0.388) : 0.5 * 0.5375;
        ASSERT_NEAR(y, expected, 1e-15) << k;
    }

    SetDefaults(ffe);
    ASSERT_TRUE(ffe.Initialize());  // clears the history
    EXPECT_NEAR(Fire(ffe, 0.25), 0.5 * 0.0725, 1e-15);
    for (int k = 1; k < 2 * n; ++k) Fire(ffe, 0.25);
    EXPECT_NEAR(Fire(ffe, 0.25), 0.24, 1e-15);
}

TEST(TxFirNew, InputIsLimitedInPlace) {
    tx_fir_new ffe;
    SetDefaults(ffe);
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_NEAR(Fire(ffe, 0.8), 1.0 * 0.0725, 1e-15);
    EXPECT_EQ(ffe.input, 0.5);
    EXPECT_NEAR(Fire(ffe, -3.0), -1.0 * 0.0725, 1e-15);
    EXPECT_EQ(ffe.input, -0.5);
    EXPECT_EQ(ffe.DelayedSample(0), -1.0);
    EXPECT_EQ(ffe.DelayedSample(1), 1.0);
    EXPECT_EQ(Fire(ffe, 0.3), 0.6 * ffe.preTap);
    EXPECT_EQ(ffe.input, 0.3);
}

TEST(TxFirNew, SamplesPerBitBelowOneFailsInitialize) {
    tx_fir_new ffe;
    SetDefaults(ffe);
    for (int bad : {0, -3}) {
        ffe.samplesPerBit = bad;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(ffe.Initialize());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "samplesPerBit must be >= 1\n");
        EXPECT_EQ(ffe.delayLine, nullptr);
        ffe.input = 0.9;
        EXPECT_FALSE(ffe.Run());
        EXPECT_EQ(ffe.output, 0.0);
        EXPECT_EQ(ffe.input, 0.5);
    }
    // The block recovers with a valid spacing; one sample per bit puts the taps on adjacent samples.
    ffe.samplesPerBit = 1;
    ASSERT_TRUE(ffe.Initialize());
    EXPECT_NEAR(Fire(ffe, 0.5), 0.0725, 1e-15);
    EXPECT_NEAR(Fire(ffe, 0.0), 0.4075, 1e-15);

    tx_fir_new fresh;  // never initialised
    fresh.input = 0.1;
    EXPECT_FALSE(fresh.Run());
    EXPECT_EQ(fresh.output, 0.0);
}

// The block ages its history by moving a ring index; it must give exactly the outputs of a delay line that
// is shifted one place per sample.
TEST(TxFirNew, RingDelayLineMatchesAShiftingLineBitForBit) {
    std::mt19937 generator(20240611u);
    std::uniform_real_distribution<double> sample(-0.8, 0.8);
    for (int samplesPerBit : {1, 2, 3, 32}) {
        tx_fir_new ffe;
        SetDefaults(ffe);
        ffe.c1 = 3;
        ffe.c1_sign = 0;
        ffe.samplesPerBit = samplesPerBit;
        for (int restart = 0; restart < 2; ++restart) {
            ASSERT_TRUE(ffe.Initialize());
            ShiftingReference reference(samplesPerBit);
            for (int k = 0; k < 1500; ++k) {
                const double x = sample(generator);
                ffe.input = x;
                ASSERT_TRUE(ffe.Run());
                const double expected = reference.Run(x, ffe.preTap, ffe.mainTap, ffe.postTap);
                ASSERT_TRUE(SameBits(ffe.output, expected)) << samplesPerBit << " " << k;
            }
            for (std::size_t age = 0; age < reference.line.size(); ++age) {
                ASSERT_TRUE(SameBits(ffe.DelayedSample(age), reference.line[age])) << age;
            }
        }
    }
}
