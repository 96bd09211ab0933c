#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsp/ClockTimes.h"

using Velmora::ClockTimes;

namespace {

constexpr double kPi = 3.141592653589793;

struct ClockTimesRig {
    ClockTimesRig() {
        block.input.Attach(&in, 1);
        block.output.Attach(&out, 1);
    }
    std::vector<double> Feed(const std::vector<double>& samples) {
        std::vector<double> outputs;
        for (double x : samples) {
            in = x;
            EXPECT_TRUE(block.Run());
            outputs.push_back(out);
        }
        return outputs;
    }
    ClockTimes block;
    double in = 0.0, out = 0.0;
};

}  // namespace

TEST(ClockTimes, RisingEdgesReportTheFirstSamplePastTheCrossing) {
    ClockTimesRig rig;
    const double T = 2e-12, offset = 1e-9;
    rig.block.SampleInterval = T;
    rig.block.TimeOffset = offset;
    rig.block.EdgeType = 1;
    ASSERT_TRUE(rig.block.Initialize());
    const std::vector<double> expected = {-1, -1, 1 * T + 1 * T + offset, -1, -1, 4 * T + 1 * T + offset};
    EXPECT_EQ(rig.Feed({-1, -1, 1, 1, -1, 1}), expected);
}

TEST(ClockTimes, FallingEdgesCountZeroAsAtOrBelow) {
    ClockTimesRig rig;
    const double T = 1e-10;
    rig.block.SampleInterval = T;
    rig.block.EdgeType = 0;
    ASSERT_TRUE(rig.block.Initialize());
    const std::vector<double> expected = {-1, -1, 1 * T + 1 * T, -1, -1};
    EXPECT_EQ(rig.Feed({1, 1, 0, -2, 0}), expected);
}

TEST(ClockTimes, FirstSampleNeverReports) {
    ClockTimesRig rig;
    rig.block.EdgeType = 1;
    ASSERT_TRUE(rig.block.Initialize());
    EXPECT_EQ(rig.Feed({1.0, -1.0, 1.0}), (std::vector<double>{-1, -1, 2e-10}));

    // A later Initialize restarts the count and forgets the previous input.
    ASSERT_TRUE(rig.block.Initialize());
    EXPECT_EQ(rig.Feed({1.0}), (std::vector<double>{-1}));
}

TEST(ClockTimes, OtherEdgeTypesReportNothing) {
    ClockTimesRig rig;
    rig.block.EdgeType = 2;
    ASSERT_TRUE(rig.block.Initialize());
    EXPECT_EQ(rig.Feed({-1, 1, -1, 1}), (std::vector<double>(4, -1.0)));
}

TEST(ClockTimes, InterpolationPlacesTheCrossingOnASinusoid) {
    ClockTimesRig rig;
    const double T = 1e-10;
    rig.block.SampleInterval = T;
    rig.block.EdgeType = 1;
    rig.block.Interpolate = 1;
    ASSERT_TRUE(rig.block.Initialize());
    // acos(-1) = pi, acos(1) = 0: f = (pi/2 - pi) / (0 - pi) = 0.5.
    EXPECT_EQ(rig.Feed({0.0, -1.0, 1.0}), (std::vector<double>{-1, -1, 1 * T + 0.5 * T}));

    // Samples of sin at -30 and +60 degrees: the zero lies a third of the way through the interval.
    EXPECT_NEAR(ClockTimes::CrossingFraction(-0.5, std::sqrt(3.0) / 2.0, 1.0), 1.0 / 3.0, 1e-15);
    // Falling: cos at 45 and 135 degrees crosses halfway.
    EXPECT_NEAR(ClockTimes::CrossingFraction(std::sqrt(0.5), -std::sqrt(0.5), 1.0), 0.5, 1e-15);
    // The amplitude normalises: -1 and 2 at amplitude 2 are -0.5 and 1 at amplitude 1.
    EXPECT_EQ(ClockTimes::CrossingFraction(-1.0, 2.0, 2.0), ClockTimes::CrossingFraction(-0.5, 1.0, 1.0));
}

TEST(ClockTimes, InterpolationClampsNormalisedInputsToTheUnitRange) {
    // Below -1 reads as -1 (angle pi) and above 1 as 1 (angle 0).
    EXPECT_EQ(ClockTimes::CrossingFraction(-3.0, 1.0, 1.0), 0.5);
    EXPECT_EQ(ClockTimes::CrossingFraction(-1.0, 5.0, 1.0), 0.5);
    EXPECT_EQ(ClockTimes::CrossingFraction(4.0, -1.5, 1.0), 0.5);
    const double f = ClockTimes::CrossingFraction(-2.0, 0.5, 1.0);
    EXPECT_NEAR(f, (kPi / 2 - kPi) / (kPi / 3 - kPi), 1e-15);
}

TEST(ClockTimes, NonPositiveSampleIntervalFailsAndKeepsState) {
    ClockTimesRig rig;
    rig.block.EdgeType = 1;
    ASSERT_TRUE(rig.block.Initialize());
    rig.Feed({-1.0, 0.5});
    for (double bad : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        rig.block.SampleInterval = bad;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(rig.block.Initialize());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "SampleInterval must be larger than 0.\n");
        EXPECT_EQ(rig.block.sampleCounter, 2u);
        EXPECT_EQ(rig.block.previousInput, 0.5);
    }
}
