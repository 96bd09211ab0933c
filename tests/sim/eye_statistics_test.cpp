// Bathtubs, BER contour, eye at a target BER and jitter, on synthetic signals whose answers follow from
// the Gaussian tail function (erfc) or are set by construction.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/analysis/BathtubFolder.h"
#include "sim/analysis/BerEye.h"
#include "sim/analysis/Jitter.h"
#include "sim/analysis/PatternSync.h"
#include "sim/analysis/Prbs.h"
#include "sim/analysis/TailFit.h"
#include "sim/report/HtmlReport.h"
#include "sim/report/StatisticsText.h"
#include "sim/report/SummaryJson.h"

using namespace ksim;

namespace {

const double kPi = 3.14159265358979323846;
const double kBitTime = 3.571428571428571e-11;

double Q(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

// x with f(x) = target for f decreasing on [lo, hi], by bisection (independent of the code under test).
template <typename F>
double Solve(F f, double target, double lo, double hi) {
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (f(mid) > target ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// Unit intervals of the signal bit·A·cos(πφ) + n (bit ±1, one Gaussian n per interval): at phase φ and
// threshold θ the BER is ½[Q((A cos πφ - θ)/σ) + Q((A cos πφ + θ)/σ)].
BathtubAnalysis GaussianEye(double amplitude, double sigma, int intervals) {
    BerEye eye;
    std::mt19937_64 random(7);
    std::normal_distribution<double> noise(0.0, sigma);
    std::vector<double> values(static_cast<std::size_t>(eye.Columns()));
    for (int k = 0; k < intervals; ++k) {
        const int bit = static_cast<int>(random() & 1u);
        const double n = noise(random);
        for (int c = 0; c < eye.Columns(); ++c)
            values[static_cast<std::size_t>(c)] = (bit ? 1 : -1) * amplitude * std::cos(kPi * eye.PhaseUi(c)) + n;
        eye.Add(values.data(), bit);
    }
    return eye.Finish();
}

}  // namespace

TEST(TailFit, InverseOfTheGaussianTail) {
    const struct { double p, x; } cases[] = {{0.5, 0.0}, {0.158655253931457, 1.0}, {1e-6, 4.753424308822899},
                                            {1e-12, 7.034483825301131}, {0.99, -2.326347874040841}};
    for (const auto& c : cases) EXPECT_NEAR(GaussianTailInverse(c.p), c.x, 1e-9) << c.p;
}

// The Gaussian eye: bathtubs and the eye at 1e-6 and 1e-12 as the erfc formula gives them, within the
// resolution of the histograms (1/64 UI, 1/256 of the level range) and the noise of 2 x 10^5 intervals.
TEST(BerEye, GaussianEyeFollowsErfc) {
    const double a = 1.0;
    for (double sigma : {0.1, 0.15}) {
        const BathtubAnalysis b = GaussianEye(a, sigma, 200000);
        ASSERT_TRUE(b.measured) << b.reason;
        ASSERT_EQ(b.eyeAt.size(), 2u);
        for (const EyeAtBer& at : b.eyeAt) {
            const double x = at.targetBer;
            const bool open = Q(a / sigma) <= x;
            const double width = open ? 2.0 * std::acos(sigma * Solve(Q, x, 0, 40) / a) / kPi : 0.0;
            const double theta =
                open ? Solve([&](double t) { return -0.5 * (Q((a - t) / sigma) + Q((a + t) / sigma)); }, -x, 0, a) : 0.0;
            EXPECT_NEAR(at.widthUi, width, 0.015) << sigma << " " << x;
            EXPECT_NEAR(at.heightV, 2 * theta, 0.03) << sigma << " " << x;
        }
        // Where errors were counted the bathtub is their share; the extrapolation meets it on the Q scale.
        for (const BathtubPoint& p : b.horizontal) {
            const double expected = Q(a * std::cos(kPi * p.position) / sigma);
            if (expected < 1e-25) continue;
            EXPECT_NEAR(GaussianTailInverse(p.ber), GaussianTailInverse(expected), p.counted ? 0.25 : 0.35) << p.position;
        }
        EXPECT_EQ(b.mapBer.size(), b.mapPhasesUi.size() * b.mapThresholdsV.size());
    }
}

// A clean eye (two levels per bit, no noise): no errors anywhere inside, every point extrapolated, the eye
// at both targets close to the inner opening (1.6 V, the whole unit interval). A closed eye (the signal
// unrelated to the bit): BER one half at the sampling point, no opening at all.
TEST(BerEye, CleanAndClosedEyes) {
    BerEye clean, closed;
    std::mt19937_64 random(3);
    std::vector<double> values(static_cast<std::size_t>(clean.Columns()));
    int previous = 0;
    for (int k = 0; k < 50000; ++k) {
        const int bit = static_cast<int>(random() & 1u);
        const double level = (bit ? 1.0 : -1.0) + (previous ? 0.2 : -0.2);
        values.assign(values.size(), level);
        clean.Add(values.data(), bit);
        values.assign(values.size(), (random() & 1u) ? 0.5 : -0.5);
        closed.Add(values.data(), bit);
        previous = bit;
    }
    const BathtubAnalysis c = clean.Finish(), s = closed.Finish();
    ASSERT_TRUE(c.measured);
    EXPECT_EQ(c.errorsAtSamplingPoint, 0u);
    const double binWidth = c.mapThresholdsV[1] - c.mapThresholdsV[0];
    for (const EyeAtBer& at : c.eyeAt) {
        EXPECT_DOUBLE_EQ(at.widthUi, 1.0);
        EXPECT_LE(at.heightV, 1.6 + binWidth);
        EXPECT_GE(at.heightV, 1.6 - 8 * binWidth);
    }
    for (const BathtubPoint& p : c.horizontal) EXPECT_FALSE(p.counted) << p.position;
    ASSERT_TRUE(s.measured);
    EXPECT_NEAR(static_cast<double>(s.errorsAtSamplingPoint) / 50000.0, 0.5, 0.01);
    for (const EyeAtBer& at : s.eyeAt) EXPECT_EQ(at.widthUi + at.heightV, 0.0);
    EXPECT_TRUE(s.horizontal[32].counted);

    BerEye oneBit;
    oneBit.Add(values.data(), 1);
    EXPECT_FALSE(oneBit.Finish().measured);
}

// The pattern found in the received bits: after the lock the labels are the sent bits (in the received
// polarity), injected errors show as disagreements, a dropped bit costs a lock and a fresh one, a stuck
// signal never locks.
TEST(PatternSync, FindsThePatternAndFollowsSlips) {
    const struct {
        int order;
        bool inverted;
        std::vector<int> errorsAt;
        int dropAt;   // a bit left out (a slip), -1: none
        std::uint64_t locks;
    } cases[] = {{15, false, {500, 900, 901}, -1, 1}, {7, true, {300}, -1, 1}, {31, false, {}, 2000, 2},
                 {9, true, {200, 3000}, 1500, 2}};
    for (const auto& c : cases) {
        PrbsGenerator generator(c.order, static_cast<std::uint32_t>((std::uint64_t{1} << c.order) / 3));  // away from the sparse start
        PatternSync sync(c.order);
        int disagreements = 0, lockedBits = 0;
        for (int k = 0; k < 4000; ++k) {
            int bit = generator.NextBit();
            if (k == c.dropAt) bit = generator.NextBit();
            const int sent = c.inverted ? 1 - bit : bit;
            int received = sent;
            for (int e : c.errorsAt) received = k == e ? 1 - received : received;
            const int expected = sync.Next(received);
            if (expected < 0) continue;
            ++lockedBits;
            if (sync.Locked() || sync.JustLost()) disagreements += expected != received;
            if (k > c.dropAt + 200 && sync.Locked()) {
                EXPECT_EQ(expected, sent) << c.order << " bit " << k;
            }
        }
        EXPECT_EQ(sync.Locks(), c.locks) << c.order;
        if (c.dropAt < 0) {
            EXPECT_EQ(disagreements, static_cast<int>(c.errorsAt.size())) << c.order;
        }
        EXPECT_GT(lockedBits, 3500) << c.order;
    }
    PatternSync stuck(15);
    for (int k = 0; k < 1000; ++k) EXPECT_EQ(stuck.Next(1), -1);
}

// The folder on an NRZ wave at the recovered clock: the bit errors put into the wave are exactly the
// errors counted at the sampling point; a missed clock edge loses the pattern for a while but adds no error.
TEST(BathtubFolder, CountsTheWavesErrorsAndSurvivesAMissedEdge) {
    const struct {
        bool inverted;
        std::vector<int> flipped;
        int missedEdge;   // -1: none
    } cases[] = {{false, {}, -1}, {true, {1000, 1003, 5000}, -1}, {false, {4000}, 2500}};
    for (const auto& c : cases) {
        const int spb = 32, bits = 8000, delay = 1;
        BathtubFolderSettings settings;
        settings.bitTime = kBitTime;
        settings.sampleInterval = kBitTime / spb;
        settings.prbsOrder = 15;
        settings.waveDelaySamples = delay;
        BathtubFolder folder(settings);
        folder.SetFrom(100 * kBitTime);
        PrbsGenerator generator(15, 1);
        std::vector<double> wave(static_cast<std::size_t>(delay), 0.0);
        for (int k = 0; k < bits; ++k) {
            int bit = generator.NextBit() ^ (c.inverted ? 1 : 0);
            for (int e : c.flipped) bit = k == e ? 1 - bit : bit;
            for (int i = 0; i < spb; ++i) wave.push_back(bit ? 0.4 : -0.4);
        }
        std::vector<double> edges;  // falling edges half a bit before each bit's centre
        for (int k = 0; k < bits; ++k)
            if (k != c.missedEdge) edges.push_back(k * kBitTime);
        for (std::size_t at = 0; at < wave.size(); at += 1000) {
            const std::size_t n = std::min<std::size_t>(1000, wave.size() - at);
            folder.AddWave(&wave[at], n);
            std::vector<double> block;
            for (double e : edges)
                if (e >= static_cast<double>(at) * settings.sampleInterval &&
                    e < static_cast<double>(at + n) * settings.sampleInterval)
                    block.push_back(e);
            folder.AddEdges(block.data(), block.size());
        }
        const BathtubAnalysis b = folder.Finish();
        ASSERT_TRUE(b.measured) << b.reason;
        EXPECT_EQ(b.errorsAtSamplingPoint, c.flipped.size());
        EXPECT_EQ(b.resyncs, c.missedEdge < 0 ? 0u : 1u);
        EXPECT_EQ(b.unitIntervals + b.unknownIntervals, static_cast<std::uint64_t>(bits - 101 - (c.missedEdge < 0 ? 0 : 2)));
        EXPECT_LT(b.unknownIntervals, c.missedEdge < 0 ? 100u : 300u);  // finding the pattern: 15 + 64 bits
    }
}

// Clock edges with a frequency offset, Gaussian random jitter and a bimodal (dual-Dirac) or sinusoidal
// deterministic part: the grid takes up the offset, the RMS is √(RJ² + DJ²/4) (bimodal) or √(RJ² + A²/2)
// (sinusoid of amplitude A), and the dual-Dirac split gives back RJ and the bimodal DJ.
TEST(Jitter, SplitOfKnownRandomAndDeterministicJitter) {
    const struct {
        double ppm, rjUi, bimodalUi, sineUi;
        double djLow, djHigh;   // the dual-Dirac DJ expected [UI]
    } cases[] = {{0, 0.01, 0.0, 0.0, 0.0, 0.01},
                 {100, 0.01, 0.1, 0.0, 0.09, 0.11},
                 {-300, 0.02, 0.2, 0.0, 0.18, 0.22},
                 {50, 0.01, 0.0, 0.05, 0.05, 0.1}};
    for (const auto& c : cases) {
        std::mt19937_64 random(11);
        std::normal_distribution<double> rj(0.0, c.rjUi);
        std::vector<double> times;
        const double period = kBitTime * (1 + c.ppm * 1e-6);
        for (int n = 0; n < 200000; ++n) {
            const double dj = (random() & 1u ? 0.5 : -0.5) * c.bimodalUi + c.sineUi * std::sin(2 * kPi * n / 97.3);
            times.push_back(1e-9 + n * period + (rj(random) + dj) * kBitTime);
        }
        const TieAnalysis t = AnalyzeTie(VectorSeries<double>(times), 0.0, 1.0, kBitTime);
        ASSERT_TRUE(t.measured && t.splitMeasured) << t.reason << t.splitReason;
        EXPECT_NEAR(t.frequencyOffsetPpm, c.ppm, 2.0);
        const double rms = std::sqrt(c.rjUi * c.rjUi + c.bimodalUi * c.bimodalUi / 4 + c.sineUi * c.sineUi / 2);
        EXPECT_NEAR(t.rmsUi, rms, 0.02 * rms);
        EXPECT_NEAR(t.rjUi, c.rjUi, 0.15 * c.rjUi) << c.bimodalUi << " " << c.sineUi;
        EXPECT_GE(t.djUi, c.djLow);
        EXPECT_LE(t.djUi, c.djHigh);
        EXPECT_NEAR(t.tjUi, t.djUi + 2 * 7.034483825301131 * t.rjUi, 1e-9);
        std::uint64_t total = 0;
        for (std::uint64_t h : t.histogram) total += h;
        EXPECT_EQ(total, t.events);
    }
    const std::vector<double> few = {0, kBitTime, 2 * kBitTime};
    EXPECT_FALSE(AnalyzeTie(VectorSeries<double>(few), 0.0, 1.0, kBitTime).measured);
    std::vector<double> exact;  // a clock that never moves: only the rounding of its times is left, no split
    for (int n = 0; n < 200000; ++n) exact.push_back(1e-5 + n * kBitTime);
    const TieAnalysis still = AnalyzeTie(VectorSeries<double>(exact), 0.0, 1.0, kBitTime);
    EXPECT_TRUE(still.measured && !still.splitMeasured && still.peakToPeakUi < 1e-6) << still.peakToPeakUi;
    std::vector<double> grid;  // only the counted stretch [from, until) is judged
    for (int n = 0; n < 100; ++n) grid.push_back((n + 0.5) * kBitTime);
    EXPECT_EQ(AnalyzeTie(VectorSeries<double>(grid), 10 * kBitTime, 60 * kBitTime, kBitTime).events, 50u);
}

// Data crossings of ramped NRZ edges land where the ramps cross 0 V; their TIE against the fitted grid is the
// crossing shift put in (here alternately early and late by 0.05 UI, so the peak-to-peak is 0.1 UI).
TEST(Jitter, DataCrossingsOfARampedWave) {
    const int spb = 32, delay = 2;
    const double dt = kBitTime / spb;
    DataCrossings crossings(dt, kBitTime, delay, "");
    PrbsGenerator generator(7);
    const int bits = 4000;
    std::vector<int> b(bits);
    std::vector<double> shift(bits, 0.0);  // [UI] of the transition into bit k
    std::vector<double> expected;
    for (int k = 0, transitions = 0; k < bits; ++k) {
        b[k] = generator.NextBit();
        if (k > 0 && b[k] != b[k - 1]) {
            shift[k] = transitions++ % 2 ? 0.05 : -0.05;
            expected.push_back((k + shift[k]) * kBitTime);
        }
    }
    // Sample i holds clock time (i - delay) dt; bit k spans k - 0.5 .. k + 0.5 UI with its transition ramped
    // over ±0.1 UI around k + shift.
    std::vector<double> wave;
    for (int i = 0; i < bits * spb; ++i) {
        const double u = static_cast<double>(i - delay) / spb;
        const int k = std::clamp(static_cast<int>(std::floor(u + 0.5)), 0, bits - 1);
        const double level = b[k] ? 1.0 : -1.0;
        const double x = u - (k + shift[k]);
        if (k == 0 || b[k] == b[k - 1] || x >= 0.1)
            wave.push_back(level);
        else
            wave.push_back(x <= -0.1 ? -level : level * x / 0.1);
    }
    crossings.AddWave(wave.data(), wave.size());
    ASSERT_EQ(crossings.Times().Size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); i += 97) {
        double t = 0;
        crossings.Times().Read(i, 1, &t);
        EXPECT_NEAR(t, expected[i], 1e-6 * kBitTime);
    }
    const TieAnalysis t = AnalyzeTie(SpillSeries<double>(crossings.Times()), 0.0, 1.0, kBitTime);
    ASSERT_TRUE(t.measured);
    EXPECT_NEAR(t.peakToPeakUi, 0.1, 1e-6);
    EXPECT_NEAR(t.rmsUi, 0.05, 1e-4);
    EXPECT_NEAR(t.frequencyOffsetPpm, 0.0, 1.0);
}

// The summary, its printed lines and the report: figures where measured, "not measured" with the reason
// where not.
TEST(EyeStatisticsReport, MeasuredAndNotMeasuredFigures) {
    RunReport missing;
    missing.bitTime = kBitTime;
    missing.bathtub.reason = "no bit was known";
    missing.jitter.clock.reason = "too few edges";
    missing.jitter.data.reason = "no crossings";
    RunReport measured = missing;
    measured.bathtub = GaussianEye(1.0, 0.1, 20000);
    std::vector<double> edges;
    std::mt19937_64 random(5);
    std::normal_distribution<double> rj(0.0, 0.01);
    for (int n = 0; n < 5000; ++n) edges.push_back((n + rj(random)) * kBitTime);
    measured.jitter.clock = AnalyzeTie(VectorSeries<double>(edges), 0.0, 1.0, kBitTime);

    const nlohmann::json none = nlohmann::json::parse(SummaryJsonText(missing));
    EXPECT_EQ(none["bathtub"]["width_ui_at_1e-12"], "not measured");
    EXPECT_EQ(none["bathtub"]["height_v_at_1e-6"], "not measured");
    EXPECT_EQ(none["bathtub"]["reason"], "no bit was known");
    EXPECT_EQ(none["jitter"]["clock"]["rms_ui"], "not measured");
    EXPECT_EQ(none["jitter"]["data"]["reason"], "no crossings");
    const std::vector<std::string> lines = StatisticsSummaryLines(missing);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("not measured (no bit was known)"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("not measured (too few edges)"), std::string::npos) << lines[1];
    const std::string noneHtml = RenderHtmlReport(missing, HtmlReportOptions());
    EXPECT_NE(noneHtml.find("Not measured: no bit was known"), std::string::npos);
    EXPECT_EQ(noneHtml.find("bathtub-horizontal"), std::string::npos);

    const nlohmann::json some = nlohmann::json::parse(SummaryJsonText(measured));
    EXPECT_EQ(some["bathtub"]["width_ui_at_1e-12"].get<double>(), measured.bathtub.eyeAt[1].widthUi);
    EXPECT_EQ(some["bathtub"]["height_v_at_1e-6"].get<double>(), measured.bathtub.eyeAt[0].heightV);
    EXPECT_EQ(some["bathtub"]["horizontal"]["ber"].size(), measured.bathtub.horizontal.size());
    EXPECT_EQ(some["jitter"]["clock"]["rj_ui"].get<double>(), measured.jitter.clock.rjUi);
    EXPECT_NEAR(some["jitter"]["clock"]["rms_ps"].get<double>(), measured.jitter.clock.rmsUi * kBitTime * 1e12, 1e-12);
    const std::string html = RenderHtmlReport(measured, HtmlReportOptions());
    for (const char* id : {"bathtub-horizontal", "bathtub-vertical", "ber-contour", "tie-clock"})
        EXPECT_NE(html.find(id), std::string::npos) << id;
    EXPECT_NE(html.find("<td>At BER 1e-12</td><td class=\"v\">" + EyeAtBerText(measured.bathtub, 1e-12)), std::string::npos);
    EXPECT_EQ(EyeAtBerText(missing.bathtub, 1e-12), "not measured");
}
