#include "tx/TxResponseTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int lastNonZero = 512;

std::int64_t ulpsApart(double a, double b)
{
    std::int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ib, &b, sizeof ib);
    return std::llabs(ia - ib);
}

double maxValue()
{
    double m = txResponseValues[0];
    for (double v : txResponseValues)
        m = std::fmax(m, v);
    return m;
}

TEST(TxResponseTable, TimesAreWholeStepsOfOneOver128UnitIntervals)
{
    EXPECT_EQ(kTxResponseLength, 3226);
    EXPECT_EQ(kTxResponseStep, 2.790178571428571e-13);
    EXPECT_EQ(kTxResponseStep * 128.0, 3.571428571428571e-11);  // the default bit time
    for (int k = 0; k < kTxResponseLength; ++k)
        ASSERT_EQ(txResponseTimes[k], k * kTxResponseStep) << "k = " << k;

    // Published times are 16-digit renderings of k times the exact bit time / 128; the double product
    // k * step lies within a few ulp of them.
    struct Row {
        int k;
        double time;
    };
    const Row rows[] = {{0, 0.0},
                        {1, 2.790178571428571e-13},
                        {2, 5.580357142857143e-13},
                        {16, 4.464285714285714e-12},
                        {60, 1.674107142857143e-11},
                        {128, 3.571428571428571e-11},
                        {512, 1.428571428571429e-10},
                        {513, 1.431361607142857e-10},
                        {3225, 8.998325892857143e-10}};
    for (const Row& row : rows)
        EXPECT_LE(ulpsApart(txResponseTimes[row.k], row.time), 4) << "k = " << row.k;
}

TEST(TxResponseTable, TellingRowsHoldTheirPublishedValues)
{
    EXPECT_EQ(txResponseValues[0], 43265576947.85165);
    EXPECT_EQ(txResponseValues[1], 83806392763.02615);
    EXPECT_EQ(txResponseValues[2], 76063347921.65453);
    EXPECT_EQ(txResponseValues[16], -45481439263.7648);
    EXPECT_EQ(txResponseValues[60], 90745263596.81294);
    EXPECT_EQ(txResponseValues[128], 2366118551.635739);
    EXPECT_EQ(txResponseValues[512], 48260675.53446078);
    EXPECT_EQ(txResponseValues[513], 0.0);
    EXPECT_EQ(txResponseValues[3225], 0.0);
}

TEST(TxResponseTable, NonZeroForFourUnitIntervalsAndOnePointThenExactlyZero)
{
    for (int k = 0; k <= lastNonZero; ++k)
        ASSERT_TRUE(std::isnormal(txResponseValues[k])) << "k = " << k;
    for (int k = lastNonZero + 1; k < kTxResponseLength; ++k) {
        ASSERT_EQ(txResponseValues[k], 0.0) << "k = " << k;
        ASSERT_FALSE(std::signbit(txResponseValues[k])) << "k = " << k;
    }
}

TEST(TxResponseTable, StrictGlobalMinimumAt16AndMaximumAt60)
{
    for (int k = 0; k < kTxResponseLength; ++k) {
        if (k != 16) {
            ASSERT_GT(txResponseValues[k], txResponseValues[16]) << "k = " << k;
        }
        if (k != 60) {
            ASSERT_LT(txResponseValues[k], txResponseValues[60]) << "k = " << k;
        }
    }
}

TEST(TxResponseTable, ChangesSignExactlyTenTimes)
{
    std::vector<int> changesAfter;
    for (int k = 0; k + 1 < kTxResponseLength; ++k) {
        const bool bothNonZero = txResponseValues[k] != 0.0 && txResponseValues[k + 1] != 0.0;
        if (bothNonZero && std::signbit(txResponseValues[k]) != std::signbit(txResponseValues[k + 1]))
            changesAfter.push_back(k);
    }
    EXPECT_EQ(changesAfter, (std::vector<int>{8, 31, 150, 239, 296, 319, 380, 431, 473, 496}));
}

TEST(TxResponseTable, DcGainIsTheLeftToRightSumTimesTheStep)
{
    double sum = 0.0;
    for (int k = 0; k < kTxResponseLength; ++k)
        sum += txResponseValues[k];
    const double dcGain = sum * kTxResponseStep;
    EXPECT_LE(ulpsApart(dcGain, 0.9996448783847398), 4) << dcGain;
}

// A sampled analog pulse: no kinks or stray samples once past its sharp leading edge, and ringing
// that dies away lobe by lobe.
TEST(TxResponseTable, LooksLikeABandLimitedPulseWithDecayingRinging)
{
    const double peak = maxValue();
    for (int k = 4; k < lastNonZero; ++k) {
        const double curvature = txResponseValues[k - 1] - 2.0 * txResponseValues[k] + txResponseValues[k + 1];
        ASSERT_LT(std::fabs(curvature), 0.03 * peak) << "k = " << k;
    }

    // Largest magnitude in each lobe between sign changes, from the main lobe on (starts after k = 31).
    std::vector<double> lobePeaks;
    double lobePeak = 0.0;
    for (int k = 32; k <= lastNonZero; ++k) {
        lobePeak = std::fmax(lobePeak, std::fabs(txResponseValues[k]));
        const bool lobeEnds =
            k == lastNonZero || std::signbit(txResponseValues[k]) != std::signbit(txResponseValues[k + 1]);
        if (lobeEnds) {
            lobePeaks.push_back(lobePeak);
            lobePeak = 0.0;
        }
    }
    ASSERT_EQ(lobePeaks.size(), 9u);
    EXPECT_EQ(lobePeaks[0], peak);
    for (std::size_t i = 1; i < lobePeaks.size(); ++i)
        EXPECT_LT(lobePeaks[i], lobePeaks[i - 1]) << "lobe " << i;
    EXPECT_LT(lobePeaks[1], 0.05 * peak);
    EXPECT_LT(std::fabs(txResponseValues[lastNonZero]), 0.001 * peak);  // truncation leaves only a tiny step
}

}  // namespace
