// The run judged block by block: the same figures as the whole-record analysis, in memory that does not
// grow with the number of bits.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "sim/analysis/Ber.h"
#include "sim/analysis/Clock.h"
#include "sim/analysis/ClockPhase.h"
#include "sim/analysis/Eye.h"
#include "sim/analysis/LinkAnalysis.h"
#include "sim/analysis/Prbs.h"
#include "sim/analysis/SampleHistory.h"

using namespace ksim;

namespace {

const double kBitTime = 3.571428571428571e-11;

// A receiver's outputs for sent PRBS-15 bits: the equalised signal (one sample late, soft edges, noise),
// the decisions (±0.5, latency 3 bits, a few flipped) and clock edges with jitter, produced block by block.
class SyntheticLink {
public:
    SyntheticLink(int samplesPerBit, double jitterUi, double noiseV)
        : spb_(samplesPerBit), dt_(kBitTime / samplesPerBit), prbs_(15, 1), jitter_(0, jitterUi), noise_(0, noiseV) {}

    // The next n samples and the edges that fall in them.
    void Next(std::size_t n, std::vector<double>& eq, std::vector<double>& dec, std::vector<double>& falling,
              std::vector<double>& rising) {
        eq.resize(n);
        dec.resize(n);
        falling.clear();
        rising.clear();
        for (std::size_t i = 0; i < n; ++i, ++sample_) {
            if (sample_ % static_cast<std::uint64_t>(spb_) == 0) {
                bits_.push_back(prbs_.NextBit());
                if (bits_.size() > 8) bits_.erase(bits_.begin());
                const double jitter = jitter_.stddev() > 0 ? jitter_(rng_) * spb_ : 0.0;
                const double edge = (static_cast<double>(sample_) + 0.3 + jitter) * dt_;
                if (sample_ > 0) falling.push_back(edge);
                if (sample_ > 0) rising.push_back(static_cast<double>(sample_) * dt_ + 0.5 * kBitTime);
            }
            const std::size_t k = bits_.size() - 1;
            const double level = bits_[k] ? 0.4 : -0.4;
            const double before = k > 0 ? (bits_[k - 1] ? 0.4 : -0.4) : level;
            const double phase = static_cast<double>(sample_ % static_cast<std::uint64_t>(spb_)) / spb_;
            eq[i] = before + (level - before) * std::min(1.0, phase * 4) + (noise_.stddev() > 0 ? noise_(rng_) : 0.0);
            const int decided = k >= 3 ? bits_[k - 3] : 0;
            dec[i] = (decided ^ (noise_.stddev() > 0 && flip_(rng_) < 1e-4)) ? 0.5 : -0.5;
        }
    }

private:
    int spb_;
    double dt_;
    std::uint64_t sample_ = 0;
    PrbsGenerator prbs_;
    std::vector<int> bits_;
    std::mt19937_64 rng_{5};
    std::normal_distribution<double> jitter_, noise_;
    std::uniform_real_distribution<double> flip_{0.0, 1.0};
};

long PeakResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

TEST(LinkAnalysis, BlockByBlockEqualsTheWholeRecordForAnyBlockSize) {
    const int spb = 16, bits = 20000;
    const double dt = kBitTime / spb, countFrom = 3000 * kBitTime;
    SyntheticLink whole(spb, 0.01, 0.01);
    std::vector<double> eq, dec, falling, rising;
    whole.Next(static_cast<std::size_t>(bits) * spb, eq, dec, falling, rising);
    ClockAnalysis clock = AnalyzeClock(falling, kBitTime);
    JudgeClockAgainstData(VectorSeries<double>(falling), kBitTime, kBitTime, PhaseLockCriteria(), clock);
    const EyeAnalysis eye = FoldEye(eq, dt, falling, countFrom);
    std::vector<int> sent;
    PrbsGenerator prbs(15, 1);
    for (int k = 0; k < bits; ++k) sent.push_back(prbs.NextBit());
    const std::vector<int> all = SampleDecisions(dec, dt, rising, 0.0);
    const std::size_t ignored = all.size() - SampleDecisions(dec, dt, rising, countFrom).size();
    const BerResult ber = CountBitErrors(sent, all, ignored, 64);
    ASSERT_TRUE(clock.locked && ber.aligned && eye.heightV > 0);
    ASSERT_GT(ber.errors, 0u);

    for (std::size_t block : {std::size_t{7}, std::size_t{1000}, std::size_t{bits} * spb}) {
        LinkAnalysisSettings settings;
        settings.bitTime = kBitTime;
        settings.sampleInterval = dt;
        settings.bits = bits;
        LinkAnalysis analysis(settings);
        SyntheticLink link(spb, 0.01, 0.01);
        for (std::size_t start = 0; start < static_cast<std::size_t>(bits) * spb; start += block) {
            const std::size_t n = std::min(block, static_cast<std::size_t>(bits) * spb - start);
            // The count starts in the middle of a block, as when an adaptation line lands there.
            if (start <= 3000u * spb && 3000u * spb < start + n) analysis.SetCountStart(countFrom);
            link.Next(n, eq, dec, falling, rising);
            analysis.AddBlock(eq.data(), dec.data(), n, falling, rising);
        }
        RunReport report;
        analysis.Finish(report);
        EXPECT_EQ(report.clock.lockEdge, clock.lockEdge) << block;
        EXPECT_EQ(report.clock.meanPeriodUi, clock.meanPeriodUi) << block;
        EXPECT_EQ(report.clock.rmsJitterUi, clock.rmsJitterUi) << block;
        EXPECT_EQ(report.eye.density, eye.density) << block;
        EXPECT_EQ(report.eye.heightV, eye.heightV) << block;
        EXPECT_EQ(report.eye.widthUi, eye.widthUi) << block;
        EXPECT_EQ(report.ber.bitsCompared, ber.bitsCompared) << block;
        EXPECT_EQ(report.ber.errors, ber.errors) << block;
        EXPECT_EQ(report.ber.latencyBits, ber.latencyBits) << block;
    }
}

// Ten million bits (a whole-record analysis would hold about 6 GB) judged in a few tens of MB.
TEST(LinkAnalysis, MemoryStaysFlatOverTenMillionBits) {
    const int spb = 4;
    const std::uint64_t bits = 10000000;
    const double dt = kBitTime / spb;
    LinkAnalysisSettings settings;
    settings.bitTime = kBitTime;
    settings.sampleInterval = dt;
    settings.bits = bits;
    settings.eye.phaseBins = 8;  // the eye's cost is its columns per unit interval; its memory is fixed
    LinkAnalysis analysis(settings);
    analysis.SetCountStart(1000 * kBitTime);
    SyntheticLink link(spb, 0.0, 0.0);
    std::vector<double> eq, dec, falling, rising;
    const long before = PeakResidentKb();
    for (std::uint64_t start = 0; start < bits * spb; start += 4096) {
        link.Next(std::min<std::uint64_t>(4096, bits * spb - start), eq, dec, falling, rising);
        analysis.AddBlock(eq.data(), dec.data(), eq.size(), falling, rising);
    }
    RunReport report;
    analysis.Finish(report);
    const long grown = PeakResidentKb() - before;
    std::printf("peak resident memory grew by %ld kB over %llu bits\n", grown, static_cast<unsigned long long>(bits));
    EXPECT_LT(grown, 80 * 1024);
    EXPECT_TRUE(report.clock.locked);
    EXPECT_EQ(report.clock.edges, bits - 1);
    EXPECT_GT(report.ber.bitsCompared, bits - 2000);
    EXPECT_GT(report.eye.traces, bits - 2000);
    EXPECT_GT(report.eye.heightV, 0.5);
    EXPECT_EQ(report.ber.errors, 0u);
}

// The eye's and the bathtub's sample history, through appends, drops and the compaction of its storage: every
// sample it holds reads back as the one appended under that number, and samples go only in the large steps
// that decide which ones a late trace still finds (as the history's erased front did before).
TEST(SampleHistory, HoldsEverySampleUnderItsNumberAndDropsOnlyInLargeSteps) {
    struct Case {
        std::size_t reserve, block;
        std::uint64_t lag;  // drops ask for up to this many samples behind the end to be kept
    };
    const Case cases[] = {{0, 1, 0}, {0, 7, 3}, {0, 1000, 5000}, {4096, 1024, 70000}, {1 << 20, 70000, 10}};
    for (const Case& c : cases) {
        SampleHistory history;
        history.Reserve(c.reserve);
        std::mt19937_64 rng(c.block);
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        std::vector<double> stream, piece(c.block);
        for (std::size_t step = 0; step < std::min<std::size_t>(400, 2000000 / c.block); ++step) {
            for (double& v : piece) v = value(rng);
            stream.insert(stream.end(), piece.begin(), piece.end());
            history.Append(piece.data(), piece.size());
            const std::uint64_t start = history.Start(), size = history.Size();
            const std::uint64_t behind = c.lag + rng() % (c.block + 1);
            const std::uint64_t ask = stream.size() > behind ? stream.size() - behind : 0;
            history.DropBefore(ask);
            const std::uint64_t due = ask > start ? std::min(ask - start, size) : 0;
            ASSERT_EQ(history.Start(), start + (due >= size / 2 || due >= 65536 ? due : 0)) << c.block << " " << step;
            ASSERT_EQ(history.End(), stream.size());
            for (std::uint64_t i = history.Start(); i < history.End(); ++i) {
                ASSERT_EQ(history.At(i), stream[i]) << c.block << " " << step << " " << i;
                ASSERT_EQ(history.Data()[i - history.Start()], stream[i]);
            }
        }
    }
}

// A loop pulling in a frequency offset slips its phase by about a unit interval before it tracks; a fit over
// all edges is tilted by that slip so even the last edges stray from it. The lock is still found, at the end
// of the pull-in, with the offset as the mean period.
TEST(ClockLock, APullInFromAFrequencyOffsetStillLocks) {
    const double offset = -200e-6;  // the data run 200 ppm fast: periods of 1 - 2e-4 UI once tracking
    std::vector<double> edges;
    double t = 0.3 * kBitTime;
    for (int j = 0; j < 40000; ++j) {
        // The period eases from 1 UI to the data's over the first 30000 edges (3 UI of phase slipped).
        const double pull = j < 30000 ? 1.0 - static_cast<double>(j) / 30000 : 0.0;
        t += kBitTime * (1.0 + offset * (1.0 - pull)) + (j % 2 ? 0.02 : -0.02) * kBitTime / 40;
        edges.push_back(t);
    }
    const ClockAnalysis c = AnalyzeClock(edges, kBitTime);
    ASSERT_TRUE(c.locked);
    EXPECT_GT(c.lockEdge, 15000u);
    EXPECT_LT(c.lockEdge, 30000u);
    EXPECT_NEAR(c.frequencyOffsetPpm, -185.0, 15.0);  // the tail of the pull-in lies within the tolerance
}
