#include "rx/vga_gain.h"

#include <gtest/gtest.h>

namespace {

double Amplify(vga_gain& stage, double x) {
    stage.input = x;
    EXPECT_TRUE(stage.Run());
    return stage.output;
}

vga_gain MakeStage(int vgaGain, int eqHighGain) {
    vga_gain stage;
    stage.VGA_GAIN = vgaGain;
    stage.EQ_HIGAIN = eqHighGain;
    EXPECT_TRUE(stage.Setup());
    EXPECT_TRUE(stage.Initialize());
    return stage;
}

TEST(VgaGain, HighGainRangeAtSmallInputMatchesHandValue) {
    vga_gain stage = MakeStage(0, 1);
    EXPECT_EQ(stage.index, 2);
    // 0.3401 × tanh(0.593) = 0.3401 × 0.532050... = 0.180950
    EXPECT_NEAR(Amplify(stage, 0.1), 0.18095, 5e-6);
    EXPECT_NEAR(Amplify(stage, -0.1), -0.18095, 5e-6);
}

TEST(VgaGain, ZeroInputGivesZero) {
    vga_gain stage = MakeStage(1, 1);
    EXPECT_EQ(Amplify(stage, 0.0), 0.0);
}

TEST(VgaGain, LargeInputSaturatesAtTheAmplitude) {
    const double amplitudes[4] = {0.3432, 0.3424, 0.3401, 0.3426};
    for (int eq = 0; eq <= 1; ++eq) {
        for (int vga = 0; vga <= 1; ++vga) {
            vga_gain stage = MakeStage(vga, eq);
            const double a = amplitudes[vga + 2 * eq];
            EXPECT_EQ(Amplify(stage, 50.0), a);
            EXPECT_EQ(Amplify(stage, -50.0), -a);
        }
    }
}

TEST(VgaGain, SmallSignalGainIsTheProductOfAmplitudeAndSlope) {
    // tanh(u) = u − u³/3 + ..., so at 1 µV the relative deviation from A × K is far below 1e-9.
    const double gains[4] = {1.173744, 1.804448, 2.016793, 2.881266};
    for (int eq = 0; eq <= 1; ++eq) {
        for (int vga = 0; vga <= 1; ++vga) {
            vga_gain stage = MakeStage(vga, eq);
            EXPECT_EQ(stage.index, vga + 2 * eq);
            const double x = 1e-6;
            EXPECT_NEAR(Amplify(stage, x) / x, gains[vga + 2 * eq], 1e-8);
        }
    }
}

TEST(VgaGain, OutOfRangeControlsAreClampedToTheTable) {
    EXPECT_EQ(MakeStage(5, -3).index, 1);
    EXPECT_EQ(MakeStage(-1, 2).index, 2);
    EXPECT_EQ(MakeStage(7, 9).index, 3);
    vga_gain clamped = MakeStage(-4, -4);
    vga_gain reference = MakeStage(0, 0);
    EXPECT_EQ(Amplify(clamped, 0.2), Amplify(reference, 0.2));
}

}  // namespace
