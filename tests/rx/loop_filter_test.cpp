#include "rx/LoopFilter.h"

#include "math/PortableMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr double kC1 = 1.1e-8;
constexpr double kC2 = 5e-11;
constexpr double kR = 100.0;
constexpr double kIcp = 5e-05;
const double kReceiverStep = 1.0 / (28e9 * 16);

LoopFilter MakeFilter(double sampleInterval) {
    LoopFilter f;
    f.C1 = kC1;
    f.C2 = kC2;
    f.R = kR;
    f.Icp = kIcp;
    f.SampleInterval = sampleInterval;
    EXPECT_TRUE(f.Setup());
    EXPECT_TRUE(f.Initialize());
    return f;
}

double Step(LoopFilter& f, double input) {
    f.input = input;
    EXPECT_TRUE(f.Run());
    EXPECT_EQ(f.output, f.outputVoltage);
    return f.output;
}

double Charge(const LoopFilter& f) { return kC1 * f.c1Voltage + kC2 * f.outputVoltage; }

TEST(LoopFilter, ReceiverStepFromRest) {
    LoopFilter f = MakeFilter(kReceiverStep);
    EXPECT_NEAR(Step(f, 1.0), 2.23164e-06, 0.000005e-06);
    EXPECT_NEAR(f.decay, 0.99955164, 0.000000005);
    EXPECT_NEAR(f.c1Voltage, 2.26442e-12, 0.000005e-12);
    EXPECT_NEAR(Step(f, 1.0), 4.46229e-06, 0.000005e-06);
}

TEST(LoopFilter, ChargeGrowsByThePumpCurrentTimesTheStep) {
    // Every step rounds a handful of operations; over 500 steps the relative drift stays near 500 × 2^-52.
    LoopFilter f = MakeFilter(kReceiverStep);
    const double q = kIcp * kReceiverStep;
    for (int k = 1; k <= 500; ++k) {
        Step(f, 1.0);
        ASSERT_NEAR(Charge(f), k * q, 1e-12 * k * q) << "step " << k;
    }
    for (int k = 499; k >= 0; --k) {
        Step(f, -1.0);
        ASSERT_NEAR(Charge(f), k * q, 1e-12 * 500 * q) << "step back to " << k;
    }
}

TEST(LoopFilter, VoltageDifferenceRelaxesWithTheSeriesTimeConstant) {
    // No pump current, 1 V on C2 only: the charge stays, Vo − Vc decays as exp(−t/τ), τ = R·C1·C2/(C1+C2),
    // and the output settles at C2/(C1+C2). exp of the summed time and G^k differ by the rounding of G
    // raised to k, about k × 2^-52 relative.
    const double T = 5e-12;  // T/τ ≈ 0.001, so 3000 steps relax the difference to about exp(-3)
    LoopFilter f = MakeFilter(T);
    f.outputVoltage = 1.0;
    const double tau = kR * kC1 * kC2 / (kC1 + kC2);
    const double charge = Charge(f);
    const int steps = 3000;
    for (int k = 1; k <= steps; ++k) Step(f, 0.0);
    const double relaxed = std::exp(-steps * T / tau);
    EXPECT_NEAR(f.outputVoltage - f.c1Voltage, relaxed, 1e-11);
    EXPECT_NEAR(Charge(f), charge, 1e-11 * charge);
    EXPECT_NEAR(f.decay, std::exp(-T / tau), 1e-15);
    const double settled = kC2 / (kC1 + kC2);
    EXPECT_NEAR(f.output, settled + kC1 / (kC1 + kC2) * relaxed, 1e-11);
    EXPECT_NEAR(settled, 0.004525, 5e-7);
}

TEST(LoopFilter, OtherInputsKeepThePumpCurrent) {
    LoopFilter f = MakeFilter(kReceiverStep);
    const double q = kIcp * kReceiverStep;
    Step(f, 1.0);
    Step(f, 2.0);
    EXPECT_EQ(f.pumpCurrent, kIcp);
    EXPECT_NEAR(Charge(f), 2 * q, 1e-12 * q);
    Step(f, -1.0);
    Step(f, 0.5);
    EXPECT_EQ(f.pumpCurrent, -kIcp);
    EXPECT_NEAR(Charge(f), 0.0, 1e-12 * q);
    Step(f, 0.0);
    Step(f, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(f.pumpCurrent, 0.0);
}

// The filter keeps the decay and the pump terms between steps; a change of any component, of the step or
// of the current (+-0 included) must give the bits of the whole step worked out afresh.
TEST(LoopFilter, KeptTermsFollowEveryChange) {
    LoopFilter f = MakeFilter(kReceiverStep);
    double vc = 0.0, vo = 0.0, current = 0.0;
    const double inputs[] = {1.0, 1.0, 0.0, -1.0, 0.5, -1.0, 1.0, 0.0, 1.0, -1.0, -1.0, 0.0};
    for (int k = 0; k < 240; ++k) {
        if (k == 40) f.C1 = 2.2e-8;
        if (k == 80) f.R = 47.0;
        if (k == 120) f.SampleInterval = kReceiverStep * 2;
        if (k == 160) f.C2 = 1e-10;
        if (k == 200) f.Icp = -0.0;
        f.input = inputs[k % 12];
        ASSERT_TRUE(f.Run());
        if (f.input == 1.0) current = f.Icp;
        if (f.input == -1.0) current = -f.Icp;
        if (f.input == 0.0) current = 0.0;
        const double T = f.SampleInterval, C1 = f.C1, C2 = f.C2, R = f.R, s = C1 + C2;
        const double G = Velmora::pm::Exp(-T * s / (R * C1 * C2));
        const double m = (C1 * vc + C2 * vo + current * T) / s;
        const double newVo = m + G * C1 * (vo - vc) / s + (1.0 - G) * current * R * (C1 * C1) / (s * s);
        vc = m - G * C2 * (vo - vc) / s - (1.0 - G) * current * R * C1 * C2 / (s * s);
        vo = newVo;
        ASSERT_EQ(std::memcmp(&f.outputVoltage, &vo, sizeof vo), 0) << "step " << k;
        ASSERT_EQ(std::memcmp(&f.c1Voltage, &vc, sizeof vc), 0) << "step " << k;
    }
}

TEST(LoopFilter, InitializeKeepsTheState) {
    LoopFilter f = MakeFilter(kReceiverStep);
    Step(f, 1.0);
    const double vo = f.outputVoltage;
    EXPECT_TRUE(f.Initialize());
    EXPECT_EQ(f.outputVoltage, vo);
    EXPECT_EQ(f.pumpCurrent, kIcp);
}

TEST(LoopFilter, InitializeRejectsAStepThatIsNotPositive) {
    for (double bad : {0.0, -1e-12, std::numeric_limits<double>::quiet_NaN()}) {
        LoopFilter f;
        f.SampleInterval = bad;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(f.Initialize()) << bad;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "SampleInterval must be a positive number.\n");
    }
    LoopFilter ok;
    ok.SampleInterval = 1e-15;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(ok.Initialize());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
