// The transmitter library driven through dlopen, as a simulator drives it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/AmiLibrary.h"
#include "tests/support/WaveDigest.h"
#include "tx/TxResponseTable.h"

namespace {

const double kBitTime = 3.571428571428571e-11;
const double kSampleInterval32 = 1.1160714285714286e-12;  // 32 samples per bit

const AmiLibrary& Tx() {
    static const AmiLibrary lib(KELVANE_TX_LIBRARY);
    return lib;
}

std::vector<double> RunTx(const std::string& parameters, std::vector<double> wave, std::size_t block,
                        double sampleInterval = kSampleInterval32) {
    AmiSession s(Tx(), parameters, sampleInterval, kBitTime);
    EXPECT_EQ(s.initResult, 1) << s.message;
    EXPECT_EQ(s.Process(wave, block), 1);
    return wave;
}

std::vector<double> Prbs7Wave(std::size_t bits, int samplesPerBit, double amplitude) {
    std::vector<double> wave;
    unsigned state = 0x7f;
    for (std::size_t b = 0; b < bits; ++b) {
        const unsigned bit = ((state >> 6) ^ (state >> 5)) & 1u;
        state = ((state << 1) | bit) & 0x7fu;
        wave.insert(wave.end(), static_cast<std::size_t>(samplesPerBit), bit ? amplitude : -amplitude);
    }
    return wave;
}


const std::string kDefaults = "(kelvane_tx (c0 15) (c1 0) (cm1 4) (c0_sign 1) (c1_sign 1) (cm1_sign 1))";

}  // namespace

TEST(KelvaneTxLibrary, NoParametersGivesSixWarningsInOrder) {
    AmiSession s(Tx(), "", kSampleInterval32, kBitTime);
    EXPECT_EQ(s.initResult, 1);
    std::string expected;
    for (const char* name : {"c0", "c1", "cm1", "c0_sign", "c1_sign", "cm1_sign"})
        expected += std::string("The IBIS-AMI model, kelvane_tx, is unable to initialize the parameter ") + name +
                    " from the AMI_Init arguments.  The model will use the default setting. ";
    EXPECT_EQ(s.message, expected);
    // Defaults behave as the full default string does.
    std::vector<double> wave(2000, 0.25);
    s.Process(wave, 2000);
    EXPECT_EQ(wave, RunTx(kDefaults, std::vector<double>(2000, 0.25), 2000));
}

TEST(KelvaneTxLibrary, ConstantInputSettlesAtTheFfeGain) {
    // 0.25 × (sum of the taps) × 2 × (0.0725 + 0.4075 + 0). At 32 samples per bit the taps take every
    // fourth stored point, so their sum (0.99874) is close to, not equal to, the stored DC gain (0.99964).
    const std::vector<double> out = RunTx(kDefaults, std::vector<double>(4000, 0.25), 4000);
    double tapSum = 0.0;
    for (int k = 0; k <= 512; k += 4) tapSum += txResponseValues[k] / (32 / kBitTime);
    EXPECT_NEAR(out.back(), 0.25 * tapSum * 2 * 0.48, 1e-12);
    EXPECT_NEAR(out.back(), 0.24, 5e-4);
    // Far beyond ±0.5 the FFE's limiter holds the output at 0.5 × 2 × 0.48.
    EXPECT_NEAR(RunTx(kDefaults, std::vector<double>(4000, 5.0), 4000).back(), 0.48, 1e-12);
    EXPECT_NEAR(RunTx(kDefaults, std::vector<double>(4000, -5.0), 4000).back(), -0.48, 1e-12);
}

TEST(KelvaneTxLibrary, ImpulseReproducesTheStoredResponseOneUnitIntervalLate) {
    // c0 31 alone: main weight 1.225 / 2 on the doubled sample, 32 samples behind.
    std::vector<double> impulse(300, 0.0);
    impulse[0] = 1.0;
    const std::vector<double> out = RunTx("(kelvane_tx (c0 31) (c1 0) (cm1 0))", impulse, 300);
    const double sampleRate = 32 / kBitTime;
    for (std::size_t n = 0; n < 32; ++n) EXPECT_EQ(out[n], 0.0) << n;
    // Taps at 32 samples per bit fall on every fourth stored point; the telling rows appear at k / 4.
    for (int k : {0, 16, 60, 128, 512}) {
        const double expected = 1.225 * txResponseValues[k] / sampleRate;
        EXPECT_NEAR(out[32 + static_cast<std::size_t>(k / 4)], expected, 1e-12 * std::fabs(expected) + 1e-18) << k;
    }
    for (std::size_t n = 32 + 129; n < out.size(); ++n) EXPECT_EQ(out[n], 0.0) << n;
}

TEST(KelvaneTxLibrary, FfeSpacingStaysThirtyTwoSamplesAtSixtyFourSamplesPerBit) {
    std::vector<double> impulse(200, 0.0);
    impulse[0] = 1.0;
    const std::vector<double> out =
        RunTx("(kelvane_tx (c0 31) (c1 0) (cm1 0))", impulse, 200, kSampleInterval32 / 2);
    for (std::size_t n = 0; n < 32; ++n) EXPECT_EQ(out[n], 0.0) << n;
    EXPECT_NEAR(out[32], 1.225 * txResponseValues[0] / (64 / kBitTime), 1e-3);
}

TEST(KelvaneTxLibrary, SettingsTruncateTowardZero) {
    const std::vector<double> wave = Prbs7Wave(200, 32, 0.4);
    EXPECT_EQ(RunTx("(kelvane_tx (c0 15.7) (c1 4) (cm1 4) (c1_sign 0.9))", wave, 777),
              RunTx("(kelvane_tx (c0 15) (c1 4) (cm1 4) (c1_sign 0))", wave, 777));
    EXPECT_NE(RunTx("(kelvane_tx (c0 15) (c1 4) (cm1 4) (c1_sign 1))", wave, 777),
              RunTx("(kelvane_tx (c0 15) (c1 4) (cm1 4) (c1_sign 0))", wave, 777));
}

TEST(KelvaneTxLibrary, AbsurdTimingFailsSetupAndStillCloses) {
    AmiSession s(Tx(), kDefaults, 1e-10, 4e-11);  // bit time below half the sample interval
    EXPECT_EQ(s.initResult, 0);
    EXPECT_EQ(s.message.rfind("Error occurred in kelvane_tx::Setup(). ", 0), 0u);
    EXPECT_EQ(s.Close(), 1);
    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        AmiSession t(Tx(), kDefaults, bad, kBitTime);
        EXPECT_EQ(t.initResult, 0);
        AmiSession u(Tx(), kDefaults, kSampleInterval32, bad);
        EXPECT_EQ(u.initResult, 0);
        EXPECT_EQ(u.Close(), 1);
    }
}

TEST(KelvaneTxLibrary, ClockTimesAreOnlyTheTerminator) {
    AmiSession s(Tx(), kDefaults, kSampleInterval32, kBitTime);
    std::vector<double> wave(100, 0.3), times(101, -2.0);
    EXPECT_EQ(Tx().getWave(wave.data(), 100, times.data(), nullptr, s.handle), 1);
    EXPECT_EQ(times[0], -1.0);
    EXPECT_EQ(times[1], -2.0);
}

TEST(KelvaneTxLibrary, OutputDoesNotDependOnBlockSizeOrBitness) {
    std::mt19937 rng(7);
    std::vector<double> wave = Prbs7Wave(1500, 32, 0.5);
    std::normal_distribution<double> noise(0.0, 0.05);
    for (double& x : wave) x += noise(rng);
    const std::string parameters = "(kelvane_tx (c0 12) (c1 3) (cm1 2))";
    const std::vector<double> whole = RunTx(parameters, wave, wave.size());
    EXPECT_EQ(RunTx(parameters, wave, 1), whole);
    EXPECT_EQ(RunTx(parameters, wave, 1023), whole);
    EXPECT_EQ(RunTx(parameters, wave, 37), whole);
    // The same digest in the 64-bit and the 32-bit build: both run this test against one constant.
    EXPECT_EQ(WaveDigest(whole), 5398581537265413504ull) << "digest of this scenario";
}

TEST(KelvaneTxLibrary, NonFiniteSamplesPassAndTheOutputRecovers) {
    // NaN or infinite samples from a simulator travel through the stored response's history (its tap
    // count of samples) and the FFE's delay line, then the output is finite again.
    std::vector<double> wave = Prbs7Wave(200, 32, 0.4);
    wave[1000] = std::nan("");
    wave[1100] = HUGE_VAL;
    const std::vector<double> out = RunTx(kDefaults, wave, 256);
    for (std::size_t i = 1100 + 807 + 64; i < out.size(); ++i) ASSERT_TRUE(std::isfinite(out[i])) << i;
}
