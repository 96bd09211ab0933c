// kelvane-sim's driver: the command line refuses what a run cannot honour, run folders are never shared,
// and the parameters shown are the ones the models apply.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/ScopedTempDir.h"
#include "sim/host/AmiLibrary.h"
#include "sim/analysis/Prbs.h"
#include "sim/driver/ClockCapacity.h"
#include "sim/driver/CommandLine.h"
#include "sim/driver/ParameterStrings.h"
#include "sim/driver/RunFolder.h"

namespace {

bool Parses(std::vector<std::string> words) {
    words.insert(words.begin(), "kelvane-sim");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    ksim::SimOptions options;
    int exitCode = 0;
    testing::internal::CaptureStderr();
    const bool ok = ksim::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), options, exitCode);
    testing::internal::GetCapturedStderr();
    return ok;
}

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ErrorOf(void (*check)(const std::string&), const std::string& text) {
    try {
        check(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(SimCommandLine, RefusesValuesThatWrapOrVanish) {
    EXPECT_TRUE(Parses({"--ignore-bits", "1000", "--noise", "0.01", "--bit-time", "5e-11"}));
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"--ignore-bits", "-1"}, {"--noise", "nan"}, {"--noise", "inf"}, {"--bit-time", "nan"},
             {"--bit-time", "inf"}, {"--loss", "nan"}, {"--extra-loss", "nan"}, {"--extra-loss", "-1"}, {"--bits", "-5"}, {"--block-size", "-1"}, {"--seed", "-1"},
             {"--noise-seed", "-1"}, {"--bits", "1000", "--ignore-bits", "1000"}})
        EXPECT_FALSE(Parses(words)) << words[0] << " " << words[1];
}

TEST(SimRunFolder, DefaultNamesNeverCollideAndAFolderInUseIsRefused) {
    ScopedTempDir dir;
    ksim::RunFolder first("", "runs/stamp");
    ksim::RunFolder second("", "runs/stamp");  // started in the same second
    EXPECT_NE(first.path(), second.path());
    EXPECT_EQ(second.path(), dir.path() + "/runs/stamp-2");
    first.Keep();
    second.Keep();
    ksim::RunFolder mine("mine", "unused");
    EXPECT_THROW(ksim::RunFolder("mine", "unused"), std::runtime_error);
    mine.Keep();
}

TEST(SimRunFolder, ReuseClearsAnEarlierRunAndAFailedRunLeavesNothing) {
    ScopedTempDir dir;
    mkdir("old", 0755);
    std::ofstream("old/waveforms.csv") << "stale\n";
    std::ofstream("old/notes.txt") << "the user's\n";
    std::ofstream("afile") << "x";
    {
        ksim::RunFolder reused("old", "unused");
        reused.Keep();
    }
    EXPECT_FALSE(std::ifstream("old/waveforms.csv").good());
    EXPECT_TRUE(std::ifstream("old/notes.txt").good());
    try {
        ksim::RunFolder file("afile", "unused");
        ADD_FAILURE() << "a file taken as a run folder";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("exists as a file"), std::string::npos) << e.what();
    }
    { ksim::RunFolder failed("", "runs/failed"); }  // no Keep: the run failed
    EXPECT_FALSE(IsDirectory("runs/failed"));
}

TEST(SimParameters, ShowTheValueTheModelApplies) {
    const struct {
        bool tx;
        const char* override;
        const char* name;
        double applied;
        bool warned;
    } cases[] = {
        {true, "c1=-4", "c1", 0, true},     {true, "c0=99", "c0", 31, true},   {true, "c1=2.7", "c1", 2, true},
        {true, "c1=3", "c1", 3, false},     {true, "c1_sign=5", "c1_sign", 5, true},
        {false, "Factor=1.0002", "Factor", 1, true}, {false, "CTLE=20", "CTLE", 15, true},
        {false, "VGA_GAIN=0.5", "VGA_GAIN", 0, true}, {false, "DFElsb=0.005", "DFElsb", 0.005, false},
    };
    for (const auto& c : cases) {
        std::vector<std::string> warnings;
        const auto applied = c.tx ? ksim::TxAppliedParameters(ksim::TxParameterString({c.override}), warnings)
                                  : ksim::RxAppliedParameters(ksim::RxParameterString({c.override}, 1), warnings);
        EXPECT_EQ(ksim::AppliedValue(applied, c.name, -99), c.applied) << c.override;
        EXPECT_EQ(!warnings.empty(), c.warned) << c.override;
    }
    std::vector<std::string> warnings;
    const auto fromWholeString = ksim::TxAppliedParameters("(kelvane_tx (c0 12))", warnings);
    EXPECT_EQ(ksim::AppliedValue(fromWholeString, "c0", -1), 12);
    EXPECT_EQ(ksim::AppliedValue(fromWholeString, "cm1", -1), 4);  // missing: the model keeps its default
}

TEST(SimParameters, WholeStringsAndOverridesTheModelsCannotTake) {
    EXPECT_EQ(ErrorOf(ksim::CheckTxParameterString, "(kelvane_tx (c0 12) (c1_sign 0))"), "");
    EXPECT_EQ(ErrorOf(ksim::CheckRxParameterString, "(kelvane_rx (EQ_TABLE (3 100)) (CTLE 2))"), "");
    const struct {
        void (*check)(const std::string&);
        const char* text;
        const char* says;
    } cases[] = {
        {ksim::CheckTxParameterString, "(kelvane_tx (c0 12", "does not parse"},
        {ksim::CheckTxParameterString, "(kelvane_tx (c9 1))", "no parameter c9"},
        {ksim::CheckTxParameterString, "(kelvane_rx (c0 1))", "must start with (kelvane_tx"},
        {ksim::CheckRxParameterString, "(kelvane_rx (EQ_TABLE (16 1)))", "no parameter EQ_TABLE.16"},
        {ksim::CheckRxParameterString, "(kelvane_rx (Rx_config 0))", "set by the simulator"},
    };
    for (const auto& c : cases) EXPECT_NE(ErrorOf(c.check, c.text).find(c.says), std::string::npos) << c.text;
    EXPECT_THROW(ksim::RxParameterString({"Rx_config=0"}, 1), std::runtime_error);
}

// Every clock tick reaches the host for every block size the simulator accepts, and a Factor above 1,
// which ticks more often than a call can report, is refused for the block sizes where ticks would be lost.
TEST(SimClockCapacity, AcceptedBlockSizesCarryEveryTick) {
    ScopedTempDir dir;
    const AmiLibrary rx(KELVANE_KIT_DIR "/kelvane_rx_x64.so");
    const int spb = 32;
    const double bitTime = 3.571428571428571e-11, dt = bitTime / spb;
    const std::size_t samples = 1000;
    std::vector<double> input(samples);
    ksim::PrbsGenerator prbs(7);
    for (std::size_t i = 0; i < samples; ++i) input[i] = (i % spb == 0 ? prbs.NextBit() : input[i - 1] > 0) ? 0.3 : -0.3;
    for (int factor : {1, 2}) {
        const std::string parameters = ksim::RxParameterString({"Factor=" + std::to_string(factor)}, 1);
        auto ticks = [&](std::size_t block) {
            AmiSession session(rx, parameters, dt, bitTime);
            std::vector<double> wave = input, clocks, kept;
            session.Process(wave, block, &clocks);
            // The simulator leaves out a last call too short for the clock: compare the ticks before it.
            for (double t : clocks)
                if (t < (samples - 2) * dt) kept.push_back(t);
            return kept;
        };
        const std::vector<double> every = ticks(2);  // room for one time per two samples: every tick
        ASSERT_GE(every.size(), static_cast<std::size_t>(28 * factor));
        std::size_t accepted = 0;
        for (std::size_t block = 2; block <= 1024; ++block) {
            if (!ksim::ClockCapacityProblem(std::min(block, samples), spb, factor, 0.0).empty()) continue;
            ++accepted;
            EXPECT_EQ(ticks(block), every) << "Factor " << factor << ", block " << block;
        }
        if (factor == 1) {
            EXPECT_EQ(accepted, 1023u);
        } else {
            EXPECT_LT(ticks(1024).size(), every.size());  // what the refusal prevents
        }
    }
    EXPECT_FALSE(ksim::ClockCapacityProblem(1, spb, 1, 0.0).empty());
    AmiSession twice(rx, ksim::RxParameterString({"Factor=2"}, 1), dt, bitTime);
    EXPECT_NE(twice.message.find("thins the reported clock times"), std::string::npos) << twice.message;
}
