#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "dsp/VCO.h"
#include "math/PortableMath.h"

using Velmora::VCO;

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kQuarterPi = 0.7853981633974483;

struct VcoRig {
    VcoRig() {
        vco.input.Attach(&control, 1);
        vco.inPhaseOutput.Attach(&inPhase, 1);
        vco.inPhaseClock.Attach(&inPhaseClock, 1);
        vco.quadratureOutput.Attach(&quadrature, 1);
        vco.quadratureClock.Attach(&quadratureClock, 1);
    }
    VCO vco;
    double control = 0.0, inPhase = 0.0, quadrature = 0.0;
    int inPhaseClock = -1, quadratureClock = -1;
};

}  // namespace

TEST(VCO, QuarterTurnPerSample) {
    VcoRig rig;
    rig.vco.Sensitivity = 0.0;
    rig.vco.Frequency = 1e9;
    rig.vco.SampleInterval = 2.5e-10;
    rig.vco.InitialPhase = kQuarterPi;
    ASSERT_TRUE(rig.vco.Initialize());
    const double h = std::sqrt(0.5);
    const double inPhase[] = {h, -h, -h, h};
    const int inPhaseClock[] = {1, 0, 0, 1};
    const double quadrature[] = {h, h, -h, -h};
    const int quadratureClock[] = {1, 1, 0, 0};
    for (int n = 0; n < 4; ++n) {
        rig.control = 3.0;  // ignored with zero sensitivity
        ASSERT_TRUE(rig.vco.Run());
        EXPECT_NEAR(rig.inPhase, inPhase[n], 1e-12) << n;
        EXPECT_EQ(rig.inPhaseClock, inPhaseClock[n]) << n;
        EXPECT_NEAR(rig.quadrature, quadrature[n], 1e-12) << n;
        EXPECT_EQ(rig.quadratureClock, quadratureClock[n]) << n;
    }
    EXPECT_EQ(rig.vco.sampleCounter, 4u);
}

TEST(VCO, QuadratureSignOneNegatesTheSine) {
    VcoRig rig;
    rig.vco.Sensitivity = 0.0;
    rig.vco.Frequency = 1e9;
    rig.vco.SampleInterval = 2.5e-10;
    rig.vco.InitialPhase = kQuarterPi;
    rig.vco.Amplitude = 2.0;
    rig.vco.QuadratureSign = 1;
    ASSERT_TRUE(rig.vco.Initialize());
    const int quadratureClock[] = {0, 0, 1, 1};
    for (int n = 0; n < 4; ++n) {
        rig.vco.Run();
        EXPECT_EQ(rig.quadrature, -(2.0 * Velmora::pm::Sin(rig.vco.phase))) << n;
        EXPECT_EQ(rig.quadratureClock, quadratureClock[n]) << n;
        EXPECT_EQ(rig.inPhase, 2.0 * Velmora::pm::Cos(rig.vco.phase)) << n;
    }
    // Other values than 1 keep the sine positive.
    rig.vco.QuadratureSign = -1;
    rig.vco.Run();
    EXPECT_EQ(rig.quadrature, 2.0 * Velmora::pm::Sin(rig.vco.phase));
}

TEST(VCO, KeepsTheOrderOfOperations) {
    VcoRig rig;
    rig.vco.Sensitivity = 6e8;
    rig.vco.Frequency = 14e9;
    rig.vco.SampleInterval = 3.571428571428571e-11 / 16.0;
    rig.vco.InitialPhase = 0.3;
    ASSERT_TRUE(rig.vco.Initialize());
    double accumulator = 0.3;
    const double controls[] = {0.1, -0.7, 0.0, 1.3e-3, 2.5};
    for (int n = 0; n < 5; ++n) {
        rig.control = controls[n];
        rig.vco.Run();
        accumulator = 6e8 * kTwoPi * rig.vco.SampleInterval * controls[n] + accumulator;
        const double phase =
            accumulator + rig.vco.SampleInterval * (kTwoPi * 14e9) * static_cast<double>(n);
        EXPECT_EQ(rig.vco.phaseAccumulator, accumulator) << n;
        EXPECT_EQ(rig.vco.phase, phase) << n;
        EXPECT_EQ(rig.inPhase, Velmora::pm::Cos(phase)) << n;
    }
}

// With a constant control u the oscillator runs at Frequency + Sensitivity x u from the first firing on:
// phase(n) = InitialPhase + 2 pi T ((n + 1) S u + n F). The block accumulates the control phase by
// repeated addition, so it may drift from this closed form by about one rounding of the accumulator per
// sample: 20000 samples x ulp(~300 rad) / 2 stays below 1e-9 rad.
TEST(VCO, ConstantControlGivesContinuousPhaseAtTheShiftedFrequency) {
    VcoRig rig;
    const double T = 1e-11, F = 1.5e9, S = 6e8, u = 0.4, phi0 = 0.25;
    rig.vco.SampleInterval = T;
    rig.vco.Frequency = F;
    rig.vco.Sensitivity = S;
    rig.vco.InitialPhase = phi0;
    ASSERT_TRUE(rig.vco.Initialize());
    rig.control = u;
    const double tolerance = 1e-9;
    double previous = 0.0;
    for (int n = 0; n < 20000; ++n) {
        ASSERT_TRUE(rig.vco.Run());
        const double closedForm = phi0 + kTwoPi * T * ((n + 1) * S * u + n * F);
        ASSERT_NEAR(rig.vco.phase, closedForm, tolerance) << n;
        ASSERT_NEAR(rig.inPhase, std::cos(closedForm), tolerance) << n;
        if (n > 0) {
            ASSERT_NEAR(rig.vco.phase - previous, kTwoPi * (F + S * u) * T, tolerance) << n;
        }
        previous = rig.vco.phase;
    }
}

TEST(VCO, ControlStepChangesFrequencyWithoutPhaseJump) {
    VcoRig rig;
    const double T = 1e-11, F = 1e9, S = 1e9;
    rig.vco.SampleInterval = T;
    rig.vco.Frequency = F;
    rig.vco.Sensitivity = S;
    ASSERT_TRUE(rig.vco.Initialize());
    rig.control = 0.0;
    for (int n = 0; n < 10; ++n) rig.vco.Run();
    const double before = rig.vco.phase;
    rig.control = 0.5;
    rig.vco.Run();
    EXPECT_NEAR(rig.vco.phase - before, kTwoPi * (F + S * 0.5) * T, 1e-12);
}

TEST(VCO, InitializeRestartsAndChecksTheSampleInterval) {
    VcoRig rig;
    rig.vco.InitialPhase = 1.0;
    ASSERT_TRUE(rig.vco.Initialize());
    rig.control = 1.0;
    for (int n = 0; n < 3; ++n) rig.vco.Run();
    ASSERT_TRUE(rig.vco.Initialize());
    EXPECT_EQ(rig.vco.phaseAccumulator, 1.0);
    EXPECT_EQ(rig.vco.sampleCounter, 0u);

    for (double bad : {0.0, -1e-12, std::numeric_limits<double>::quiet_NaN()}) {
        rig.vco.SampleInterval = bad;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(rig.vco.Initialize());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "SampleInterval must be a positive number.\n");
    }
}

// An owner that reads only the in-phase clock (AdvancePhase, then EmitInPhaseClockOnly, EmitWaves when
// that is unsure) gets Run's clock on every firing, and InPhaseAt gives Run's in-phase output: phases of
// either sign, near the quadrature counts' exact-reduction limit 2^31 and beyond it.
TEST(VCO, ClockOnlyFiringsGiveRunsClock) {
    struct Case {
        double frequency, sensitivity, initialPhase;
    };
    const Case cases[] = {{28e9, 6e8, 0.0}, {-28e9, 6e8, -1e5}, {3.9e12, 6e11, 2147483648.0 - 2e6},
                          {1e15, 0.0, 1e12}};
    for (const Case& c : cases) {
        VcoRig eager, lazy;
        for (VcoRig* rig : {&eager, &lazy}) {
            rig->vco.SampleInterval = 1.0 / (28e9 * 32);
            rig->vco.Frequency = c.frequency;
            rig->vco.Sensitivity = c.sensitivity;
            rig->vco.InitialPhase = c.initialPhase;
            ASSERT_TRUE(rig->vco.Initialize());
        }
        std::uint64_t state = 88172645463325252u;
        int unsure = 0;
        for (int n = 0; n < 200000; ++n) {
            state ^= state << 13, state ^= state >> 7, state ^= state << 17;
            eager.control = lazy.control = static_cast<double>(state >> 11) * 0x1p-52 - 1.0;
            ASSERT_TRUE(eager.vco.Run());
            const double phase = lazy.vco.AdvancePhase();
            if (!lazy.vco.EmitInPhaseClockOnly(phase)) {
                ++unsure;
                lazy.vco.EmitWaves(phase);
            }
            ASSERT_EQ(lazy.inPhaseClock, eager.inPhaseClock) << "frequency " << c.frequency << ", firing " << n;
            if (n % 97 == 0) {
                ASSERT_EQ(lazy.vco.InPhaseAt(phase), eager.inPhase) << n;
            }
        }
        EXPECT_LT(unsure, 100) << "frequency " << c.frequency;
    }
}
