// How the receiver library hands its parameters to its blocks, checked through the entry points: settings
// that differ only in which of two parameters is set must give the outputs pinned here, the trace must
// echo the settings and respect the tap bound, and the oscillator must run at Factor times the bit rate.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/AdaptTrace.h"
#include "tests/support/AmiLibrary.h"
#include "tests/support/LinkStimulus.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/WaveDigest.h"

namespace {

const double kBitTime = 3.571428571428571e-11;
const int kSamplesPerBit = 16;

struct RxRun {
    std::vector<double> wave;
    std::vector<double> clocks;
    AdaptTrace trace;
};

RxRun RunRx(const std::string& settings, std::size_t bits, double tau = 12.0, std::size_t block = 512) {
    static const AmiLibrary lib(KELVANE_RX_LIBRARY);
    ScopedTempDir dir;
    RxRun r;
    r.wave = LossyPrbsWave(bits, kSamplesPerBit, tau);
    {
        AmiSession s(lib, "(kelvane_rx (EOM_window 200)" + settings + ")", kBitTime / kSamplesPerBit, kBitTime);
        EXPECT_EQ(s.initResult, 1) << s.message;
        EXPECT_EQ(s.Process(r.wave, block, &r.clocks), 1);
    }
    r.trace = ParseAdaptTrace(dir.Read("adapt.txt"));
    return r;
}

}  // namespace

// Settings a crossed or dropped wire would change, each pinned by the digest of output and clock times (the
// same in every build): pairs that differ only in which of two parameters is set, with the equaliser and
// taps fixed so that the gain stage and the DFE alone differ; the decision output; and an adaptation whose
// tap 1 starts beyond DFETap1Limit, so that the engine's bound shows in the taps.
TEST(RxWiring, SettingsReachTheirBlocks) {
    struct Case {
        const char* settings;
        std::size_t bits;
        std::uint64_t digest;
    };
    const Case cases[] = {
        {" (CTLEAdapt 0) (DFEAdapt 0) (CTLE 5) (VGA_GAIN 1) (EQ_HIGAIN 0)", 7000, 0xe51006f55cdd668aull},
        {" (CTLEAdapt 0) (DFEAdapt 0) (CTLE 5) (VGA_GAIN 0) (EQ_HIGAIN 1)", 7000, 0x71cc55116cb2cb8aull},
        {" (CTLEAdapt 0) (DFEAdapt 0) (CTLE 5) (DFEtap4 3) (DFEtap5 0)", 7000, 0xddb368acbac4249aull},
        {" (CTLEAdapt 0) (DFEAdapt 0) (CTLE 5) (DFEtap4 0) (DFEtap5 3)", 7000, 0x1de382ea7ae4b72aull},
        {" (CTLEAdapt 0) (DFEAdapt 0) (CTLE 5) (DFEtap4 3) (Rx_config 0)", 7000, 0x6f3be6bcd34c319full},
        {" (CTLEAdapt 0) (CTLE 5) (DFEtap1 6) (DFETap1Limit 2)", 20000, 0x4fada03d4fe1b03aull},
        {" (CTLEAdapt 0) (CTLE 5) (DFEtap1 -6) (DFETap1Limit 1)", 20000, 0x2b28880336b93cc9ull},
    };
    for (const Case& c : cases) {
        const RxRun r = RunRx(c.settings, c.bits);
        EXPECT_EQ(WaveDigest(r.clocks, WaveDigest(r.wave)), c.digest) << c.settings;
        // Once tap 1 has moved within its search, the bound holds it.
        if (c.bits > 7000) {
            EXPECT_LE(std::fabs(r.trace.lines.back().taps[0]), 0.02 + 1e-12) << c.settings;
        }
    }
}

// The adaptation engine logs the gain-stage bits it was given.
TEST(RxWiring, AdaptationEngineGetsTheGainStageBits) {
    for (int vga : {0, 1}) {
        const RxRun r = RunRx(" (CTLEAdapt 0) (DFEAdapt 0) (VGA_GAIN " + std::to_string(vga) + ") (EQ_HIGAIN " +
                              std::to_string(1 - vga) + ")", 7000);
        ASSERT_EQ(r.trace.lines.size(), 1u);
        EXPECT_EQ(r.trace.lines[0].vgaGain, vga);
        EXPECT_EQ(r.trace.lines[0].eqHighGain, 1 - vga);
    }
}

// The oscillator's free-running frequency is Factor times the bit rate: the falling clock edges are
// bit time / Factor apart. (Blocks of 8 samples: every call then reports all its clock times.)
TEST(RxWiring, FactorMultipliesTheOscillatorFrequency) {
    for (int factor : {2, 3}) {
        const RxRun r = RunRx(" (Factor " + std::to_string(factor) + ")", 400, 12.0, 8);
        ASSERT_GT(r.clocks.size(), 100u) << r.wave.size();
        const double period = (r.clocks[100] - r.clocks[20]) / 80;
        EXPECT_NEAR(period * factor / kBitTime, 1.0, 0.05) << "Factor " << factor;
    }
}
