// The link simulator's analysis: PRBS, bit error counting, clock, eye and adaptation trace.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "rx/AdaptTraceFile.h"
#include "tests/support/ScopedTempDir.h"
#include "sim/analysis/AdaptationTrace.h"
#include "sim/analysis/Ber.h"
#include "sim/analysis/Clock.h"
#include "sim/analysis/Eye.h"
#include "sim/analysis/Prbs.h"

using namespace ksim;

namespace {

const double kBitTime = 3.571428571428571e-11;
const int kSamplesPerBit = 32;
const double kDt = kBitTime / kSamplesPerBit;

std::string Bits(PrbsGenerator& g, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('0' + g.NextBit());
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------------- PRBS

// a[k] = a[k-n] XOR a[k-m] with a[-1] .. a[-n] all ones: while both taps reach back into the seed the bits
// are 1 XOR 1 = 0; the first 1 comes when only the longer tap still does (k = m for PRBS-7: a[-1] ^ a[0]).
TEST(Prbs, FirstBitsFollowTheRecurrenceFromAllOnes) {
    PrbsGenerator p7(7), p9(9), p15(15), p23(23), p31(31);
    // PRBS-7: a6 = a-1^a0 = 1, a12 = a5^a6 = 1, a13 = a6^a7 = 1, a18 = a11^a12 = 1, a20 = a13^a14 = 1.
    EXPECT_EQ(Bits(p7, 21), "000000100000110000101");
    // PRBS-9: a5..a8 = a-4..a-1 ^ a0..a3 = 1; a9 = a0^a4 = 0; a10..a14 = a1..a5 ^ a5..a9 = 1; a18 = a9^a13.
    EXPECT_EQ(Bits(p9, 20), "00000111101111100010");
    // PRBS-15: a14 = a-1^a0 = 1, then zeros until a28 = a13^a14 and a29 = a14^a15.
    EXPECT_EQ(Bits(p15, 30), std::string(14, '0') + "1" + std::string(13, '0') + "11");
    // PRBS-23: a18..a22 = 1 (seed ^ 0), a23..a35 = 0, a36..a45 = 1 (a13..a22 ^ a18..a27).
    EXPECT_EQ(Bits(p23, 46), std::string(18, '0') + "11111" + std::string(13, '0') + std::string(10, '1'));
    // PRBS-31: a28..a30 = 1, a31..a55 = 0, a56..a61 = 1, a62 = a31^a34 = 0.
    EXPECT_EQ(Bits(p31, 63), std::string(28, '0') + "111" + std::string(25, '0') + "111111" + "0");
}

// Every non-zero n-bit window appears exactly once per period: the period is 2^n - 1, it holds 2^(n-1) ones,
// and the sequence then repeats.
TEST(Prbs, MaximalLengthPeriodAndBalance) {
    for (int order : {7, 9, 15, 23}) {
        PrbsGenerator g(order);
        const std::uint64_t period = g.Period();
        ASSERT_EQ(period, (std::uint64_t{1} << order) - 1);
        const std::uint32_t mask = static_cast<std::uint32_t>(period);
        std::vector<bool> seen(std::size_t{1} << order, false);
        std::uint32_t window = 0, firstWindow = 0;
        std::uint64_t ones = 0;
        bool distinct = true;
        for (std::uint64_t k = 0; k < period + static_cast<std::uint64_t>(order) - 1; ++k) {
            const int bit = g.NextBit();
            if (k < period) ones += static_cast<std::uint64_t>(bit);
            window = ((window << 1) | static_cast<std::uint32_t>(bit)) & mask;
            if (k + 1 == static_cast<std::uint64_t>(order)) firstWindow = window;
            if (k + 1 >= static_cast<std::uint64_t>(order)) {
                distinct = distinct && window != 0 && !seen[window];
                seen[window] = true;
            }
        }
        EXPECT_TRUE(distinct) << "PRBS-" << order;
        EXPECT_EQ(ones, std::uint64_t{1} << (order - 1)) << "PRBS-" << order;
        // The n bits after one period are the n bits it began with.
        window = ((window << 1) | static_cast<std::uint32_t>(g.NextBit())) & mask;
        EXPECT_EQ(window, firstWindow) << "PRBS-" << order;
    }
}

TEST(Prbs, AnotherSeedShiftsTheSequence) {
    PrbsGenerator reference(9);
    const std::string cycle = Bits(reference, 2 * 511);
    PrbsGenerator seeded(9, 0x0A5);
    const std::string start = Bits(seeded, 60);
    const std::size_t at = cycle.find(start);
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(at, 0u);
}

TEST(Prbs, RefusesUnknownOrdersAndSeeds) {
    EXPECT_THROW(PrbsGenerator(8), std::runtime_error);
    EXPECT_THROW(PrbsGenerator(7, 0), std::runtime_error);
    EXPECT_THROW(PrbsGenerator(7, 128), std::runtime_error);
    EXPECT_NO_THROW(PrbsGenerator(31, 0x7FFFFFFFu));
    EXPECT_FALSE(PrbsGenerator::IsSupportedOrder(0));
}

TEST(Prbs, NrzWaveHoldsEachBit) {
    EXPECT_EQ(NrzWave({1, 0, 1}, 2, 0.5), (std::vector<double>{0.5, 0.5, -0.5, -0.5, 0.5, 0.5}));
    EXPECT_THROW(NrzWave({1}, 0, 0.5), std::runtime_error);
}

// ----------------------------------------------------------------------------------------------- BER

TEST(Ber, DecisionsAreReadAtTheRisingEdgeSample) {
    const double dt = 1e-12;
    // No decision before sample 3; the decision changes at the edge's sample itself.
    const std::vector<double> wave = {0, 0, 0, 0.5, 0.5, -0.5, -0.5, -0.5, 0.5, 0.5};
    // Edge times carry rounding noise; the edge at sample 1 sees no decision yet, the one at 12 lies past the wave.
    const std::vector<double> edges = {1 * dt, 3 * dt * (1 + 1e-15), 5 * dt, 8 * dt * (1 - 1e-15), 12 * dt};
    EXPECT_EQ(SampleDecisions(wave, dt, edges, 0.0), (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(SampleDecisions(wave, dt, edges, 4 * dt), (std::vector<int>{0, 1}));
    EXPECT_THROW(SampleDecisions(wave, 0.0, edges, 0.0), std::runtime_error);
}

namespace {

// Errors counted the plain way, at a known alignment.
std::uint64_t NaiveErrors(const std::vector<int>& sent, const std::vector<int>& received, std::size_t first,
                          long latency, bool inverted, std::uint64_t* compared) {
    std::uint64_t errors = 0, n = 0;
    for (std::size_t k = first; k < received.size(); ++k) {
        const long j = static_cast<long>(k) - latency;
        if (j < 0 || j >= static_cast<long>(sent.size())) continue;
        ++n;
        if ((received[k] != sent[static_cast<std::size_t>(j)]) != inverted) ++errors;
    }
    *compared = n;
    return errors;
}

}  // namespace

TEST(Ber, InjectedErrorsWithUnknownLatencyAndInvertedPolarity) {
    PrbsGenerator g(15, 77);
    const std::vector<int> sent = g.NextBits(20000);
    // Received bit k is the complement of sent bit k + 1234 (latency -1234): decisions start late.
    const long latency = -1234;
    std::vector<int> received(15000);
    for (std::size_t k = 0; k < received.size(); ++k) received[k] = 1 - sent[k + 1234];
    const std::vector<std::size_t> errorsAt = {10, 150, 599, 600, 4000, 9999, 14999};
    for (std::size_t k : errorsAt) received[k] ^= 1;
    const std::uint64_t ignore = 600;  // the first three injected errors fall before counting starts

    for (long maxLatency : {2000L, -1L}) {
        const BerResult r = CountBitErrors(sent, received, ignore, maxLatency);
        ASSERT_TRUE(r.aligned);
        EXPECT_EQ(r.latencyBits, latency);
        EXPECT_TRUE(r.inverted);
        EXPECT_EQ(r.ignoredBits, ignore);
        EXPECT_EQ(r.bitsCompared, 15000u - ignore);  // every counted bit has its sent bit
        EXPECT_EQ(r.errors, 4u);
    }
    // A latency beyond the search range is not found.
    EXPECT_FALSE(CountBitErrors(sent, received, ignore, 1000).aligned);
}

TEST(Ber, PositiveLatencyAndAnErrorBurstWhereCountingStarts) {
    PrbsGenerator g(23);
    const std::vector<int> sent = g.NextBits(8000);
    std::mt19937 rng(5);
    const long latency = 37;
    std::vector<int> received(8100);
    for (std::size_t k = 0; k < received.size(); ++k)
        received[k] = k >= 37 && k - 37 < sent.size() ? sent[k - 37] : static_cast<int>(rng() & 1u);
    // A burst of garbage over the first 400 counted bits: the alignment is found further on.
    for (std::size_t k = 100; k < 500; ++k) received[k] = static_cast<int>(rng() & 1u);
    received[7000] ^= 1;
    const BerResult r = CountBitErrors(sent, received, 100, 500);
    ASSERT_TRUE(r.aligned);
    EXPECT_EQ(r.latencyBits, latency);
    EXPECT_FALSE(r.inverted);
    std::uint64_t compared = 0;
    const std::uint64_t expected = NaiveErrors(sent, received, 100, latency, false, &compared);
    EXPECT_EQ(r.bitsCompared, compared);
    EXPECT_EQ(compared, 8000u - 63u);  // bits 100 .. 8036 meet sent bits 63 .. 7999
    EXPECT_EQ(r.errors, expected);
    EXPECT_GT(expected, 150u);  // the burst is counted, not hidden
}

TEST(Ber, NoAlignmentInRandomOrTooFewBits) {
    PrbsGenerator g(15);
    const std::vector<int> sent = g.NextBits(5000);
    std::mt19937 rng(11);
    std::vector<int> noise(5000);
    for (int& b : noise) b = static_cast<int>(rng() & 1u);
    const BerResult r = CountBitErrors(sent, noise, 0, -1);
    EXPECT_FALSE(r.aligned);
    EXPECT_EQ(r.bitsCompared, 0u);
    EXPECT_EQ(r.errors, 0u);
    EXPECT_EQ(r.Ber(), 0.0);
    // Everything ignored, or fewer than 64 bits to align on.
    EXPECT_FALSE(CountBitErrors(sent, sent, 5000, 10).aligned);
    EXPECT_EQ(CountBitErrors(sent, sent, 9000, 10).ignoredBits, 5000u);
    EXPECT_FALSE(CountBitErrors(sent, std::vector<int>(sent.begin(), sent.begin() + 63), 0, 10).aligned);
    EXPECT_TRUE(CountBitErrors(sent, std::vector<int>(sent.begin(), sent.begin() + 64), 0, 10).aligned);
}

// --------------------------------------------------------------------------------------------- clock

TEST(Clock, PerfectGridIsLockedFromTheFirstEdge) {
    std::vector<double> edges;
    for (int k = 0; k < 1000; ++k) edges.push_back((k + 0.3) * kBitTime);
    const ClockAnalysis c = AnalyzeClock(edges, kBitTime);
    EXPECT_EQ(c.edges, 1000u);
    ASSERT_TRUE(c.locked);
    EXPECT_EQ(c.lockEdge, 0u);
    EXPECT_EQ(c.lockTimeS, edges[0]);
    EXPECT_NEAR(c.meanPeriodUi, 1.0, 1e-12);
    EXPECT_NEAR(c.frequencyOffsetPpm, 0.0, 1e-6);
    EXPECT_NEAR(c.rmsJitterUi, 0.0, 1e-9);
    EXPECT_NEAR(c.peakToPeakJitterUi, 0.0, 1e-9);
    ASSERT_EQ(c.periodsUi.size(), 999u);
    ASSERT_EQ(c.phaseUi.size(), 1000u);
    for (double p : c.periodsUi) EXPECT_NEAR(p, 1.0, 1e-9);
    for (double ph : c.phaseUi) EXPECT_NEAR(ph, 0.3, 1e-9);
}

TEST(Clock, FrequencyStepLocksWhereTheFinalFrequencyBegins) {
    // 50 periods of 1.3 UI, then 1.0001 UI (100 ppm slow) for good.
    std::vector<double> edges = {0.0};
    for (int k = 1; k < 3000; ++k) edges.push_back(edges.back() + (k <= 50 ? 1.3 : 1.0001) * kBitTime);
    const ClockAnalysis c = AnalyzeClock(edges, kBitTime);
    ASSERT_TRUE(c.locked);
    EXPECT_EQ(c.lockEdge, 50u);
    EXPECT_EQ(c.lockTimeS, edges[50]);
    EXPECT_NEAR(c.frequencyOffsetPpm, 100.0, 1e-3);
    EXPECT_NEAR(c.rmsJitterUi, 0.0, 1e-6);
}

TEST(Clock, SettlingRampLocksOnceThePhaseHasCaughtUp) {
    // Periods 1 + 0.5·exp(-k/20) UI: the periods are within 0.25 UI from k = 14 on, but the edges still lag
    // the final grid by the rest of the sum, about 10·exp(-k/20) UI, which falls below 0.25 UI near k = 74.
    std::vector<double> edges = {0.0};
    for (int k = 1; k < 8000; ++k) edges.push_back(edges.back() + (1.0 + 0.5 * std::exp(-k / 20.0)) * kBitTime);
    const ClockAnalysis c = AnalyzeClock(edges, kBitTime);
    ASSERT_TRUE(c.locked);
    EXPECT_GE(c.lockEdge, 60u);
    EXPECT_LE(c.lockEdge, 90u);
    // What lock promises, checked with a plain least-squares fit of the edges from the lock edge on.
    const std::size_t q = c.lockEdge, n = edges.size();
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t j = q; j < n; ++j) {
        const double x = static_cast<double>(j), y = edges[j] / kBitTime;
        sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double m = static_cast<double>(n - q);
    const double slope = (m * sxy - sx * sy) / (m * sxx - sx * sx), intercept = (sy - slope * sx) / m;
    for (std::size_t j = q; j < n; ++j) {
        EXPECT_LE(std::fabs(edges[j] / kBitTime - intercept - slope * static_cast<double>(j)), 0.25 + 1e-6);
        if (j > q) {
            EXPECT_LE(std::fabs(c.periodsUi[j - 1] - 1.0), 0.25);
        }
    }
    // The mean period after lock carries the last 0.25 UI of settling spread over the rest: about 32 ppm.
    EXPECT_GT(c.frequencyOffsetPpm, 0.0);
    EXPECT_LT(c.frequencyOffsetPpm, 40.0);
}

TEST(Clock, GaussianJitterIsRecovered) {
    std::mt19937_64 rng(2024);
    std::normal_distribution<double> jitter(0.0, 0.03);  // [UI]
    std::vector<double> edges;
    for (int k = 0; k < 20000; ++k) edges.push_back((k * (1.0 + 50e-6) + jitter(rng)) * kBitTime);
    const ClockAnalysis c = AnalyzeClock(edges, kBitTime);
    ASSERT_TRUE(c.locked);
    EXPECT_EQ(c.lockEdge, 0u);
    // The RMS of 20000 draws scatters by 0.5 % (σ/√(2n)); the fit removes two degrees of freedom.
    EXPECT_NEAR(c.rmsJitterUi, 0.03, 0.03 * 0.03);
    EXPECT_GT(c.peakToPeakJitterUi, 6 * 0.03);
    // The end points' jitter moves the mean period by about 0.042 / 20000 UI, 2 ppm.
    EXPECT_NEAR(c.frequencyOffsetPpm, 50.0, 10.0);
}

TEST(Clock, RandomPeriodsNeverLock) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> period(0.5, 1.5);
    std::vector<double> edges = {0.0};
    for (int k = 1; k < 5000; ++k) edges.push_back(edges.back() + period(rng) * kBitTime);
    const ClockAnalysis c = AnalyzeClock(edges, kBitTime);
    EXPECT_FALSE(c.locked);
    EXPECT_EQ(c.lockTimeS, 0.0);
    EXPECT_EQ(c.rmsJitterUi, 0.0);
    EXPECT_EQ(c.periodsUi.size(), 4999u);

    EXPECT_FALSE(AnalyzeClock({}, kBitTime).locked);
    EXPECT_FALSE(AnalyzeClock({1e-9}, kBitTime).locked);
    EXPECT_THROW(AnalyzeClock(edges, 0.0), std::runtime_error);
}

// ----------------------------------------------------------------------------------------------- eye

namespace {

// NRZ with one bit of interference: level A·b[k] + c·b[k-1], raised-cosine transitions of tau UI centred on
// the bit boundaries k·T, which are the falling clock edges. noise: uniform, ± this, per sample [V].
struct SyntheticEye {
    std::vector<double> wave;
    std::vector<double> fallingEdges;
};

SyntheticEye MakeEye(int bitCount, double a, double c, double tau, double edgeShiftUi, double noise = 0.0) {
    PrbsGenerator g(9);
    std::vector<double> b;
    for (int k = 0; k < bitCount; ++k) b.push_back(g.NextBit() ? 1.0 : -1.0);
    auto level = [&](long k) {
        k = std::min<long>(k, bitCount - 1);
        if (k < 0) return a * b[0] + c * b[0];
        return a * b[static_cast<std::size_t>(k)] + c * b[static_cast<std::size_t>(k > 0 ? k - 1 : 0)];
    };
    const double pi = 3.141592653589793;
    auto v = [&](double tUi) {
        const long k = std::lround(tUi);  // nearest boundary
        const double from = tUi - (static_cast<double>(k) - tau / 2);
        if (from >= 0 && from <= tau) return level(k - 1) + (level(k) - level(k - 1)) * (1 - std::cos(pi * from / tau)) / 2;
        return level(static_cast<long>(std::floor(tUi)));
    };
    SyntheticEye eye;
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(-noise, noise);
    const int samples = bitCount * kSamplesPerBit;
    // One sample late, as the receiver's equalised output.
    eye.wave.push_back(0.0);
    for (int i = 0; i + 1 < samples; ++i) eye.wave.push_back(v(static_cast<double>(i) / kSamplesPerBit) + u(rng));
    for (int k = 1; k < bitCount; ++k) eye.fallingEdges.push_back((k * kSamplesPerBit) * kDt + edgeShiftUi * kBitTime);
    return eye;
}

}  // namespace

TEST(Eye, SyntheticEyeGivesItsKnownOpening) {
    const double a = 0.4, c = 0.1, tau = 0.3;
    const SyntheticEye s = MakeEye(600, a, c, tau, 0.0);
    const EyeAnalysis eye = FoldEye(s.wave, kDt, s.fallingEdges, 0.0);
    // Flat tops at mid-bit: the levels nearest the threshold are ±(A - c).
    EXPECT_NEAR(eye.heightV, 2 * (a - c), 1e-12);
    EXPECT_NEAR(eye.heightUpperV, a - c, 1e-12);
    EXPECT_NEAR(eye.heightLowerV, -(a - c), 1e-12);
    // A transition from ±(A + c) to ∓(A - c) crosses zero where the raised cosine has come 0.625 of the way,
    // (tau/π)·acos(1 - 2·0.625) after its start, i.e. later than the boundary; one between ±(A - c) crosses at
    // the boundary. The inner eye runs from the latest left crossing to the boundary on the right. Straight
    // lines between 32 samples per bit place the late crossing to within about 3e-4 UI.
    const double late = tau * (std::acos(1 - 2 * (a + c) / (2 * a)) / 3.141592653589793 - 0.5);
    EXPECT_NEAR(eye.widthLeftUi, -0.5 + late, 2e-3);
    EXPECT_NEAR(eye.widthRightUi, 0.5, 1e-9);
    EXPECT_NEAR(eye.widthUi, 1.0 - late, 2e-3);

    EXPECT_EQ(eye.samplingPhaseUi, 0.5);
    EXPECT_EQ(eye.traces, 598u);  // 599 edges, each but the last opening a unit interval
    EXPECT_NEAR(eye.levelMaxV, 1.1 * (a + c), 1e-12);
    EXPECT_EQ(eye.levelMinV, -eye.levelMaxV);
    // Each trace adds one count to every column; the inside of the eye at the sampling point stays empty.
    std::uint64_t total = 0;
    for (std::uint32_t d : eye.density) total += d;
    EXPECT_EQ(total, eye.traces * static_cast<std::uint64_t>(eye.phaseBins));
    ASSERT_EQ(eye.density.size(), 128u * 128u);
    const double rowHeight = (eye.levelMaxV - eye.levelMinV) / eye.levelBins;
    for (int row = 0; row < eye.levelBins; ++row) {
        const double top = eye.levelMaxV - row * rowHeight, bottom = top - rowHeight;
        if (bottom > -(a - c) + 1e-9 && top < (a - c) - 1e-9) {
            for (int column : {63, 64}) EXPECT_EQ(eye.density[static_cast<std::size_t>(row * 128 + column)], 0u);
        }
    }
}

TEST(Eye, ResultsFollowTheClockAndSkipEarlyIntervals) {
    // The same eye with the clock a quarter unit interval late: the opening moves by a quarter.
    const SyntheticEye s = MakeEye(400, 0.4, 0.0, 0.3, 0.25);
    const EyeAnalysis shifted = FoldEye(s.wave, kDt, s.fallingEdges, 0.0);
    EXPECT_NEAR(shifted.widthLeftUi, -0.75, 1e-9);
    EXPECT_NEAR(shifted.widthRightUi, 0.25, 1e-9);
    EXPECT_GT(shifted.heightV, 0.0);
    // Garbage before fromTime does not enter the eye.
    SyntheticEye noisy = MakeEye(400, 0.4, 0.0, 0.3, 0.0);
    std::mt19937 rng(1);
    for (std::size_t i = 0; i < 100 * kSamplesPerBit; ++i) noisy.wave[i] = std::uniform_real_distribution<double>(-1, 1)(rng);
    const EyeAnalysis later = FoldEye(noisy.wave, kDt, noisy.fallingEdges, 102 * kBitTime);
    EXPECT_NEAR(later.heightV, 0.8, 1e-12);
    EXPECT_NEAR(later.widthUi, 1.0, 1e-9);
}

TEST(Eye, ClosedEyesGiveZero) {
    // Clock edges in the middle of the bits: every transition crosses at the sampling point.
    const SyntheticEye mid = MakeEye(300, 0.4, 0.0, 0.3, 0.5);
    EyeAnalysis eye = FoldEye(mid.wave, kDt, mid.fallingEdges, 0.0);
    EXPECT_EQ(eye.heightV, 0.0);
    EXPECT_EQ(eye.widthUi, 0.0);
    EXPECT_GT(eye.traces, 0u);
    // Noise larger than the signal.
    const SyntheticEye noisy = MakeEye(300, 0.2, 0.0, 0.3, 0.0, 0.5);
    eye = FoldEye(noisy.wave, kDt, noisy.fallingEdges, 0.0);
    EXPECT_EQ(eye.heightV, 0.0);
    EXPECT_EQ(eye.widthUi, 0.0);
    // No level below the threshold at all.
    const std::vector<double> flat(3000, 0.2);
    eye = FoldEye(flat, kDt, mid.fallingEdges, 0.0);
    EXPECT_EQ(eye.heightV, 0.0);
    EXPECT_EQ(eye.widthUi, 0.0);
    // Nothing to fold.
    eye = FoldEye(flat, kDt, {}, 0.0);
    EXPECT_EQ(eye.traces, 0u);
    EXPECT_EQ(eye.heightV, 0.0);
    EyeOptions bad;
    bad.phaseBins = 1;
    EXPECT_THROW(FoldEye(flat, kDt, mid.fallingEdges, 0.0, bad), std::runtime_error);
}

// ---------------------------------------------------------------------------------------- adaptation

namespace {

const int kEqTable[16] = {0, 64, 80, 128, 144, 192, 208, 209, 213, 216, 234, 2347, 253, 238, 239, 255};

// A trace line as the receiver writes it.
std::string TraceLine(int index, const std::vector<double>& taps, double heo, double veo) {
    char buf[256];
    std::string line = std::to_string(0) + " 0 " + std::to_string(index) + " " + std::to_string(kEqTable[index]) + "\t";
    for (double t : taps) {
        std::snprintf(buf, sizeof buf, "%g \t", t);
        line += buf;
    }
    std::snprintf(buf, sizeof buf, "%g\t%g\n", heo, veo);
    return line + buf;
}

// Sweep: indexes 4 and 9 tie for the best merit (ties go higher), 15 is best but no candidate. Then the tap
// search with DFElsb 0.01 and a tap 1 limit of 2 steps; merits 0.25·0.2 + HEO; the step after each line,
// by line index from 0, worked out by hand:
//   16 move tap 1 to .01 | 17 no fall: keep, .02 | 18 rise: .03 passes the bound, clamped .02, tap 2
//   19 move tap 2 to .01 | 20 fall: reverse, 0  | 21 rise: -.01 | 22 rise: -.02 | 23 fall: back to -.01, tap 3
//   24 move tap 3 to .01 | 25 rise: keep, .02   | 26 fall: back to .01, tap 4
//   27 move tap 4 to .01 | 28 equal: keep, .02  | 29 fall: back to .01, tap 5
//   30 move tap 5 to .01 | 31 fall: reverse, 0  | 32 fall: back to .01, search over.
struct HandTrace {
    std::vector<std::vector<double>> taps;
    std::vector<double> heo;
};

HandTrace MakeHandTrace() {
    HandTrace t;
    for (int k = 0; k < 16; ++k) {
        t.taps.push_back({0, 0, 0, 0, 0});
        t.heo.push_back(k == 4 || k == 9 ? 0.5 : k == 15 ? 0.9 : 0.3);
    }
    const std::vector<std::vector<double>> dfe = {
        {0, 0, 0, 0, 0},           {0.01, 0, 0, 0, 0},          {0.02, 0, 0, 0, 0},           {0.02, 0, 0, 0, 0},
        {0.02, 0.01, 0, 0, 0},     {0.02, 0, 0, 0, 0},          {0.02, -0.01, 0, 0, 0},       {0.02, -0.02, 0, 0, 0},
        {0.02, -0.01, 0, 0, 0},    {0.02, -0.01, 0.01, 0, 0},   {0.02, -0.01, 0.02, 0, 0},    {0.02, -0.01, 0.01, 0, 0},
        {0.02, -0.01, 0.01, 0.01, 0}, {0.02, -0.01, 0.01, 0.02, 0}, {0.02, -0.01, 0.01, 0.01, 0},
        {0.02, -0.01, 0.01, 0.01, 0.01}, {0.02, -0.01, 0.01, 0.01, 0}};
    const std::vector<double> heo = {0.45, 0.5, 0.55, 0.53, 0.52, 0.53, 0.55, 0.54, 0.55,
                                     0.56, 0.555, 0.55, 0.55, 0.54, 0.55, 0.54, 0.53};
    t.taps.insert(t.taps.end(), dfe.begin(), dfe.end());
    t.heo.insert(t.heo.end(), heo.begin(), heo.end());
    return t;
}

std::string TraceText(const HandTrace& t, std::size_t lines) {
    std::string text = kAdaptTraceHeader;
    for (std::size_t k = 0; k < lines; ++k) text += TraceLine(k < 16 ? static_cast<int>(k) : 9, t.taps[k], t.heo[k], 0.2);
    return text;
}

AdaptationSettings Tap1Limit2() {
    AdaptationSettings s;
    s.tap1Limit = 2;
    return s;
}

}  // namespace

TEST(AdaptationTrace, HandWrittenTraceOfSweepAndTapSearch) {
    const HandTrace t = MakeHandTrace();
    ScopedTempDir dir;
    {
        // An earlier start's lines are left behind by the later header.
        std::ofstream out("adapt.txt");
        out << kAdaptTraceHeader << TraceLine(3, {0, 0, 0, 0, 0}, 0.1, 0.1) << TraceText(t, 33);
    }
    const AdaptationSummary s = ParseAdaptationTrace("adapt.txt", Tap1Limit2());
    ASSERT_EQ(s.steps.size(), 33u);
    EXPECT_EQ(s.steps[9].ctleColumn, 216);
    EXPECT_DOUBLE_EQ(s.steps[20].taps[1], 0.01);
    EXPECT_NEAR(s.steps[20].Merit(), 0.57, 1e-12);
    EXPECT_EQ(s.chosenTableIndex, 9);
    EXPECT_EQ(s.chosenColumn, 216);
    EXPECT_TRUE(s.complete);
    EXPECT_EQ(s.finalStep, 32);
    EXPECT_TRUE(s.replayConsistent) << s.replayNote;
    const double expected[5] = {0.02, -0.01, 0.01, 0.01, 0.01};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(s.finalTaps[i], expected[i], 1e-12) << i;
}

TEST(AdaptationTrace, UnfinishedSearchHasTheEnginesPresentTaps) {
    const HandTrace t = MakeHandTrace();
    const AdaptationSummary s = ParseAdaptationTraceText(TraceText(t, 32), "adapt.txt", Tap1Limit2());
    EXPECT_FALSE(s.complete);
    EXPECT_EQ(s.finalStep, -1);
    EXPECT_TRUE(s.replayConsistent) << s.replayNote;
    const double expected[5] = {0.02, -0.01, 0.01, 0.01, 0.0};  // the reversal after measurement 32
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(s.finalTaps[i], expected[i], 1e-12) << i;
    // During the sweep nothing is chosen yet.
    const AdaptationSummary sweeping = ParseAdaptationTraceText(TraceText(t, 10), "adapt.txt");
    EXPECT_FALSE(sweeping.complete);
    EXPECT_EQ(sweeping.chosenTableIndex, -1);
}

TEST(AdaptationTrace, LoggedTapsDecideWhereLoggedMeritsTie) {
    HandTrace t = MakeHandTrace();
    // Measurement 24 (a fall in the engine) logged with the same six digits as 23: the taps of 25 show the
    // step back, and the search goes on from there.
    t.heo[23] = t.heo[22];
    const AdaptationSummary s = ParseAdaptationTraceText(TraceText(t, 33), "adapt.txt", Tap1Limit2());
    EXPECT_TRUE(s.complete);
    EXPECT_TRUE(s.replayConsistent) << s.replayNote;
    EXPECT_NEAR(s.finalTaps[1], -0.01, 1e-12);
}

TEST(AdaptationTrace, DisagreementsAreReported) {
    const HandTrace t = MakeHandTrace();
    // With the receiver's default tap 1 limit the clamp after measurement 19 would not happen.
    AdaptationSummary s = ParseAdaptationTraceText(TraceText(t, 33), "adapt.txt");
    EXPECT_FALSE(s.replayConsistent);
    EXPECT_NE(s.replayNote.find("measurement 20"), std::string::npos) << s.replayNote;
    // Lines after the final step back.
    std::string text = TraceText(t, 33) + TraceLine(9, {0.02, -0.01, 0.01, 0.01, 0.01}, 0.5, 0.2);
    s = ParseAdaptationTraceText(text, "adapt.txt", Tap1Limit2());
    EXPECT_TRUE(s.complete);
    EXPECT_FALSE(s.replayConsistent);
}

TEST(AdaptationTrace, SweepOnlyAndNoAdaptation) {
    const HandTrace t = MakeHandTrace();
    AdaptationSettings sweepOnly;
    sweepOnly.dfeAdapt = false;
    AdaptationSummary s = ParseAdaptationTraceText(TraceText(t, 16), "adapt.txt", sweepOnly);
    EXPECT_TRUE(s.complete);
    EXPECT_EQ(s.finalStep, 15);
    EXPECT_EQ(s.chosenTableIndex, 9);
    EXPECT_EQ(s.chosenColumn, 216);

    AdaptationSettings none;
    none.ctleAdapt = none.dfeAdapt = false;
    s = ParseAdaptationTraceText(std::string(kAdaptTraceHeader) + TraceLine(3, {0.02, -0.01, 0, 0, 0}, 0.6, 0.2), "adapt.txt", none);
    EXPECT_TRUE(s.complete);
    EXPECT_EQ(s.finalStep, -1);
    EXPECT_EQ(s.chosenTableIndex, 3);
    EXPECT_EQ(s.chosenColumn, 128);
    EXPECT_DOUBLE_EQ(s.finalTaps[0], 0.02);
}

TEST(AdaptationTrace, UnreadableTracesNameFileAndLine) {
    try {
        ParseAdaptationTraceText(std::string(kAdaptTraceHeader) + "0 0 3 128\t0 \t0 \t0 \t0 \t0.4375\t0.0875\n", "run/adapt.txt");
        FAIL() << "a line with four taps was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("run/adapt.txt:2: ", 0), 0u) << e.what();
    }
    EXPECT_THROW(ParseAdaptationTraceText("0 0 3 128\t0 \t0 \t0 \t0 \t0 \t0.4\t0.08\n", "adapt.txt"), std::runtime_error);
    EXPECT_THROW(ParseAdaptationTraceText("", "adapt.txt"), std::runtime_error);
    EXPECT_THROW(ParseAdaptationTrace("/nonexistent/adapt.txt"), std::runtime_error);
    // A header alone: the adaptation has not begun.
    const AdaptationSummary s = ParseAdaptationTraceText(kAdaptTraceHeader, "adapt.txt");
    EXPECT_TRUE(s.steps.empty());
    EXPECT_FALSE(s.complete);
}
