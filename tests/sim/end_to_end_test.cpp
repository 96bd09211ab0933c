// kelvane-sim run as a user runs it: the built-in default and real channels end to end, and bad input.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/RunCommand.h"
#include "tests/support/ScopedTempDir.h"

namespace {

using Outcome = CommandOutcome;

Outcome RunSimulator(const std::string& arguments) {
    return RunCommand(std::string(KELVANE_SIM) + " --no-progress " + arguments);
}

nlohmann::json Summary(const std::string& folder) {
    std::ifstream in(folder + "/summary.json");
    return nlohmann::json::parse(in);
}

// A healthy link: the clock locks, the adaptation ends, and not one counted bit is wrong.
void ExpectHealthyLink(const nlohmann::json& summary, const std::string& output) {
    EXPECT_TRUE(summary["verdict"]["clock_locked"].get<bool>()) << output;
    EXPECT_TRUE(summary["verdict"]["adaptation_complete"].get<bool>()) << output;
    EXPECT_TRUE(summary["ber"]["aligned"].get<bool>()) << output;
    EXPECT_EQ(summary["ber"]["errors"].get<long long>(), 0) << output;
    EXPECT_GT(summary["ber"]["bits_compared"].get<long long>(), 20000) << output;
    EXPECT_NEAR(summary["clock"]["mean_period_ui"].get<double>(), 1.0, 1e-4);
    EXPECT_GT(summary["eye"]["height_v"].get<double>(), 0.0);
}

bool SharedChannelsPresent() { return std::ifstream(std::string(KELVANE_SHARED_CHANNELS) + "/SOURCES.md").good(); }

}  // namespace

TEST(KelvaneSim, DefaultRunGivesAnErrorFreeAdaptedLink) {
    ScopedTempDir dir;
    const Outcome run = RunSimulator("-o default");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("report.html"), std::string::npos);
    const nlohmann::json summary = Summary(dir.path() + "/default");
    ExpectHealthyLink(summary, run.output);
    EXPECT_TRUE(std::ifstream(dir.path() + "/default/report.html").good());
    EXPECT_TRUE(std::ifstream(dir.path() + "/default/eye.png").good());
    // the equaliser views' selection of every table entry is the one the receiver logged while sweeping
    const nlohmann::json& table = summary["equaliser"]["table"];
    const nlohmann::json& steps = summary["adaptation"]["steps"];
    ASSERT_EQ(table.size(), 16u);
    ASSERT_GE(steps.size(), 16u);
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(table[i]["selection_index"].get<int>() - 1, steps[i]["ctle_column"].get<int>()) << i;
}

TEST(KelvaneSim, RealChannelsFourAndTenInches) {
    if (!SharedChannelsPresent()) GTEST_SKIP() << "no shared channel data";
    for (const char* name : {"DPO_4in_Meg7_THRU", "DPO_10in_Meg7_THRU"}) {
        ScopedTempDir dir;
        const Outcome run = RunSimulator(std::string("-o run --channel ") + KELVANE_SHARED_CHANNELS + "/" + name + ".s4p");
        ASSERT_EQ(run.exitCode, 0) << run.output;
        ExpectHealthyLink(Summary(dir.path() + "/run"), run.output);
    }
}

TEST(KelvaneSim, BadInputGetsOneClearLineAndAFailingExit) {
    ScopedTempDir dir;
    std::ofstream("broken.s4p") << "# GHz S MA R 50\n1.0 0.5 not-a-number\n";
    const struct {
        const char* arguments;
        const char* says;
    } cases[] = {
        {"--rx-lib /nonexistent/kelvane_rx.so -o a", "cannot load model library"},
        {"--channel broken.s4p -o b", "broken.s4p"},
        {"--tx c7=3 -o c", "no parameter c7"},
        {"--tx c0=abc -o d", "needs a number"},
        {"--bits banana", "banana"},
        {"--prbs 8", "8"},
        {"--tx-lib " KELVANE_KIT_DIR "/kelvane_rx_x64.so -o e", "holds the model kelvane_rx, not kelvane_tx"},
        {"--tx-params '(kelvane_tx (c9 1))' -o f", "no parameter c9"},
        {"--tx-params '(kelvane_tx (c0 1)' -o g", "does not parse"},
        {"--rx Rx_config=0 -o h", "set by the simulator"},
        {"--ignore-bits -1", "-1"},
        {"--noise nan", "nan"},
    };
    for (const auto& c : cases) {
        const Outcome run = RunSimulator(c.arguments);
        EXPECT_NE(run.exitCode, 0) << c.arguments;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.arguments << ": " << run.output;
        EXPECT_EQ(run.output.find("Segmentation"), std::string::npos);
    }
    for (const char* folder : {"a", "b", "c", "d", "e", "f", "g", "h"})  // a failed run leaves no folder behind
        EXPECT_NE(access(folder, F_OK), 0) << folder;
}

// Without adaptation the run is complete by definition and reports the fixed settings.
TEST(KelvaneSim, FixedSettingsAreACompleteAdaptation) {
    ScopedTempDir dir;
    const Outcome run = RunSimulator("-o fixed --bits 12000 --rx CTLEAdapt=0 --rx DFEAdapt=0 --rx CTLE=9 --rx DFEtap1=3");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const nlohmann::json summary = Summary(dir.path() + "/fixed");
    EXPECT_TRUE(summary["verdict"]["adaptation_complete"].get<bool>()) << run.output;
    EXPECT_EQ(summary["adaptation"]["chosen_table_index"].get<int>(), 9);
    EXPECT_NEAR(summary["adaptation"]["final_taps_v"][0].get<double>(), 0.03, 1e-12);
    EXPECT_EQ(run.output.find("NOT complete"), std::string::npos) << run.output;
    // The report names what made it: the command line and the kit's version.
    EXPECT_NE(summary["tool"]["command_line"].get<std::string>().find("CTLE=9"), std::string::npos);
    EXPECT_EQ(summary["tool"]["version"].get<std::string>(), KELVANE_VERSION);
}

// The end of adaptation is read from the trace, not from the block grid: any block size counts the same
// bits, also one block longer than the whole run.
TEST(KelvaneSim, BlockSizeDoesNotMoveTheCountedBits) {
    ScopedTempDir dir;
    long long counted[3] = {};
    const char* sizes[3] = {"1000", "1024", "16777216"};
    for (int i = 0; i < 3; ++i) {
        const Outcome run = RunSimulator(std::string("-o b") + sizes[i] + " --bits 40000 --max-bits 120000 --rx EOM_window=200 --block-size " +
                                         sizes[i]);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const nlohmann::json summary = Summary(dir.path() + "/b" + sizes[i]);
        EXPECT_TRUE(summary["verdict"]["adaptation_complete"].get<bool>()) << run.output;
        EXPECT_EQ(summary["ber"]["errors"].get<long long>(), 0) << run.output;
        counted[i] = summary["ber"]["bits_compared"].get<long long>();
    }
    EXPECT_EQ(counted[0], 40000);  // exactly the bits asked for, counted after the adaptation
    EXPECT_EQ(counted[1], counted[0]);
    EXPECT_EQ(counted[2], counted[0]);
    // Too few bits after the adaptation: the reason says so, not "could not be aligned".
    const Outcome shortRun = RunSimulator("-o short --bits 6000 --ignore-bits 5990");
    EXPECT_NE(shortRun.output.find("no bits were left to count"), std::string::npos) << shortRun.output;
    EXPECT_EQ(shortRun.output.find("could not be aligned"), std::string::npos) << shortRun.output;
}

// A run that meets its cap before the adaptation completes says so in one line, in the summary too, and
// still reports what it measured.
TEST(KelvaneSim, TheCapEndsALongAdaptationAndSaysSo) {
    ScopedTempDir dir;
    const Outcome run = RunSimulator("-o capped --max-bits 12000");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("the run stopped at the cap of 12000 bits (--max-bits) before the adaptation completed"),
              std::string::npos)
        << run.output;
    const nlohmann::json summary = Summary(dir.path() + "/capped");
    EXPECT_TRUE(summary["run_length"]["cap_hit"].get<bool>());
    EXPECT_TRUE(summary["run_length"]["until_adapted"].get<bool>());
    EXPECT_EQ(summary["run_length"]["max_bits"].get<long long>(), 12000);
    EXPECT_LE(summary["run_length"]["bits_simulated"].get<long long>(), 12000);
    EXPECT_GT(summary["run_length"]["bits_simulated"].get<long long>(), 11000);
    EXPECT_FALSE(summary["verdict"]["adaptation_complete"].get<bool>());
    EXPECT_GT(summary["clock"]["edges"].get<long long>(), 10000);
    EXPECT_GT(summary["ber"]["bits_compared"].get<long long>(), 0);
}

// At exactly zero frequency offset on a low-loss channel the loop may never move; that is reported as not
// acquired, with the reason, and a transmitter clock offset (--ppm) pulls it in.
TEST(KelvaneSim, ALoopThatNeverMovedIsNotAcquiredAndAnOffsetPullsItIn) {
    ScopedTempDir dir;
    const std::string fixed = " --bits 20000 --loss 4 --rx CTLEAdapt=0 --rx DFEAdapt=0";
    const Outcome still = RunSimulator("-o still" + fixed);
    ASSERT_EQ(still.exitCode, 0) << still.output;
    EXPECT_NE(still.output.find("NOT acquired"), std::string::npos) << still.output;
    EXPECT_NE(still.output.find("--ppm"), std::string::npos) << still.output;
    EXPECT_FALSE(Summary(dir.path() + "/still")["verdict"]["clock_locked"].get<bool>());
    const Outcome pulled = RunSimulator("-o pulled --ppm 100" + fixed);
    ASSERT_EQ(pulled.exitCode, 0) << pulled.output;
    const nlohmann::json summary = Summary(dir.path() + "/pulled");
    EXPECT_TRUE(summary["clock"]["acquired"].get<bool>()) << pulled.output;
    EXPECT_NEAR(summary["clock"]["frequency_offset_ppm"].get<double>(), -100.0, 40.0);  // tracks the faster bits
    EXPECT_EQ(summary["ber"]["errors"].get<long long>(), 0) << pulled.output;
    EXPECT_EQ(summary["stimulus"]["tx_clock_offset_ppm"].get<double>(), 100.0);
    std::ifstream ami(KELVANE_KIT_DIR "/kelvane_rx.ami");
    const std::string text((std::istreambuf_iterator<char>(ami)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("realistic frequency offset"), std::string::npos);
}

// Runs the transmitter cannot serve or the receiver's clock cannot reach the host say so plainly.
TEST(KelvaneSim, UnsupportedRatesAndBlockSizesAreNamed) {
    ScopedTempDir dir;
    const Outcome eight = RunSimulator("-o eight --bits 3000 --max-bits 3000 --samples-per-bit 8");
    EXPECT_NE(eight.output.find("transmitter's equaliser is wrong at 8 samples per bit"), std::string::npos)
        << eight.output;
    const Outcome one = RunSimulator("-o one --bits 3000 --max-bits 3000 --block-size 1");
    EXPECT_NE(one.exitCode, 0);
    EXPECT_NE(one.output.find("cannot carry the clock"), std::string::npos) << one.output;
    const Outcome factor = RunSimulator("-o factor --bits 3000 --max-bits 3000 --rx Factor=2");
    EXPECT_NE(factor.exitCode, 0);
    EXPECT_NE(factor.output.find("thins the reported clock times"), std::string::npos) << factor.output;
    EXPECT_NE(factor.output.find("cannot carry the clock"), std::string::npos) << factor.output;
}

// Channel data that cannot describe the link as given: measured data ending short of the band, and an
// impulse response whose area no passive channel has.
TEST(KelvaneSim, SuspectChannelDataIsWarnedAbout) {
    ScopedTempDir dir;
    {
        std::ofstream s2p("short.s2p");
        s2p << "# GHz S MA R 50\n";
        for (int k = 0; k <= 40; ++k) {
            const double f = 0.5 * k;  // to 20 GHz, below three times the 14 GHz Nyquist frequency
            s2p << f << " 0 0 " << 1.0 / (1.0 + 0.05 * f) << " " << -36.0 * f << " " << 1.0 / (1.0 + 0.05 * f) << " "
                << -36.0 * f << " 0 0\n";
        }
        std::ofstream impulse("loud.txt");
        for (int k = 0; k < 20; ++k) impulse << k * 1e-12 << " " << 5e11 << "\n";  // area 10
    }
    const Outcome shortData = RunSimulator("-o a --bits 3000 --max-bits 3000 --channel short.s2p");
    EXPECT_EQ(shortData.exitCode, 0) << shortData.output;
    EXPECT_NE(shortData.output.find("channel data end at 20 GHz"), std::string::npos) << shortData.output;
    EXPECT_TRUE(std::ifstream("a/insertion_loss.svg").good());
    const Outcome loud = RunSimulator("-o b --bits 3000 --max-bits 3000 --channel loud.txt");
    EXPECT_NE(loud.output.find("area (its DC gain) is 9.5"), std::string::npos) << loud.output;
    const Outcome fine = RunSimulator("-o c --bits 3000 --max-bits 3000");
    EXPECT_EQ(fine.output.find("channel data end"), std::string::npos) << fine.output;
    EXPECT_EQ(fine.output.find("DC gain"), std::string::npos) << fine.output;
}
