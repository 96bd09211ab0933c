#include "rx/DFE_custom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

// A DFE with one-element storage on every port, driven one sample at a time.
class DfeHarness {
public:
    DfeHarness() {
        EXPECT_TRUE(dfe.Setup());
        EXPECT_EQ(dfe.tapInputs.width, DFE_custom::kTaps);
        dfe.clockInput.Attach(&clock, 1);
        dfe.signalInput.Attach(&signal, 1);
        for (std::size_t i = 0; i < DFE_custom::kTaps; ++i) dfe.tapInputs[i].Attach(&taps[i], 1);
        dfe.decisionOutput.Attach(&decision, 1);
        dfe.equalisedOutput.Attach(&equalised, 1);
        EXPECT_TRUE(dfe.Initialize());
    }

    void Step(int tick, double s) {
        clock = tick;
        signal = s;
        EXPECT_TRUE(dfe.Run());
    }

    DFE_custom dfe;
    int clock = 0;
    double signal = 0.0;
    double taps[DFE_custom::kTaps] = {};
    int decision = 99;
    double equalised = 99.0;
};

TEST(DfeCustom, ZeroTapsPassInputAndSliceAtRisingEdges) {
    DfeHarness h;
    h.Step(0, 0.3);
    EXPECT_EQ(h.equalised, 0.3);
    EXPECT_EQ(h.decision, 0);  // no rising edge yet
    h.Step(1, -0.25);          // rise: decide on this sample
    EXPECT_EQ(h.equalised, -0.25);
    EXPECT_EQ(h.decision, -1);
    h.Step(1, 0.7);  // high, no edge: decision holds
    EXPECT_EQ(h.decision, -1);
    h.Step(0, 0.7);  // fall: no new decision
    EXPECT_EQ(h.decision, -1);
    h.Step(1, 0.125);
    EXPECT_EQ(h.equalised, 0.125);
    EXPECT_EQ(h.decision, 1);
}

TEST(DfeCustom, TickHighOnTheFirstSampleIsARisingEdge) {
    DfeHarness h;
    h.Step(1, 0.4);
    EXPECT_EQ(h.decision, 1);
}

TEST(DfeCustom, ZeroAndNaNAtARisingEdgeDecideMinusOne) {
    DfeHarness h;
    h.Step(1, 0.0);
    EXPECT_EQ(h.decision, -1);
    h.Step(0, 0.5);
    h.Step(1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(h.decision, -1);
    EXPECT_TRUE(std::isnan(h.equalised));
}

TEST(DfeCustom, DecisionFeedsBackOnlyFromTheFallingEdge) {
    DfeHarness h;
    h.taps[0] = 0.1;
    h.Step(1, 0.5);  // rise: decide +1; history still empty
    EXPECT_EQ(h.decision, 1);
    EXPECT_EQ(h.equalised, 0.5);
    h.Step(1, 0.5);  // still before the fall
    EXPECT_EQ(h.equalised, 0.5);
    h.Step(0, 0.5);  // fall: this sample still sees the empty history, then +1 enters as d1
    EXPECT_EQ(h.equalised, 0.5);
    EXPECT_EQ(h.dfe.history[0], 1);
    for (int i = 0; i < 3; ++i) {
        h.Step(0, 0.5);
        EXPECT_EQ(h.equalised, 0.5 - 0.1);
    }
    // A rise deciding -1 does not change the feedback until the next fall.
    h.Step(1, -0.2);
    EXPECT_EQ(h.decision, -1);
    EXPECT_EQ(h.equalised, -0.2 - 0.1);
    h.Step(0, -0.2);
    h.Step(0, -0.2);
    EXPECT_EQ(h.equalised, -0.2 + 0.1);
}

TEST(DfeCustom, HistoryShiftsOneStepPerFall) {
    DfeHarness h;
    const double inputs[6] = {0.5, -0.5, -0.5, 0.5, 0.5, -0.5};
    for (double x : inputs) {
        h.Step(1, x);
        h.Step(0, x);
    }
    const int expected[DFE_custom::kTaps] = {-1, 1, 1, -1, -1};
    for (std::size_t i = 0; i < DFE_custom::kTaps; ++i) EXPECT_EQ(h.dfe.history[i], expected[i]) << i;
}

TEST(DfeCustom, InitializeClearsDecisionAndHistory) {
    DfeHarness h;
    h.taps[0] = 0.25;
    h.Step(1, 0.5);
    h.Step(0, 0.5);
    EXPECT_TRUE(h.dfe.Initialize());
    h.Step(0, 0.5);
    EXPECT_EQ(h.decision, 0);
    EXPECT_EQ(h.equalised, 0.5);
}

// Written from the behaviour description alone: x = s − Σ w_k d_k; slice on the tick's rise, shift on its fall.
struct ReferenceDfe {
    std::vector<int> d = std::vector<int>(5, 0);
    int lastTick = 0;
    int decision = 0;

    double Step(int tick, double s, const double* w) {
        double feedback = 0.0;
        for (int k = 0; k < 5; ++k) feedback = feedback + w[k] * d[k];
        const double x = s - feedback;
        if (lastTick == 0 && tick == 1) decision = x > 0.0 ? 1 : -1;
        if (lastTick == 1 && tick == 0) {
            d.insert(d.begin(), decision);
            d.pop_back();
        }
        lastTick = tick;
        return x;
    }
};

TEST(DfeCustom, MatchesNaiveReferenceBitForBit) {
    DfeHarness h;
    ReferenceDfe reference;
    std::mt19937 rng(20240611u);
    std::uniform_real_distribution<double> signal(-0.4, 0.4);
    std::uniform_real_distribution<double> tap(-0.06, 0.06);
    const int period = 16;
    for (int n = 0; n < 4000; ++n) {
        if (n % 250 == 0) {
            for (double& w : h.taps) w = tap(rng);
        }
        const int tick = (n % period) < period / 2 ? 1 : 0;
        const double s = signal(rng);
        const double expected = reference.Step(tick, s, h.taps);
        h.Step(tick, s);
        ASSERT_EQ(h.equalised, expected) << "sample " << n;
        ASSERT_EQ(h.decision, reference.decision) << "sample " << n;
    }
}

}  // namespace
