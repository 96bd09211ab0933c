#include "rx/Adapt_custom_lyra.h"
#include "rx/AdaptTraceFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

const double kDefaultEqTable[16] = {0, 64, 80, 128, 144, 192, 208, 209, 213, 216, 234, 2347, 253, 238, 239, 255};

// Makes a fresh directory the current one for the lifetime of a test, so that the trace file lands there.
class TraceDirectory {
public:
    TraceDirectory() : previous(fs::current_path()) {
        std::string pattern = (fs::temp_directory_path() / "adapt_test_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "no temporary directory";
        directory = pattern;
        fs::current_path(directory);
    }
    ~TraceDirectory() {
        fs::current_path(previous);
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    std::string Contents() const {
        std::ifstream file(directory / kAdaptTraceFileName, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    // The file's lines, each with its line end.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        const std::string text = Contents();
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = text.find('\n', begin);
            end = end == std::string::npos ? text.size() : end + 1;
            lines.push_back(text.substr(begin, end - begin));
            begin = end;
        }
        return lines;
    }

private:
    fs::path previous;
    fs::path directory;
};

// What the equaliser and the DFE receive from the engine.
struct Settings {
    int select = 0;
    double taps[Adapt_custom_lyra::kTaps] = {};
};

// The engine with one element of storage on each port; the test plays the eye monitor and the request's
// echo line.
class AdaptRig {
public:
    Adapt_custom_lyra adapt;
    int start = 0;
    int done = 0;
    double heo = 0.0;
    double veo = 0.0;
    int echo = 0;
    double taps[Adapt_custom_lyra::kTaps] = {-9, -9, -9, -9, -9};
    int select = -9;
    int request = -9;
    int sweepDone = -9;
    int spare = -9;

    AdaptRig() {
        adapt.EqTable = kDefaultEqTable;
        adapt.EqTableLength = 16;
    }

    void Begin() {
        ASSERT_TRUE(adapt.Setup());
        ASSERT_EQ(adapt.tapOutputs.width, 5u);
        adapt.startInput.Attach(&start, 1);
        adapt.doneInput.Attach(&done, 1);
        adapt.heoInput.Attach(&heo, 1);
        adapt.veoInput.Attach(&veo, 1);
        adapt.echoInput.Attach(&echo, 1);
        for (int i = 0; i < Adapt_custom_lyra::kTaps; ++i) adapt.tapOutputs[i].Attach(&taps[i], 1);
        adapt.selectOutput.Attach(&select, 1);
        adapt.requestOutput.Attach(&request, 1);
        adapt.sweepDoneOutput.Attach(&sweepDone, 1);
        adapt.spareOutput.Attach(&spare, 1);
        ASSERT_TRUE(adapt.Initialize());
    }

    void Fire() { ASSERT_TRUE(adapt.Run()); }

    void OpenStartGate() {
        Fire();
        EXPECT_EQ(request, 1);
        start = 1;
        Fire();
        EXPECT_EQ(request, 0);
    }

    Settings Current() const {
        Settings s;
        s.select = select;
        for (int i = 0; i < Adapt_custom_lyra::kTaps; ++i) s.taps[i] = taps[i];
        return s;
    }

    // A measurement under the present settings: done rises with the result. When the engine raises its
    // request, the monitor clears (done falls) and the request's echo drops the request again. Returns the
    // settings the measurement was made with.
    Settings Measure(double h, double v) {
        EXPECT_EQ(request, 0) << "the monitor only measures while the request is low";
        const Settings before = Current();
        heo = h;
        veo = v;
        done = 1;
        Fire();
        if (request == 1) {
            done = 0;
            Fire();
            echo = 1;
            Fire();
            echo = 0;
            Fire();
        }
        return before;
    }
};

void ExpectTaps(const Settings& s, std::vector<double> expected, const std::string& where) {
    for (int i = 0; i < Adapt_custom_lyra::kTaps; ++i) EXPECT_EQ(s.taps[i], expected[i]) << where << " tap " << i + 1;
}

// ctleindex and CTLE columns of a data line.
std::pair<int, long long> EqualiserColumns(const std::string& line) {
    int vga = 0, eq = 0, index = 0;
    long long code = 0;
    EXPECT_EQ(std::sscanf(line.c_str(), "%d %d %d %lld", &vga, &eq, &index, &code), 4) << line;
    return {index, code};
}

TEST(AdaptCustomLyra, SweepWalksEveryIndexAndPicksTheBestCandidate) {
    TraceDirectory dir;
    AdaptRig rig;
    rig.adapt.CTLEAdapt = 1;
    rig.adapt.DFEAdapt = 0;
    rig.adapt.CTLE = 7;  // ignored while the sweep runs
    rig.Begin();
    rig.OpenStartGate();
    EXPECT_EQ(rig.select, 1);

    for (int j = 0; j <= 15; ++j) {
        // Merit 0.25 * VEO + HEO: 0.75 at index 6 and 9 alike, higher still at 15, which is no candidate.
        double h = 0.125 * (j % 3), v = 0.25;
        if (j == 6) h = 0.5, v = 1.0;
        if (j == 9) h = 0.75, v = 0.0;
        if (j == 15) h = 1.0, v = 1.0;
        const Settings used = rig.Measure(h, v);
        EXPECT_EQ(used.select, static_cast<int>(kDefaultEqTable[j]) + 1) << "measurement " << j;
        EXPECT_EQ(rig.sweepDone, j == 15 ? 1 : 0);
    }
    EXPECT_EQ(rig.select, 217);  // index 9 wins the tie
    EXPECT_EQ(rig.request, 0);

    // No tap search follows: one more measurement is logged without a step and the engine idles.
    rig.Measure(0.5, 0.5);
    EXPECT_EQ(rig.request, 0);
    EXPECT_EQ(rig.select, 217);

    const std::vector<std::string> lines = dir.Lines();
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[0], kAdaptTraceHeader);
    for (int j = 0; j <= 15; ++j) {
        EXPECT_EQ(EqualiserColumns(lines[1 + j]), std::make_pair(j, static_cast<long long>(kDefaultEqTable[j])));
    }
    EXPECT_EQ(EqualiserColumns(lines[17]), std::make_pair(9, 216LL));
}

TEST(AdaptCustomLyra, SweepWithoutAnyOpeningTakesTheLastCandidate) {
    TraceDirectory dir;
    for (int mode : {0, 1}) {
        AdaptRig rig;
        rig.adapt.DFEAdapt = 0;
        rig.adapt.SweepMode = mode;
        rig.Begin();
        rig.OpenStartGate();
        const int measurements = mode == 1 ? 6 : 16;
        for (int j = 0; j < measurements; ++j) rig.Measure(0.0, 0.0);
        EXPECT_EQ(rig.sweepDone, 1);
        const int chosen = measurements - 2;
        EXPECT_EQ(rig.select, static_cast<int>(kDefaultEqTable[chosen]) + 1) << "sweep mode " << mode;
    }
}

TEST(AdaptCustomLyra, TapSearchMovesClimbsAndStepsBack) {
    TraceDirectory dir;
    AdaptRig rig;
    rig.adapt.CTLEAdapt = 0;
    rig.adapt.CTLE = 3;
    rig.adapt.DFEAdapt = 1;
    rig.adapt.DFElsb = 0.25;
    rig.adapt.DFEtap1 = 0;
    rig.adapt.Tap1Limit = 2;
    rig.adapt.TapLimit = 2;
    rig.Begin();
    rig.OpenStartGate();

    struct Step {
        double heo;
        std::vector<double> tapsUsed;
    };
    const Step steps[] = {
        {0.10, {0, 0, 0, 0, 0}},            // tap 1: unconditional move
        {0.20, {0.25, 0, 0, 0, 0}},         // better: direction kept
        {0.30, {0.5, 0, 0, 0, 0}},          // better, but 0.75 passes the bound 0.5: clamped, tap 2 next
        {0.40, {0.5, 0, 0, 0, 0}},          // tap 2: unconditional move
        {0.30, {0.5, 0.25, 0, 0, 0}},       // worse: direction reversed, moves back to 0
        {0.35, {0.5, 0, 0, 0, 0}},          // better: on to -0.25
        {0.35, {0.5, -0.25, 0, 0, 0}},      // equal counts as not worse: on to -0.5
        {0.40, {0.5, -0.5, 0, 0, 0}},       // -0.75 passes the bound: clamped to -0.5, tap 3 next
        {0.50, {0.5, -0.5, 0, 0, 0}},       // tap 3: unconditional move
        {0.50, {0.5, -0.5, 0.25, 0, 0}},    // equal at the direction check: kept
        {0.45, {0.5, -0.5, 0.5, 0, 0}},     // worse: back to 0.25, tap 4 next
        {0.60, {0.5, -0.5, 0.25, 0, 0}},    // tap 4: unconditional move
        {0.55, {0.5, -0.5, 0.25, 0.25, 0}}, // worse: reversed to 0
        {0.50, {0.5, -0.5, 0.25, 0, 0}},    // worse again: back to 0.25, tap 5 next
        {0.70, {0.5, -0.5, 0.25, 0.25, 0}}, // tap 5: unconditional move
        {0.80, {0.5, -0.5, 0.25, 0.25, 0.25}},
        {0.75, {0.5, -0.5, 0.25, 0.25, 0.5}},  // worse: back to 0.25; the search is over
    };
    int n = 0;
    for (const Step& step : steps) {
        const Settings used = rig.Measure(step.heo, 0.0);
        ExpectTaps(used, step.tapsUsed, "measurement " + std::to_string(n++));
        EXPECT_EQ(used.select, 129);
    }
    ExpectTaps(rig.Current(), {0.5, -0.5, 0.25, 0.25, 0.25}, "final");
    // Finished: the echo of the last request raises it for good, so the monitor stays cleared.
    EXPECT_EQ(rig.request, 1);
    rig.Fire();
    EXPECT_EQ(rig.request, 1);
    EXPECT_EQ(dir.Lines().size(), 1u + 17u);
}

TEST(AdaptCustomLyra, DirectionCheckMoveIsNotLimitedButTheNextMoveIs) {
    TraceDirectory dir;
    AdaptRig rig;
    rig.adapt.CTLEAdapt = 0;
    rig.adapt.DFElsb = 0.25;
    rig.adapt.Tap1Limit = 1;
    rig.Begin();
    rig.OpenStartGate();
    rig.Measure(0.1, 0.0);
    EXPECT_EQ(rig.taps[0], 0.25);
    rig.Measure(0.2, 0.0);
    EXPECT_EQ(rig.taps[0], 0.5);
    rig.Measure(0.3, 0.0);
    EXPECT_EQ(rig.taps[0], 0.25);
    EXPECT_EQ(rig.taps[1], 0.0);
    rig.Measure(0.4, 0.0);
    EXPECT_EQ(rig.taps[1], 0.25);  // tap 2 started with its own move
}

TEST(AdaptCustomLyra, WithBothAdaptationsOffOneMeasurementIsLoggedAndNothingMoves) {
    TraceDirectory dir;
    AdaptRig rig;
    rig.adapt.CTLEAdapt = 0;
    rig.adapt.DFEAdapt = 0;
    rig.adapt.CTLE = 2;
    rig.adapt.DFElsb = 0.125;
    rig.adapt.DFEtap1 = 1;
    rig.adapt.DFEtap2 = -2;
    rig.adapt.DFEtap3 = 3;
    rig.adapt.DFEtap4 = -4;
    rig.adapt.DFEtap5 = 5;
    rig.Begin();
    rig.OpenStartGate();
    const Settings used = rig.Measure(0.25, 0.5);
    ExpectTaps(used, {0.125, -0.25, 0.375, -0.5, 0.625}, "fixed");
    EXPECT_EQ(used.select, 81);
    EXPECT_EQ(rig.request, 0);
    for (int s = 0; s < 5; ++s) rig.Fire();
    ExpectTaps(rig.Current(), {0.125, -0.25, 0.375, -0.5, 0.625}, "after");
    EXPECT_EQ(rig.select, 81);
    EXPECT_EQ(rig.sweepDone, 1);
    EXPECT_EQ(rig.spare, -9);
    const std::vector<std::string> lines = dir.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "0 0 2 80\t0.125 \t-0.25 \t0.375 \t-0.5 \t0.625 \t0.25\t0.5\n");
}

TEST(AdaptCustomLyra, TapAdaptationNeitherOnNorOffKeepsTapsTwoToFiveAtZero) {
    TraceDirectory dir;
    AdaptRig rig;
    rig.adapt.CTLEAdapt = 0;
    rig.adapt.DFEAdapt = 2;
    rig.adapt.DFElsb = 0.5;
    rig.adapt.DFEtap1 = 3;
    rig.adapt.DFEtap2 = 4;
    rig.Begin();
    rig.OpenStartGate();
    rig.Measure(0.5, 0.5);
    ExpectTaps(rig.Current(), {1.5, 0, 0, 0, 0}, "DFEAdapt 2");
    EXPECT_EQ(rig.request, 0);
}

TEST(AdaptCustomLyra, SelectionIndexCombinesTheGainBitsAndTheTableCode) {
    TraceDirectory dir;
    struct Case {
        int vga, eqHigh, expected;
    };
    // VGA_GAIN and EQ_HIGAIN are limited to 0..1.
    for (const Case& c : {Case{3, 0, 337}, Case{-1, 5, 593}, Case{1, 1, 849}, Case{0, 0, 81}}) {
        AdaptRig rig;
        rig.adapt.CTLEAdapt = 0;
        rig.adapt.DFEAdapt = 0;
        rig.adapt.CTLE = 2;  // code 80
        rig.adapt.VGA_GAIN = c.vga;
        rig.adapt.EQ_HIGAIN = c.eqHigh;
        rig.Begin();
        rig.Fire();
        EXPECT_EQ(rig.select, c.expected) << c.vga << " " << c.eqHigh;
    }
    const std::vector<std::string> lines = dir.Lines();
    ASSERT_EQ(lines.size(), 4u);  // a header per Initialize, no measurement
    for (const std::string& line : lines) EXPECT_EQ(line, kAdaptTraceHeader);

    AdaptRig logged;
    logged.adapt.CTLEAdapt = 0;
    logged.adapt.CTLE = 2;
    logged.adapt.VGA_GAIN = 1;
    logged.Begin();
    logged.OpenStartGate();
    logged.Measure(0.0, 0.0);
    EXPECT_EQ(dir.Lines().back().substr(0, 11), "1 0 2 336\t0");
}

TEST(AdaptCustomLyra, EqualiserIndexNeverReadsOutsideTheTable) {
    TraceDirectory dir;
    for (int ctle : {99, -4}) {
        AdaptRig rig;
        rig.adapt.CTLEAdapt = 0;
        rig.adapt.DFEAdapt = 0;
        rig.adapt.CTLE = ctle;
        rig.Begin();
        rig.OpenStartGate();
        rig.Measure(0.0, 0.0);
        EXPECT_EQ(rig.select, ctle > 0 ? 256 : 1);
        EXPECT_EQ(EqualiserColumns(dir.Lines().back()).first, ctle > 0 ? 15 : 0);
    }

    // A four-entry table under a sweep of 16 indexes: indexes past the end use the last entry.
    const double shortTable[4] = {10, 20, 30, 40};
    AdaptRig sweep;
    sweep.adapt.DFEAdapt = 0;
    sweep.adapt.EqTable = shortTable;
    sweep.adapt.EqTableLength = 4;
    sweep.Begin();
    sweep.OpenStartGate();
    for (int j = 0; j <= 15; ++j) {
        const Settings used = sweep.Measure(j == 12 ? 1.0 : 0.5, 0.0);
        EXPECT_EQ(used.select, static_cast<int>(shortTable[j < 4 ? j : 3]) + 1);
    }
    EXPECT_EQ(EqualiserColumns(dir.Lines().back()).first, 15);
    sweep.Measure(0.0, 0.0);
    EXPECT_EQ(EqualiserColumns(dir.Lines().back()).first, 12);
    EXPECT_EQ(sweep.select, 41);

    AdaptRig noTable;
    noTable.adapt.EqTable = nullptr;
    noTable.adapt.EqTableLength = 0;
    noTable.adapt.CTLEAdapt = 0;
    noTable.adapt.CTLE = 5;
    noTable.adapt.VGA_GAIN = 1;
    noTable.Begin();
    noTable.Fire();
    EXPECT_EQ(noTable.select, 257);

    const double hugeCode[1] = {static_cast<double>(INT_MAX)};
    AdaptRig huge;
    huge.adapt.EqTable = hugeCode;
    huge.adapt.EqTableLength = 1;
    huge.adapt.CTLEAdapt = 0;
    huge.adapt.EQ_HIGAIN = 1;
    huge.Begin();
    huge.Fire();
    EXPECT_EQ(huge.select, INT_MAX);
}

TEST(AdaptCustomLyra, TraceLineHasTheDocumentedLayout) {
    TraceDirectory dir;
    AdaptRig rig;
    rig.adapt.CTLEAdapt = 0;
    rig.adapt.DFEAdapt = 0;
    rig.adapt.CTLE = 3;
    rig.Begin();
    rig.OpenStartGate();
    rig.Measure(0.4375, 0.0875);
    EXPECT_EQ(dir.Contents(), std::string(kAdaptTraceHeader) + "0 0 3 128\t0 \t0 \t0 \t0 \t0 \t0.4375\t0.0875\n");
}

TEST(AdaptCustomLyra, HeaderIsAppendedAtEveryInitialize) {
    TraceDirectory dir;
    {
        std::ofstream earlier(kAdaptTraceFileName);
        earlier << "an earlier run\n";
    }
    AdaptRig rig;
    rig.Begin();
    ASSERT_TRUE(rig.adapt.Initialize());
    EXPECT_EQ(dir.Contents(), std::string("an earlier run\n") + kAdaptTraceHeader + kAdaptTraceHeader);
}

TEST(AdaptCustomLyra, UnwritableTraceFileChangesNothingElse) {
    TraceDirectory dir;
    fs::create_directory(kAdaptTraceFileName);  // a directory cannot be opened for appending
    AdaptRig rig;
    rig.adapt.DFEAdapt = 0;
    rig.Begin();
    rig.OpenStartGate();
    errno = EDOM;
    rig.Measure(0.5, 0.5);
    EXPECT_EQ(errno, EDOM);
    EXPECT_EQ(rig.select, 65);  // the sweep went on to index 1
}

TEST(AdaptTraceFile, RealsMatchTheDefaultStreamFormat) {
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-12, 12);
    std::vector<double> values = {0.0, -0.0, 1.0, 0.1 + 0.2, 123456.5, 1234567.0, 1e-5, 0.0001, 99999.95, -2.5e-300};
    for (int k = 0; k < 300; ++k) values.push_back(mantissa(random) * std::pow(10.0, exponent(random)));

    for (std::size_t k = 0; k + 7 <= values.size(); k += 7) {
        AdaptTraceRecord record;
        record.vgaGain = 1;
        record.eqHighGain = 0;
        record.equaliserIndex = static_cast<int>(k % 16);
        record.equaliserCode = -1 - static_cast<long long>(k);
        for (int i = 0; i < 5; ++i) record.taps[i] = values[k + i];
        record.heo = values[k + 5];
        record.veo = values[k + 6];

        std::ostringstream expected;
        expected << record.vgaGain << ' ' << record.eqHighGain << ' ' << record.equaliserIndex << ' '
                 << record.equaliserCode << '\t';
        for (double tap : record.taps) expected << tap << " \t";
        expected << record.heo << '\t' << record.veo << '\n';

        const FormattedAdaptTraceLine line(record);
        ASSERT_EQ(std::string(line.Text(), line.Length()), expected.str());
    }
}

TEST(AdaptTraceFile, ReceiversOnTwoThreadsWriteWholeLines) {
    TraceDirectory dir;
    constexpr int kLinesPerReceiver = 500;
    std::atomic<int> ready{0};
    auto receiver = [&ready](int vga) {
        AdaptRig rig;
        rig.adapt.CTLEAdapt = 0;
        rig.adapt.DFEAdapt = 0;
        rig.adapt.VGA_GAIN = vga;
        rig.adapt.DFElsb = 0.0123456789;
        rig.adapt.DFEtap1 = 7;
        rig.adapt.DFEtap2 = -11;
        rig.adapt.DFEtap3 = 13;
        rig.adapt.DFEtap4 = -17;
        rig.adapt.DFEtap5 = 19;
        rig.Begin();
        // Both receivers write at the same time.
        ++ready;
        while (ready.load() < 2) {
        }
        for (int k = 0; k < kLinesPerReceiver; ++k) {
            rig.heo = 0.1234567 * (k + 1);
            rig.veo = -0.0007654321 * (k + 1);
            rig.done = 1;
            rig.Fire();
            rig.done = 0;
            rig.Fire();
        }
    };
    std::thread first(receiver, 0);
    std::thread second(receiver, 1);
    first.join();
    second.join();

    // Every line must be one that a receiver wrote, and each must appear once (the headers twice).
    std::map<std::string, int> expected;
    expected[kAdaptTraceHeader] = 2;
    for (int vga = 0; vga <= 1; ++vga) {
        for (int k = 0; k < kLinesPerReceiver; ++k) {
            std::ostringstream line;
            line << vga << " 0 0 " << 256 * vga << '\t';
            for (int t : {7, -11, 13, -17, 19}) line << t * 0.0123456789 << " \t";
            line << 0.1234567 * (k + 1) << '\t' << -0.0007654321 * (k + 1) << '\n';
            ++expected[line.str()];
        }
    }
    std::map<std::string, int> found;
    for (const std::string& line : dir.Lines()) ++found[line];
    EXPECT_EQ(found, expected);
}

}  // namespace
