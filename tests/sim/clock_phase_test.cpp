// The recovered clock judged against the data: lock by phase, cycle slips, drift and frequency offset, on
// clocks made from a known phase path.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <vector>

#include "sim/analysis/ClockHold.h"
#include "sim/analysis/ClockPhase.h"

using namespace ksim;

namespace {

const double kBitTime = 3.571428571428571e-11;

// Edge j at (j + phase(j)) data unit intervals.
std::vector<double> Edges(std::size_t n, double dataUi, const std::function<double(std::size_t)>& phase) {
    std::vector<double> edges(n);
    for (std::size_t j = 0; j < n; ++j) edges[j] = (static_cast<double>(j) + phase(j)) * dataUi;
    return edges;
}

double Dither(std::size_t j) { return j % 2 ? 0.02 : -0.02; }

}  // namespace

TEST(ClockPhase, LockSlipsDriftAndOffsetOfKnownPhasePaths) {
    struct Case {
        const char* what;
        double ppm;  // the transmitter's clock offset: the data unit interval is the bit time / (1 + ppm)
        std::size_t edges;
        std::function<double(std::size_t)> phase;  // [data UI]
        bool locked;
        std::size_t lockFrom, lockTo;  // lock edge range
        std::uint64_t slips;
    } cases[] = {
        {"steady at 0.3 UI", 0, 5000, [](std::size_t j) { return 0.3 + Dither(j); }, true, 0, 0, 0},
        // The transmitter 150 ppm fast: against the nominal bit time the clock runs 149.98 ppm short.
        {"steady on fast data", 150, 5000, [](std::size_t j) { return 0.7 + Dither(j); }, true, 0, 0, 0},
        // From 0.25 to 0.55 UI over 3000 edges, then held ±0.02: the band of 0.2 UI from the end reaches back
        // to the ramp's 0.37 UI, at edge 1200 (the old whole-grid judgement called this locked from edge 0).
        {"slow acquisition", 0, 20000, [](std::size_t j) { return j < 3000 ? 0.25 + 0.3 * j / 3000.0 : 0.55 + Dither(j); },
         true, 1199, 1202, 0},
        // 800 ppm slow against the data for 300000 edges: 240 UI lost, a slip every 1250 edges, never locked.
        {"drifting", 0, 300000, [](std::size_t j) { return 8e-4 * j; }, false, 0, 0, 240},
        // Steps of a whole UI at edges 2000, 4000 (forward) and 6000 (back), then held: three slips, lock
        // from the last one.
        {"three slips", 0, 9000,
         [](std::size_t j) { return 0.1 + (j >= 2000) + (j >= 4000) - (j >= 6000) + Dither(j); }, true, 6000, 6000, 3},
        {"too short to lock", 0, 999, [](std::size_t j) { return 0.3 + Dither(j); }, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const double dataUi = kBitTime / (1 + c.ppm * 1e-6);
        const std::vector<double> edges = Edges(c.edges, dataUi, c.phase);
        ClockAnalysis k;
        JudgeClockAgainstData(VectorSeries<double>(edges), kBitTime, dataUi, PhaseLockCriteria(), k);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(k.edges, c.edges);
        EXPECT_EQ(k.locked, c.locked);
        if (c.locked) {
            EXPECT_GE(k.lockEdge, c.lockFrom);
            EXPECT_LE(k.lockEdge, c.lockTo);
            EXPECT_EQ(k.lockTimeS, edges[k.lockEdge]);
            EXPECT_NEAR(k.lockPhaseUi, c.phase(c.edges - 1) - std::floor(c.phase(c.edges - 1)), 0.04);
            // The phase stays within a band of 0.2 UI from the lock edge on, which bounds the mean period.
            EXPECT_NEAR(k.meanPeriodUi, dataUi / kBitTime, 0.2 / static_cast<double>(c.edges - 1 - k.lockEdge));
        } else {
            EXPECT_EQ(k.lockTimeS, 0.0);
            EXPECT_EQ(k.meanPeriodUi, 0.0);
        }
        EXPECT_EQ(k.slips, c.slips);
        EXPECT_EQ(k.slipTimesS.size(), c.slips);
        // The phase moved from the first edge to the last over edges - 1 periods of the data.
        const double drift = c.phase(c.edges - 1) - c.phase(0), periods = static_cast<double>(c.edges - 1);
        EXPECT_NEAR(k.driftUi, drift, 1e-6);
        EXPECT_NEAR(k.dataOffsetPpm, drift / periods * 1e6, 1e-3);
        EXPECT_NEAR(k.overallPeriodUi, (1 + drift / periods) / (1 + c.ppm * 1e-6), 1e-9);
        EXPECT_NEAR(k.overallOffsetPpm, (k.overallPeriodUi - 1) * 1e6, 1e-6);
    }
    // The 800 ppm drift as plain numbers: 240 UI lost over 300000 edges.
    const std::vector<double> drifting = Edges(300000, kBitTime, [](std::size_t j) { return 8e-4 * j; });
    ClockAnalysis k;
    JudgeClockAgainstData(VectorSeries<double>(drifting), kBitTime, kBitTime, PhaseLockCriteria(), k);
    EXPECT_NEAR(k.overallPeriodUi, 1.0008, 1e-9);
    EXPECT_NEAR(k.driftUi, 239.9992, 1e-6);
}

TEST(ClockPhase, SlipTimesAndHysteresisAndBadArguments) {
    // From 0 the phase jumps to wobble between 0.45 and 0.65 UI: one slip where it first passes 0.6, none
    // back when it returns to 0.45 (0.55 short of the new reference, inside the hysteresis). A step to 1.7 UI
    // at edge 3000 is the second; the lock starts there.
    const std::vector<double> edges = Edges(4000, kBitTime, [](std::size_t j) {
        return j == 0 ? 0.0 : j < 3000 ? (j % 2 ? 0.65 : 0.45) : 1.7;
    });
    ClockAnalysis k;
    JudgeClockAgainstData(VectorSeries<double>(edges), kBitTime, kBitTime, PhaseLockCriteria(), k);
    ASSERT_EQ(k.slips, 2u);
    EXPECT_EQ(k.slipTimesS[0], edges[1]);
    EXPECT_EQ(k.slipTimesS[1], edges[3000]);
    EXPECT_TRUE(k.locked);
    EXPECT_EQ(k.lockEdge, 3000u);

    ClockAnalysis none;
    JudgeClockAgainstData(VectorSeries<double>(std::vector<double>{}), kBitTime, kBitTime, PhaseLockCriteria(), none);
    EXPECT_FALSE(none.locked);
    EXPECT_EQ(none.overallPeriodUi, 0.0);
    EXPECT_THROW(JudgeClockAgainstData(VectorSeries<double>(edges), kBitTime, 0.0, PhaseLockCriteria(), k),
                 std::runtime_error);
    PhaseLockCriteria wide;
    wide.toleranceUi = 0.5;
    EXPECT_THROW(JudgeClockAgainstData(VectorSeries<double>(edges), kBitTime, kBitTime, wide, k), std::runtime_error);
}

TEST(ClockPhase, TheHoldWindowFollowsTheClockEdgeByEdge) {
    // Edges that hold, counted over 8000: steady; drifting 0.0008 UI an edge (the band of 0.2 UI is used up
    // after 250 edges); a step of one UI at edge 3000 (out while the window of the edge and the 1023 before it spans the step).
    const struct Case {
        const char* what;
        std::function<double(std::size_t)> phase;
        std::size_t held, lastOut;
    } cases[] = {
        {"steady", [](std::size_t j) { return 0.4 + Dither(j); }, 8000, 0},
        {"drifting", [](std::size_t j) { return 8e-4 * j; }, 251, 7999},
        {"one slip", [](std::size_t j) { return 0.2 + (j >= 3000) + Dither(j); }, 8000 - 1023, 4022},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<double> edges = Edges(8000, kBitTime, c.phase);
        ClockHoldWindow hold(kBitTime);
        std::size_t held = 0, lastOut = 0;
        for (std::size_t j = 0; j < edges.size(); ++j) {
            if (hold.Holds(edges[j])) ++held;
            else lastOut = j;
        }
        EXPECT_EQ(held, c.held);
        EXPECT_EQ(lastOut, c.lastOut);
    }
    EXPECT_THROW(ClockHoldWindow(0.0), std::runtime_error);
}
