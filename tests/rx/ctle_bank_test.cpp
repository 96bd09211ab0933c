#include "rx/CtleBank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// One column of the built-in bank: response j of the receiver equaliser, j = 256 * group + code.
const double* Column(int group, int code) { return CtleBankValues() + kCtleBankPoints * (256 * group + code); }

struct ColumnShape {
    double dcGain;  // column sum times the step
    double peak;    // largest value [1/s]
    int peakIndex;  // first index of the largest value
    double lowest;  // smallest value [1/s]
};

ColumnShape Shape(const double* column) {
    ColumnShape shape = {0.0, column[0], 0, column[0]};
    double sum = 0.0;
    for (int k = 0; k < kCtleBankPoints; ++k) {
        sum += column[k];
        if (column[k] > shape.peak) {
            shape.peak = column[k];
            shape.peakIndex = k;
        }
        if (column[k] < shape.lowest) shape.lowest = column[k];
    }
    shape.dcGain = sum * kCtleBankStep;
    return shape;
}

std::string Printed(const char* format, int precision, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, precision, value);
    return text;
}

std::string Significant(double value, int figures) { return Printed("%.*e", figures - 1, value); }

// Gain at 14 GHz (half the 28 Gb/s rate) over DC gain, from a plain DFT of the columns: the equaliser's
// high-frequency peaking as a channel sees it.
class PeakingAt14GHz {
public:
    PeakingAt14GHz() {
        const double pi = 3.14159265358979323846;
        for (int k = 0; k < kCtleBankPoints; ++k) {
            const double angle = 2.0 * pi * 14e9 * k * kCtleBankStep;
            cos_[k] = std::cos(angle);
            sin_[k] = std::sin(angle);
        }
    }

    double operator()(const double* column) const {
        double re = 0.0, im = 0.0, sum = 0.0;
        for (int k = 0; k < kCtleBankPoints; ++k) {
            re += column[k] * cos_[k];
            im -= column[k] * sin_[k];
            sum += column[k];
        }
        return std::hypot(re, im) / sum;
    }

private:
    double cos_[kCtleBankPoints];
    double sin_[kCtleBankPoints];
};

TEST(CtleBank, StorageAndTimeStamps) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(CtleBankValues()) % 16, 0u);
    EXPECT_EQ(CtleBankTimeStamp(0), 0.0);
    EXPECT_EQ(CtleBankTimeStamp(499), 998e-12);
    for (int k = 1; k < kCtleBankPoints; ++k) {
        ASSERT_GT(CtleBankTimeStamp(k), CtleBankTimeStamp(k - 1)) << k;
        // The plain product rounds twice (the step, then the product), so it may sit two units away.
        ASSERT_NEAR(CtleBankTimeStamp(k), k * kCtleBankStep, 4.5e-16 * k * kCtleBankStep) << k;
    }
    for (int i = 0; i < kCtleBankPoints * kCtleBankResponses; ++i) ASSERT_TRUE(std::isfinite(CtleBankValues()[i])) << i;
}

TEST(CtleBank, TellingColumnsMeetTheirFacts) {
    struct Telling {
        int group, code;
        const char* dcGain;  // 4 decimals
        double peak;         // 4 significant figures [1/s]
        int peakTimePs;
    };
    const Telling tellings[] = {
        {0, 0, "0.8273", 1.636e11, 76},   {0, 128, "0.8702", 2.584e11, 78}, {0, 255, "0.8781", 5.106e11, 80},
        {1, 0, "1.3478", 2.487e11, 76},   {1, 255, "1.3131", 7.332e11, 80}, {2, 0, "1.4611", 2.582e11, 78},
        {2, 255, "1.5163", 2.355e11, 78}, {3, 0, "2.2999", 3.666e11, 78},   {3, 255, "1.9767", 1.209e12, 82},
    };
    for (const Telling& telling : tellings) {
        SCOPED_TRACE("group " + std::to_string(telling.group) + " code " + std::to_string(telling.code));
        const ColumnShape shape = Shape(Column(telling.group, telling.code));
        EXPECT_EQ(Printed("%.*f", 4, shape.dcGain), telling.dcGain);
        EXPECT_EQ(Significant(shape.peak, 4), Significant(telling.peak, 4));
        EXPECT_EQ(shape.peakIndex * 2, telling.peakTimePs);
    }
}

TEST(CtleBank, FirstColumnStartsWithItsStatedSamples) {
    const double head[] = {-1.00049e11, 2.69528e10, 2.90182e10, -1.1495e9,
                           -2.07841e10, -2.03412e10, -7.13394e9, 7.3351e9};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(Significant(Column(0, 0)[k], 6), Significant(head[k], 6)) << k;
}

TEST(CtleBank, EveryColumnIsOneDominantPeakThatSettles) {
    for (int j = 0; j < kCtleBankResponses; ++j) {
        SCOPED_TRACE("column " + std::to_string(j));
        const double* column = CtleBankValues() + kCtleBankPoints * j;
        const ColumnShape shape = Shape(column);
        ASSERT_GE(shape.peakIndex * 2, 76);
        ASSERT_LE(shape.peakIndex * 2, 82);
        ASSERT_LT(-shape.lowest, shape.peak);
        ASSERT_GT(shape.dcGain, 0.5);
        // Past 300 ps only the band edge's faint ripple is left.
        for (int k = 150; k < kCtleBankPoints; ++k) ASSERT_LT(std::fabs(column[k]), 1e-3 * shape.peak) << k;
    }
}

TEST(CtleBank, DcGainMovesSteadilyBetweenTheEndCodes) {
    for (int group = 0; group < 4; ++group) {
        SCOPED_TRACE("group " + std::to_string(group));
        const double first = Shape(Column(group, 0)).dcGain;
        const double last = Shape(Column(group, 255)).dcGain;
        const double direction = last > first ? 1.0 : -1.0;
        double previous = first;
        for (int code = 1; code < 256; ++code) {
            const double gain = Shape(Column(group, code)).dcGain;
            ASSERT_GT(direction * (gain - previous), 0.0) << code;
            previous = gain;
        }
    }
}

// Raising the code raises the high-frequency peaking, except in group 2 where its telling columns make it
// fall. Small steps against the trend are allowed (the shared precursor adds its own ripple), but on a
// 16-code grid at most one, and the end codes differ clearly.
TEST(CtleBank, PeakingFollowsTheCodeWithinEachGroup) {
    const PeakingAt14GHz peakingOf;
    for (int group = 0; group < 4; ++group) {
        SCOPED_TRACE("group " + std::to_string(group));
        const double direction = group == 2 ? -1.0 : 1.0;
        int stepsWithTrend = 0;
        int coarseStepsAgainstTrend = 0;
        double previous = peakingOf(Column(group, 0));
        double coarsePrevious = previous;
        for (int code = 1; code < 256; ++code) {
            const double peaking = peakingOf(Column(group, code));
            if (direction * (peaking - previous) > 0.0) ++stepsWithTrend;
            previous = peaking;
            if (code % 16 == 0 || code == 255) {
                if (direction * (peaking - coarsePrevious) <= 0.0) ++coarseStepsAgainstTrend;
                coarsePrevious = peaking;
            }
        }
        EXPECT_GE(stepsWithTrend, 230);
        EXPECT_LE(coarseStepsAgainstTrend, 1);
        const double ratio = peakingOf(Column(group, 255)) / peakingOf(Column(group, 0));
        if (group == 2) {
            EXPECT_LT(ratio, 0.95);
        } else {
            EXPECT_GT(ratio, 2.5);
        }
    }
}

}  // namespace
