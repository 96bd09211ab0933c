// The receiver library driven through dlopen, as a simulator drives it, on a PRBS wave through a lossy
// channel. Adaptation is judged from the trace file "adapt.txt", as a user would judge it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/AdaptTrace.h"
#include "tests/support/AmiLibrary.h"
#include "tests/support/WaveDigest.h"
#include "tests/support/LinkStimulus.h"
#include "tests/support/ScopedTempDir.h"

namespace {

const double kBitTime = 3.571428571428571e-11;
const int kSamplesPerBit = 16;
const double kSampleInterval = kBitTime / kSamplesPerBit;
const int kEqTable[16] = {0, 64, 80, 128, 144, 192, 208, 209, 213, 216, 234, 2347, 253, 238, 239, 255};
// Short eye measurements keep the adaptation cycle at 16000 + 200 × 16 samples.
const std::string kFast = " (EOM_window 200)";

const AmiLibrary& Rx() {
    static const AmiLibrary lib(KELVANE_RX_LIBRARY);
    return lib;
}

std::string Parameters(const std::string& extra) { return "(kelvane_rx" + extra + ")"; }

struct RxResult {
    long status = 0;
    std::vector<double> wave;
    std::vector<double> clocks;
};

RxResult RunRx(const std::string& parameters, std::vector<double> wave, std::size_t block) {
    AmiSession s(Rx(), parameters, kSampleInterval, kBitTime);
    EXPECT_EQ(s.initResult, 1) << s.message;
    RxResult r;
    r.status = s.Process(wave, block, &r.clocks);
    r.wave = std::move(wave);
    return r;
}


// The equaliser table index the sweep must choose: the best 0.25·VEO + HEO among the first 15 measured
// indexes, ties going to the higher index; the 16th measurement is logged but is no candidate.
int ExpectedSweepChoice(const std::vector<AdaptTraceRecord>& sweep) {
    int best = 0;
    double bestMerit = 0.0;
    for (int k = 0; k < 15; ++k) {
        if (sweep[static_cast<std::size_t>(k)].Merit() >= bestMerit) {
            best = k;
            bestMerit = sweep[static_cast<std::size_t>(k)].Merit();
        }
    }
    return best;
}

// An independent replay of the DFE hill climb from the logged measurements: each tap makes one move in its
// direction, then one compared move that keeps or reverses the direction, then moves on while the merit
// does not fall; the first fall steps back and hands over to the next tap, as does reaching a bound.
struct HillClimbReplay {
    double lsb;
    double upper[5];
    double taps[5];
    int sign[5] = {1, 1, 1, 1, 1};
    bool started[5] = {};
    int tap = 0;
    bool justMoved = true;
    bool done = false;
    double previousMerit = 0.0;

    void Step(double merit) {
        if (tap < 5) {
            const int i = tap;
            if (justMoved) {
                justMoved = false;
                taps[i] += sign[i] * lsb;
            } else if (!started[i]) {
                if (merit < previousMerit) sign[i] = -sign[i];
                started[i] = true;
                taps[i] += sign[i] * lsb;
            } else if (merit >= previousMerit) {
                taps[i] += sign[i] * lsb;
                if (taps[i] > upper[i] || taps[i] < -upper[i]) {
                    taps[i] = taps[i] > 0 ? upper[i] : -upper[i];
                    tap = i + 1;
                    justMoved = true;
                }
            } else {
                taps[i] -= sign[i] * lsb;
                tap = i + 1;
                justMoved = true;
                if (tap == 5) done = true;
            }
        }
        previousMerit = merit;
    }
};

}  // namespace

TEST(KelvaneRxLibrary, NoParametersWarnsForEachInTableOrder) {
    ScopedTempDir dir;
    AmiSession s(Rx(), "", kSampleInterval, kBitTime);
    EXPECT_EQ(s.initResult, 1);
    std::vector<std::string> names = {"Rx_config", "Factor", "VCO_Sensitivity", "CTLE", "DFEAdapt", "DFEtap1",
                                      "DFEtap2", "DFEtap3", "CTLEAdapt", "EOM_window", "VerticalEyeRes",
                                      "EOMAmplitude", "DFElsb", "DFEtap4", "DFEtap5", "EQ_HIGAIN", "VGA_GAIN"};
    for (int i = 0; i < 16; ++i) names.push_back("EQ_TABLE." + std::to_string(i));
    names.push_back("DFETap1Limit");
    names.push_back("EOMaxAmp");
    std::string expected;
    for (const std::string& name : names)
        expected += "The IBIS-AMI model, kelvane_rx, is unable to initialize the parameter " + name +
                    " from the AMI_Init arguments.  The model will use the default setting. ";
    EXPECT_EQ(s.message, expected);
    EXPECT_EQ(ParseAdaptTrace(dir.Read("adapt.txt")).headers, 1);
}

TEST(KelvaneRxLibrary, ClockRecoveryLocksToTheBitRate) {
    ScopedTempDir dir;
    const RxResult r = RunRx(Parameters(kFast), LossyPrbsWave(20000, kSamplesPerBit), 1024);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.wave[0], 0.0);  // the equalised signal, one sample late
    ASSERT_GT(r.clocks.size(), 19000u);
    // Falling tick edges, once settled: one bit time apart on average, each within half a bit of it.
    const std::size_t n = r.clocks.size();
    const double mean = (r.clocks[n - 1] - r.clocks[n - 5001]) / 5000;
    EXPECT_NEAR(mean / kBitTime, 1.0, 1e-3);
    for (std::size_t i = n - 5000; i < n; ++i) {
        const double gap = (r.clocks[i] - r.clocks[i - 1]) / kBitTime;
        EXPECT_GT(gap, 0.5);
        EXPECT_LT(gap, 1.5);
    }
    for (std::size_t i = 1; i < n; ++i) ASSERT_GT(r.clocks[i], r.clocks[i - 1]);
}

TEST(KelvaneRxLibrary, DecisionOutputAndRisingEdges) {
    ScopedTempDir dir;
    const std::vector<double> wave = LossyPrbsWave(6000, kSamplesPerBit);
    const RxResult decisions = RunRx(Parameters(" (Rx_config 0)" + kFast), wave, 1000);
    const RxResult equalised = RunRx(Parameters(" (Rx_config 1)" + kFast), wave, 1000);
    EXPECT_EQ(decisions.status, 1);
    bool decided = false;
    for (double x : decisions.wave) {
        if (x != 0.0) decided = true;
        if (decided) {
            ASSERT_TRUE(x == 0.5 || x == -0.5) << x;
        }
    }
    EXPECT_TRUE(decided);
    // Rising and falling tick edges alternate: each rising-edge time lies between two falling-edge times.
    const std::vector<double>& rising = decisions.clocks;
    const std::vector<double>& falling = equalised.clocks;
    ASSERT_GT(rising.size(), 5000u);
    std::size_t f = 0;
    for (double t : rising) {
        while (f < falling.size() && falling[f] < t) ++f;
        if (f == 0 || f == falling.size()) continue;
        EXPECT_GT(t, falling[f - 1]);
        EXPECT_LT(t, falling[f]);
    }
}

TEST(KelvaneRxLibrary, UnknownRxConfigFailsEverySampleWithTheMultiplexerMessage) {
    ScopedTempDir dir;
    AmiSession s(Rx(), Parameters(" (Rx_config 2)"), kSampleInterval, kBitTime);
    EXPECT_EQ(s.initResult, 1);
    std::vector<double> wave = {0.1, 0.2, 0.3};
    std::vector<double> times(4, -2.0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Rx().getWave(wave.data(), 3, times.data(), nullptr, s.handle), 0);
    EXPECT_EQ(Rx().getWave(wave.data(), 3, times.data(), nullptr, s.handle), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string line =
        "Control input signal value is equal to 2.  There are 2 inputs connected.  The valid control input range "
        "is [0,1].\n";
    EXPECT_EQ(err, line + line + line + line);  // both multiplexers, at the first sample of each call
    EXPECT_EQ(wave, (std::vector<double>{0.1, 0.2, 0.3}));
    EXPECT_EQ(times[0], -1.0);
}

TEST(KelvaneRxLibrary, AdaptationOffTakesOneMeasurement) {
    ScopedTempDir dir;
    const RxResult r = RunRx(Parameters(" (CTLEAdapt 0) (DFEAdapt 0) (CTLE 3) (DFEtap1 2) (DFEtap2 -1)" + kFast),
                             LossyPrbsWave(15000, kSamplesPerBit), 4096);
    EXPECT_EQ(r.status, 1);
    const AdaptTrace trace = ParseAdaptTrace(dir.Read("adapt.txt"));
    ASSERT_TRUE(trace.wellFormed);
    EXPECT_EQ(trace.headers, 1);
    ASSERT_EQ(trace.lines.size(), 1u);
    const AdaptTraceRecord& line = trace.lines[0];
    EXPECT_EQ(line.equaliserIndex, 3);
    EXPECT_EQ(line.equaliserCode, 128);
    EXPECT_DOUBLE_EQ(line.taps[0], 0.02);
    EXPECT_DOUBLE_EQ(line.taps[1], -0.01);
    EXPECT_GT(line.heo, 0.5);  // a clean channel gives a wide-open eye
}

TEST(KelvaneRxLibrary, AdaptationSweepsThenClimbs) {
    ScopedTempDir dir;
    const RxResult r = RunRx(Parameters(kFast), LossyPrbsWave(140000, kSamplesPerBit), 8192);
    EXPECT_EQ(r.status, 1);
    const AdaptTrace trace = ParseAdaptTrace(dir.Read("adapt.txt"));
    ASSERT_TRUE(trace.wellFormed);
    ASSERT_GT(trace.lines.size(), 17u);

    // The sweep walks the 16 table entries in order.
    std::vector<AdaptTraceRecord> sweep(trace.lines.begin(), trace.lines.begin() + 16);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(sweep[static_cast<std::size_t>(k)].equaliserIndex, k);
        EXPECT_EQ(sweep[static_cast<std::size_t>(k)].equaliserCode, kEqTable[k]);
        for (double tap : sweep[static_cast<std::size_t>(k)].taps) EXPECT_EQ(tap, 0.0);
    }
    // Then every measurement is made at the chosen index.
    const int chosen = ExpectedSweepChoice(sweep);
    for (std::size_t i = 16; i < trace.lines.size(); ++i) EXPECT_EQ(trace.lines[i].equaliserIndex, chosen);

    // The DFE taps follow the hill climb replayed from the logged figures of merit.
    HillClimbReplay climb{0.01, {0.31, 0.15, 0.15, 0.15, 0.15}, {0, 0, 0, 0, 0}};
    std::size_t i = 16;
    for (; i < trace.lines.size() && !climb.done; ++i) {
        climb.Step(trace.lines[i].Merit());
        if (i + 1 == trace.lines.size()) break;
        for (int t = 0; t < 5; ++t)
            ASSERT_NEAR(trace.lines[i + 1].taps[t], climb.taps[t], 1e-9) << "line " << i + 1 << " tap " << t + 1;
    }
    // The search ends with a step back at the last measurement: the request then stays high for good.
    EXPECT_TRUE(climb.done) << dir.Read("adapt.txt");
    EXPECT_EQ(i + 1, trace.lines.size());
}

TEST(KelvaneRxLibrary, ResultsDoNotDependOnBlockSizeOrOtherInstances) {
    ScopedTempDir dir;
    // Long enough for the sweep to switch the equaliser several times.
    const std::vector<double> wave = LossyPrbsWave(16000, kSamplesPerBit);
    const std::string parameters = Parameters(kFast);
    const RxResult whole = RunRx(parameters, wave, wave.size());
    const RxResult blocks16 = RunRx(parameters, wave, 16);
    const RxResult blocks1000 = RunRx(parameters, wave, 1000);
    EXPECT_EQ(whole.wave, blocks16.wave);
    EXPECT_EQ(whole.wave, blocks1000.wave);
    EXPECT_EQ(blocks16.clocks, blocks1000.clocks);
    // One call keeps only the latest clock times of its block.
    ASSERT_GE(blocks16.clocks.size(), whole.clocks.size());
    EXPECT_TRUE(std::equal(whole.clocks.begin(), whole.clocks.end(), blocks16.clocks.end() - static_cast<long>(whole.clocks.size())));

    // Two instances driven alternately give what one alone gives.
    AmiSession a(Rx(), parameters, kSampleInterval, kBitTime);
    AmiSession b(Rx(), Parameters(" (Rx_config 0)" + kFast), kSampleInterval, kBitTime);
    std::vector<double> wa = wave, wb = wave;
    for (std::size_t start = 0; start < wave.size(); start += 500) {
        const long n = static_cast<long>(std::min<std::size_t>(500, wave.size() - start));
        std::vector<double> ta(static_cast<std::size_t>(n) + 1), tb(static_cast<std::size_t>(n) + 1);
        EXPECT_EQ(Rx().getWave(wa.data() + start, n, ta.data(), nullptr, a.handle), 1);
        EXPECT_EQ(Rx().getWave(wb.data() + start, n, tb.data(), nullptr, b.handle), 1);
    }
    EXPECT_EQ(wa, whole.wave);
    // The same digest in the 64-bit and the 32-bit build: both run this test against one constant, so the
    // two receivers give bit-identical outputs and clock times.
    EXPECT_EQ(WaveDigest(whole.clocks, WaveDigest(whole.wave)), 0xa9ea865d2d884e1bull);
}

TEST(KelvaneRxLibrary, SettingsTheEyeMapCannotHoldFailInitialize) {
    ScopedTempDir dir;
    for (const std::string& extra : {std::string(" (VerticalEyeRes 300)"), std::string(" (VerticalEyeRes 3)"),
                                     std::string(" (VerticalEyeRes 1e99)")}) {
        AmiSession s(Rx(), Parameters(extra), kSampleInterval, kBitTime);
        EXPECT_EQ(s.initResult, 0) << extra;
        EXPECT_NE(s.message.find("Error occurred in kelvane_rx::Initialize(). "), std::string::npos);
        EXPECT_EQ(s.Close(), 1);
    }
    // 300 samples per bit is more phase rows than the map has.
    AmiSession fine(Rx(), Parameters(""), kBitTime / 300, kBitTime);
    EXPECT_EQ(fine.initResult, 0);
    EXPECT_NE(fine.message.find("Error occurred in kelvane_rx::Initialize(). "), std::string::npos);
    // Absurd timing gives no samples per bit at all.
    AmiSession absurd(Rx(), Parameters(""), 1.0, kBitTime);
    EXPECT_EQ(absurd.initResult, 0);
    EXPECT_NE(absurd.message.find("Error occurred in kelvane_rx::Setup(). "), std::string::npos);
    // A host that runs it anyway gets a failure and its wave back, never a crash.
    std::vector<double> wave(8, 0.1), times(9, -2.0);
    EXPECT_EQ(Rx().getWave(wave.data(), 8, times.data(), nullptr, absurd.handle), 0);
    EXPECT_EQ(wave, std::vector<double>(8, 0.1));
    EXPECT_EQ(times[0], -1.0);
}

TEST(KelvaneRxLibrary, TableIndexOutsideTheTableIsClamped) {
    ScopedTempDir dir;
    const RxResult r = RunRx(Parameters(" (CTLEAdapt 0) (DFEAdapt 0) (CTLE 40)" + kFast),
                             LossyPrbsWave(6000, kSamplesPerBit), 2048);
    EXPECT_EQ(r.status, 1);
    const AdaptTrace trace = ParseAdaptTrace(dir.Read("adapt.txt"));
    ASSERT_EQ(trace.lines.size(), 1u);
    EXPECT_EQ(trace.lines[0].equaliserIndex, 15);
    EXPECT_EQ(trace.lines[0].equaliserCode, 255);
}

TEST(KelvaneRxLibrary, NonFiniteSamplesPassAndTheLinkRecovers) {
    // A simulator may hand over NaN or infinite samples. They travel through the equaliser's history
    // (at most its tap count of samples), the clock keeps running, and the output is finite again after.
    ScopedTempDir dir;
    std::vector<double> wave = LossyPrbsWave(8000, kSamplesPerBit);
    const std::size_t hit = 40000;
    wave[hit] = std::nan("");
    wave[hit + 100] = HUGE_VAL;
    wave[hit + 200] = -HUGE_VAL;
    const RxResult r = RunRx(Parameters(" (CTLEAdapt 0) (DFEAdapt 0)" + kFast), wave, 1000);
    EXPECT_EQ(r.status, 1);
    for (std::size_t i = hit + 2000; i < r.wave.size(); ++i) ASSERT_TRUE(std::isfinite(r.wave[i])) << i;
    // Falling clock edges keep coming at one per bit through and after the disturbance.
    std::size_t after = 0;
    for (double t : r.clocks)
        if (t > (hit + 2000) * kSampleInterval) ++after;
    EXPECT_NEAR(static_cast<double>(after), (wave.size() - hit - 2000) / kSamplesPerBit, 5.0);
}
