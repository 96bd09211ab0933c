#include "rx/EOM_custom_lyra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int kExtent = EOM_custom_lyra::kMapExtent;

// The monitor with one element of storage on each port, clocked by the test.
struct EomRig {
    EOM_custom_lyra eom;
    int clock = 0;
    double data = 0.0;
    int control = 0;
    int done = -1;
    double heo = -1.0;
    double veo = -1.0;

    EomRig(int samplesPerBit, int levels, int window) {
        eom.SamplesPerBit = samplesPerBit;
        eom.Levels = levels;
        eom.Window = window;
        eom.Amplitude = 5.0;  // Initialize replaces it with the fixed full scale of 0.2 V
        eom.clockInput.Attach(&clock, 1);
        eom.dataInput.Attach(&data, 1);
        eom.controlInput.Attach(&control, 1);
        eom.doneOutput.Attach(&done, 1);
        eom.heoOutput.Attach(&heo, 1);
        eom.veoOutput.Attach(&veo, 1);
    }

    void Fire(int clockValue, double x, int controlValue) {
        clock = clockValue;
        data = x;
        control = controlValue;
        ASSERT_TRUE(eom.Run());
    }
};

// Runs one measurement with a clock of period N (high for the first half). Sample k counts from the
// falling edge that starts the measurement, so it lands in row k mod N during clock period k / N. Checks
// that the result appears exactly at the falling edge that ends the window-th period.
void Measure(EomRig& rig, const std::function<double(int row, int period)>& signal) {
    const int n = rig.eom.SamplesPerBit;
    const int firstFall = n / 2;
    const int last = firstFall + rig.eom.Window * n;
    for (int s = 0; s <= last; ++s) {
        const int k = s - firstFall;
        const double x = k < 0 ? 0.0 : signal(k % n, k / n);
        rig.Fire(s % n < n / 2 ? 1 : 0, x, 0);
        ASSERT_EQ(rig.done, s == last ? 1 : 0) << "sample " << s;
    }
}

// A level that lands in the given bin with V 64 and A 0.2 (bins 6.25 mV high, bin 31 holds 0).
double LevelOfBin(int bin) {
    const double step = 0.2 / 32;
    return bin >= 32 ? (bin - 31 + 0.5) * step : bin == 31 ? 0.0 : (bin - 31 - 0.5) * step;
}

// Per row, the highest bin marked from below and the lowest bin marked from above: the row is open
// (zero) between them. Rows that are not listed are closed (31 and 32 both marked).
struct RowOpening {
    int low = 31;
    int high = 32;
};

std::function<double(int, int)> EyeOf(std::vector<RowOpening> rows) {
    return [rows](int row, int period) {
        return period % 2 == 0 ? LevelOfBin(rows[row].high) : LevelOfBin(rows[row].low);
    };
}

std::vector<RowOpening> ClosedRows(int n) { return std::vector<RowOpening>(n); }

TEST(EomCustomLyra, ConstantPositiveSignalGivesTheFullWidthAndTheHeightBelowIt) {
    EomRig rig(16, 64, 4);
    ASSERT_TRUE(rig.eom.Setup());
    ASSERT_TRUE(rig.eom.Initialize());
    EXPECT_EQ(rig.eom.Amplitude, 0.2);
    Measure(rig, [](int, int) { return 0.1; });
    // bin 47: cells 47..63 marked; height 15 above the centre and 32 below it.
    EXPECT_DOUBLE_EQ(rig.heo, 1.0);
    EXPECT_DOUBLE_EQ(rig.veo, 0.29375);
}

TEST(EomCustomLyra, ConstantNegativeSignalGivesTheHeightAboveIt) {
    EomRig rig(16, 64, 4);
    ASSERT_TRUE(rig.eom.Initialize());
    Measure(rig, [](int, int) { return -0.1; });
    EXPECT_DOUBLE_EQ(rig.heo, 1.0);
    EXPECT_DOUBLE_EQ(rig.veo, 0.3);  // 32 + 16 bins
}

TEST(EomCustomLyra, SignalAcrossTheCentreInEveryRowLeavesNoValidLevel) {
    EomRig rig(16, 64, 4);
    ASSERT_TRUE(rig.eom.Initialize());
    const double pattern[3] = {0.0, 0.007, 0.007};
    int s = 0;
    Measure(rig, [&](int, int) { return pattern[s++ % 3]; });
    EXPECT_EQ(rig.done, 1);
    EXPECT_EQ(rig.heo, 0.0);
    EXPECT_EQ(rig.veo, 0.0);
    for (int r = 0; r < 16; ++r) {
        for (int b = 0; b < 64; ++b) ASSERT_GT(rig.eom.Map()[r * kExtent + b], 0.0);
    }
}

TEST(EomCustomLyra, OfEqualZeroRunsTheOneStartingAtTheLowerRowIsMeasured) {
    EomRig rig(16, 64, 4);
    ASSERT_TRUE(rig.eom.Initialize());
    std::vector<RowOpening> rows = ClosedRows(16);
    for (int r = 2; r <= 4; ++r) rows[r] = {28, 35};   // 6 bins high
    for (int r = 9; r <= 11; ++r) rows[r] = {26, 37};  // 10 bins high
    Measure(rig, EyeOf(rows));
    EXPECT_DOUBLE_EQ(rig.heo, 3.0 / 16);
    EXPECT_DOUBLE_EQ(rig.veo, 6.0 / 64 * 0.2 * 2.0);  // measured in row 3
}

TEST(EomCustomLyra, ZeroRunWrappingPastTheLastRowIsOneRunWithItsCentreBroughtBack) {
    EomRig rig(16, 64, 4);
    ASSERT_TRUE(rig.eom.Initialize());
    std::vector<RowOpening> rows = ClosedRows(16);
    for (int r : {12, 13, 14, 15, 1, 2, 3}) rows[r] = {27, 36};  // 8 bins high
    rows[0] = {25, 38};                                          // 12 bins high
    Measure(rig, EyeOf(rows));
    // One run from row 12, 8 rows long; its centre 12 + 4 = 16 lies in row 0.
    EXPECT_DOUBLE_EQ(rig.heo, 0.5);
    EXPECT_DOUBLE_EQ(rig.veo, 12.0 / 64 * 0.2 * 2.0);
}

TEST(EomCustomLyra, MeanHeightBelowFourBinsReportsNoEye) {
    // Levels 30..34 measure heights 4, 4, 4, 4 and 3 at their own centre rows.
    std::vector<RowOpening> rows = ClosedRows(16);
    for (int r = 4; r <= 11; ++r) rows[r] = {29, 34};
    rows[12] = rows[13] = {31, 35};
    EomRig rig(16, 64, 4);
    ASSERT_TRUE(rig.eom.Initialize());
    Measure(rig, EyeOf(rows));
    EXPECT_EQ(rig.done, 1);
    EXPECT_EQ(rig.heo, 0.0);
    EXPECT_EQ(rig.veo, 0.0);

    // One bin more in rows 12 and 13 makes every height 4: the eye is reported (widths 8, 10, 10, 10, 2).
    rows[12] = rows[13] = {30, 35};
    EomRig open(16, 64, 4);
    ASSERT_TRUE(open.eom.Initialize());
    Measure(open, EyeOf(rows));
    EXPECT_DOUBLE_EQ(open.heo, 8.0 / 16);
    EXPECT_DOUBLE_EQ(open.veo, 4.0 / 64 * 0.2 * 2.0);
}

TEST(EomCustomLyra, ControlHeldHighMeasuresNothing) {
    EomRig rig(16, 64, 2);
    ASSERT_TRUE(rig.eom.Initialize());
    for (int s = 0; s < 200; ++s) rig.Fire(s % 16 < 8 ? 1 : 0, 0.1, 1);
    EXPECT_EQ(rig.done, 0);
    EXPECT_EQ(rig.heo, 0.0);
    EXPECT_EQ(rig.veo, 0.0);
    for (int i = 0; i < kExtent * kExtent; ++i) ASSERT_EQ(rig.eom.Map()[i], 0.0);
}

TEST(EomCustomLyra, RisingControlClearsTheResultAndFallingControlStartsTheNextMeasurement) {
    EomRig rig(16, 64, 3);
    ASSERT_TRUE(rig.eom.Initialize());
    Measure(rig, [](int, int) { return 0.1; });
    ASSERT_EQ(rig.done, 1);

    rig.Fire(0, 0.1, 1);
    EXPECT_EQ(rig.done, 0);
    EXPECT_EQ(rig.heo, 0.0);
    EXPECT_EQ(rig.veo, 0.0);
    for (int i = 0; i < kExtent * kExtent; ++i) ASSERT_EQ(rig.eom.Map()[i], 0.0);

    // Clock low now: the next rising edge comes first, then the falling edge that starts the measurement.
    rig.Fire(0, -0.1, 0);
    for (int s = 0; s < 8; ++s) rig.Fire(1, -0.1, 0);
    Measure(rig, [](int, int) { return -0.1; });
    EXPECT_DOUBLE_EQ(rig.veo, 0.3);  // nothing of the earlier +0.1 measurement is left in the map
}

TEST(EomCustomLyra, OutOfRangeSamplesLandInTheOutermostBins) {
    EomRig rig(4, 64, 100);
    ASSERT_TRUE(rig.eom.Initialize());
    rig.Fire(1, 0.0, 0);
    const double inputs[4] = {1e300, -1e300, std::numeric_limits<double>::quiet_NaN(), 0.0009};
    for (double x : inputs) rig.Fire(0, x, 0);
    const double* map = rig.eom.Map();
    auto marked = [&](int row) {
        std::string bins;
        for (int b = 0; b < 64; ++b) {
            if (map[row * kExtent + b] != 0.0) bins += std::to_string(b) + ' ';
        }
        return bins;
    };
    EXPECT_EQ(marked(0), "63 ");
    EXPECT_EQ(marked(1), "0 ");
    std::string belowCentre;  // a sample that is not a number counts as 0, like a small positive one
    for (int b = 0; b <= 31; ++b) belowCentre += std::to_string(b) + ' ';
    EXPECT_EQ(marked(2), belowCentre);
    EXPECT_EQ(marked(3), belowCentre);
}

TEST(EomCustomLyra, InitializeRefusesGeometriesThatDoNotFitTheMap) {
    struct Case {
        int samplesPerBit;
        int levels;
        const char* named;
    };
    const Case cases[] = {{0, 64, "samples per bit is 0"},
                          {257, 64, "samples per bit is 257"},
                          {16, 3, "gives 3 level bins"},
                          {16, 257, "gives 257 level bins"}};
    for (const Case& c : cases) {
        EomRig rig(c.samplesPerBit, c.levels, 1);
        ASSERT_TRUE(rig.eom.Setup());
        testing::internal::CaptureStderr();
        EXPECT_FALSE(rig.eom.Initialize());
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find(c.named), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
        // Run anyway: nothing is measured and nothing is written beyond the ports.
        for (int s = 0; s < 40; ++s) rig.Fire(s % 2, 0.1, 0);
        EXPECT_EQ(rig.done, 0);
        EXPECT_EQ(rig.heo, 0.0);
    }
    EomRig largest(256, 256, 1);
    EXPECT_TRUE(largest.eom.Initialize());
    EomRig smallest(1, 4, 1);
    EXPECT_TRUE(smallest.eom.Initialize());
}

TEST(EomCustomLyra, LargestGeometryMeasuresWithinTheMap) {
    EomRig rig(256, 256, 2);
    ASSERT_TRUE(rig.eom.Initialize());
    Measure(rig, [](int, int) { return 0.1; });
    // bin 64 + 127 = 191: 63 bins open above the centre and 128 below.
    EXPECT_DOUBLE_EQ(rig.heo, 1.0);
    EXPECT_DOUBLE_EQ(rig.veo, 191.0 / 256 * 0.2 * 2.0);
}

// Level scans on hand-made maps.
class EomLevelScan : public testing::Test {
protected:
    std::vector<double> map = std::vector<double>(kExtent * kExtent, 0.0);
    void Mark(int row, int bin) { map[row * kExtent + bin] = 1.0; }
};

TEST_F(EomLevelScan, OnlyTheFirstTwentyZeroRunsAreConsidered) {
    // 128 rows, level 64: twenty one-row runs at rows 1, 3, ..., 39, then a 60-row run from row 41.
    const int rows = 128, levels = 128, bin = 64;
    for (int r = 0; r <= 40; r += 2) Mark(r, bin);
    for (int r = 101; r < rows; ++r) Mark(r, bin);
    const EOM_custom_lyra::LevelScan scan = EOM_custom_lyra::ScanLevel(map.data(), rows, levels, bin);
    EXPECT_EQ(scan.width, 1);
    EXPECT_EQ(scan.start, 1);
    EXPECT_EQ(scan.centre, 1);
    EXPECT_EQ(scan.height, levels);  // nothing else marked in row 1
}

}  // namespace
