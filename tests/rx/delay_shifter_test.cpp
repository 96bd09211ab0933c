#include "rx/Delay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kTwoPi = 6.283185307179586;

class ShifterHarness {
public:
    ShifterHarness() {
        EXPECT_TRUE(shifter.Setup());
        shifter.input.Attach(&x, 1);
        EXPECT_TRUE(shifter.Initialize());
    }
    double Step(double value) {
        x = value;
        EXPECT_TRUE(shifter.Run());
        return shifter.output;
    }

    Delay shifter;
    double x = 0.0;
};

TEST(DelayShifter, SineOnAWholeNumberOfSamplesPerTurnComesOutAQuarterTurnLater) {
    // 16 samples per turn: samples fall exactly on the peaks, so the sampled direction never disagrees with
    // the wave's slope. Away from |x| = 1 the rounding of x is amplified by |tan φ| at most ≈ 2.4 here.
    ShifterHarness h;
    const double fT = 1.0 / 16.0;
    for (int n = 0; n < 64; ++n) {
        const double phase = kTwoPi * fT * n;
        const double out = h.Step(std::sin(phase));
        EXPECT_NEAR(out, std::sin(phase - kTwoPi / 4.0), 1e-12) << "sample " << n;
    }
}

TEST(DelayShifter, SineAtAnIncommensurateFrequencyComesOutAQuarterTurnLater) {
    // asin is ill-conditioned near |x| = 1: one rounding of x there moves the phase by up to sqrt(2·2^-52)
    // ≈ 2e-8, hence 1e-7. Within one step after a peak or trough the sampled direction still follows the old
    // slope; there the output is the mirror value ±cos φ with |cos φ| < sin(Δ), Δ the phase step.
    ShifterHarness h;
    const double fT = 0.0372549;
    const double delta = kTwoPi * fT;
    const double start = 2.0;  // falling already: the first sample after Initialize is taken as rising
    double previous = std::sin(start);
    h.Step(previous);
    int mirrored = 0;
    for (int n = 1; n < 300; ++n) {
        const double phase = start + delta * n;
        const double x = std::sin(phase);
        const double out = h.Step(x);
        const double expected = std::sin(phase - kTwoPi / 4.0);
        const bool sampledRising = x - previous >= 0.0;
        previous = x;
        if (sampledRising == (std::cos(phase) >= 0.0)) {
            EXPECT_NEAR(out, expected, 1e-7) << "sample " << n;
        } else {
            ++mirrored;
            EXPECT_NEAR(out, -expected, 1e-7) << "sample " << n;
            EXPECT_LT(std::fabs(expected), std::sin(delta));
        }
    }
    // 300 samples at about 26.8 per turn cross about 22 extrema; at most one mirrored sample each.
    EXPECT_GT(mirrored, 0);
    EXPECT_LE(mirrored, 23);
}

TEST(DelayShifter, FirstSampleAfterInitializeCountsAsRising) {
    ShifterHarness h;
    // sin(150°) = 0.5 on a falling slope, but against the cleared previous input 0 it is taken as rising.
    EXPECT_NEAR(h.Step(0.5), std::sin(kTwoPi / 12.0 - kTwoPi / 4.0), 1e-15);
    // Initialize clears the previous input, so the same holds after a restart.
    h.Step(0.9);
    EXPECT_TRUE(h.shifter.Initialize());
    EXPECT_NEAR(h.Step(0.5), -std::sqrt(0.75), 1e-15);
}

TEST(DelayShifter, FlatStepCountsAsRising) {
    ShifterHarness h;
    h.Step(0.9);
    EXPECT_NEAR(h.Step(0.5), std::sqrt(0.75), 1e-15);  // falling: phase 150°, output sin(60°)
    EXPECT_NEAR(h.Step(0.5), -std::sqrt(0.75), 1e-15); // repeated: taken as rising, phase 30°
}

TEST(DelayShifter, InputBeyondUnitAmplitudeGivesNaN) {
    ShifterHarness h;
    EXPECT_TRUE(std::isnan(h.Step(1.5)));
    EXPECT_TRUE(std::isnan(h.Step(-1.0000001)));
    EXPECT_TRUE(std::isnan(h.Step(std::numeric_limits<double>::quiet_NaN())));
    // A valid input afterwards is handled normally: from the NaN the difference is NaN and counts as falling.
    EXPECT_NEAR(h.Step(0.5), std::sqrt(0.75), 1e-15);
}

}  // namespace
