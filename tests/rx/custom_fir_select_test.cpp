#include "rx/CustomFIR_select_inp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

// Stamps k / 2^40 s sampled at 2^40 samples per second: every sample instant hits a stamp exactly and
// dividing by the rate is exact, so a column of values v * 2^40 becomes exactly the taps v.
const double kRate = std::ldexp(1.0, 40);
constexpr int kPoints = 16;
constexpr int kResponses = 1024;

// The value of column j at point k, chosen so that every column is recognisable from its taps.
double Label(int column, int k) { return column * 32.0 + k + 1; }

struct Equaliser {
    CustomFIR_select_inp block;
    double in = 0, out = 0;

    Equaliser() {
        block.ResponseBank.SetShape(kPoints, kResponses);
        for (int j = 0; j < kResponses; ++j)
            for (int k = 0; k < kPoints; ++k) block.ResponseBank[k + kPoints * j] = Label(j, k) * kRate;
        block.TimeStamps.SetShape(kPoints, 1);
        for (int k = 0; k < kPoints; ++k) block.TimeStamps[k] = k / kRate;
        block.PointsPerResponse = kPoints;
        block.NumberOfResponses = kResponses;
        block.SampleRate = kRate;
        block.input.Attach(&in, 1);
        block.output.Attach(&out, 1);
    }
    // The column whose taps are loaded, or -1 when they are no column's.
    int LoadedColumn() const {
        const Velmora::TimeResponseFIR& filter = block.filter;
        if (filter.NumberOfTaps != kPoints) return -1;
        const int column = static_cast<int>((filter.Taps[0] - 1) / 32);
        for (int k = 0; k < kPoints; ++k)
            if (filter.Taps[k] != Label(column, k)) return -1;
        return column;
    }
    double Step(int selection, double sample, bool* ok = nullptr) {
        block.SelectionIndex = selection;
        in = sample;
        const bool result = block.Run();
        if (ok != nullptr) *ok = result;
        return out;
    }
};

TEST(CustomFirSelect, SetupTakesTheSelectedColumn) {
    Equaliser eq;
    const int fallbacks[] = {0, 1, 1025, -3};
    for (int selection : fallbacks) {
        eq.block.SelectionIndex = selection;
        ASSERT_TRUE(eq.block.Setup());
        EXPECT_EQ(eq.LoadedColumn(), 0) << selection;
    }
    eq.block.SelectionIndex = 1024;
    ASSERT_TRUE(eq.block.Setup());
    EXPECT_EQ(eq.LoadedColumn(), 1023);
    eq.block.SelectionIndex = 2;
    ASSERT_TRUE(eq.block.Setup());
    EXPECT_EQ(eq.LoadedColumn(), 1);
    EXPECT_EQ(eq.block.input.rate, 1u);
    EXPECT_EQ(eq.block.output.rate, 1u);
}

TEST(CustomFirSelect, RunSwitchesToTheSelectedColumn) {
    Equaliser eq;
    ASSERT_TRUE(eq.block.Setup());
    ASSERT_TRUE(eq.block.Initialize());
    const int selections[] = {1024, 0, 7, 1025, 1024, -3, 1};
    const int columns[] = {1023, 0, 6, 0, 1023, 0, 0};
    for (int n = 0; n < 7; ++n) {
        bool ok = false;
        eq.Step(selections[n], 0.0, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(eq.LoadedColumn(), columns[n]) << selections[n];
        EXPECT_EQ(eq.block.loadedIndex, selections[n]);
    }
}

// y(n) = sum over l of h_n(l) x(n - l) with h_n the taps selected for sample n, ascending l as the filter
// adds them: the switch acts from its own sample on while older inputs stay in the sum.
TEST(CustomFirSelect, MidStreamSwitchKeepsTheHistory) {
    Equaliser eq;
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> five(kPoints), six(kPoints);
    for (int k = 0; k < kPoints; ++k) {
        five[k] = value(generator);
        six[k] = value(generator);
        eq.block.ResponseBank[k + kPoints * 4] = five[k] * kRate;
        eq.block.ResponseBank[k + kPoints * 5] = six[k] * kRate;
    }
    ASSERT_TRUE(eq.block.Setup());
    ASSERT_TRUE(eq.block.Initialize());

    std::vector<double> signal(130);
    for (double& x : signal) x = value(generator);
    for (std::size_t n = 0; n < signal.size(); ++n) {
        const bool switched = n >= 100;
        bool ok = false;
        const double y = eq.Step(switched ? 6 : 5, signal[n], &ok);
        ASSERT_TRUE(ok);
        const std::vector<double>& taps = switched ? six : five;
        double expected = 0.0;
        for (std::size_t l = 0; l < taps.size() && l <= n; ++l) expected = expected + taps[l] * signal[n - l];
        ASSERT_EQ(y, expected) << "sample " << n;
    }
}

// Sabotage the filter so that any rebuild fails with a message: a run with an unchanged index stays silent.
TEST(CustomFirSelect, EqualIndexNeverRebuilds) {
    Equaliser eq;
    ASSERT_TRUE(eq.block.Setup());
    ASSERT_TRUE(eq.block.Initialize());
    eq.block.filter.SampleRate = -1.0;

    bool ok = false;
    testing::internal::CaptureStderr();
    eq.Step(1, 1.0, &ok);  // the constructed block counts its taps as built for index 1
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(ok);

    testing::internal::CaptureStderr();
    eq.Step(0, 1.0, &ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "SampleRate must be > 0.0\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(eq.block.loadedIndex, 0);
    EXPECT_EQ(eq.LoadedColumn(), 0);  // the failed rebuild left the taps as they were

    testing::internal::CaptureStderr();
    for (int n = 0; n < 5; ++n) {
        eq.Step(0, 1.0, &ok);
        EXPECT_TRUE(ok);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(CustomFirSelect, DefaultBlockPassesItsInputThrough) {
    CustomFIR_select_inp block;
    double in = 0, out = 0;
    block.input.Attach(&in, 1);
    block.output.Attach(&out, 1);
    ASSERT_TRUE(block.Setup());
    ASSERT_TRUE(block.Initialize());
    EXPECT_EQ(block.filter.NumberOfTaps, 50);  // 499 ps at 1e11 samples per second
    std::mt19937 generator(3);
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    for (int n = 0; n < 80; ++n) {
        in = value(generator);
        ASSERT_TRUE(block.Run());
        ASSERT_EQ(out, in) << n;
    }
}

TEST(CustomFirSelect, InitializeClearsTheHistory) {
    Equaliser eq;
    ASSERT_TRUE(eq.block.Setup());
    ASSERT_TRUE(eq.block.Initialize());
    for (int n = 0; n < 10; ++n) eq.Step(0, 1.0);
    ASSERT_TRUE(eq.block.Initialize());
    EXPECT_EQ(eq.Step(0, 2.0), 2.0 * Label(0, 0));
}

TEST(CustomFirSelect, ColumnsBeyondTheBankReadAsZero) {
    Equaliser eq;
    eq.block.TimeStamps.SetShape(kPoints + 4, 1);
    for (int k = 0; k < kPoints + 4; ++k) eq.block.TimeStamps[k] = k / kRate;
    eq.block.PointsPerResponse = kPoints + 4;
    eq.block.SelectionIndex = 1024;  // the last column is followed by nothing
    ASSERT_TRUE(eq.block.Setup());
    const Velmora::TimeResponseFIR& filter = eq.block.filter;
    ASSERT_EQ(filter.NumberOfTaps, kPoints + 4);
    EXPECT_EQ(filter.Taps[0], Label(1023, 0));
    EXPECT_EQ(filter.Taps[kPoints - 1], Label(1023, kPoints - 1));
    for (int k = kPoints; k < kPoints + 4; ++k) EXPECT_EQ(filter.Taps[k], 0.0) << k;

    // Missing time stamps read as 0 and fail the ordering check instead of being read past the array.
    eq.block.PointsPerResponse = kPoints + 8;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(eq.block.Setup());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("non-repeating ascending order"), std::string::npos);
}

TEST(CustomFirSelect, FinalizeReleasesAndLaterRunsRefuse) {
    Equaliser eq;
    ASSERT_TRUE(eq.block.Setup());
    ASSERT_TRUE(eq.block.Initialize());
    eq.out = 5.0;
    EXPECT_TRUE(eq.block.Run());
    ASSERT_TRUE(eq.block.Finalize());
    EXPECT_EQ(eq.block.filter.Response, nullptr);
    EXPECT_EQ(eq.block.filter.ResponseTimeStamps, nullptr);
    EXPECT_EQ(eq.block.feedInStorage, nullptr);
    eq.out = 5.0;
    EXPECT_FALSE(eq.block.Run());
    EXPECT_EQ(eq.out, 5.0);
}

}  // namespace
