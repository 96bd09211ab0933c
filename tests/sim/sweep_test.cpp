// kelvane-sim sweep, collect and compare: the settings a sweep expands to, the case command lines and the
// job file, the process pool, the table read back from summaries (swept settings, best case, heat maps),
// the key-by-key comparison, and the whole path through the real program and GNU parallel.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/sweep/CaseTable.h"
#include "sim/sweep/ProcessPool.h"
#include "sim/sweep/RunComparison.h"
#include "sim/sweep/SweepPlan.h"
#include "sim/sweep/SweepReport.h"
#include "tests/support/ScopedTempDir.h"

namespace {

using ksim::OrderedJson;
using Words = std::vector<std::string>;

std::string Output(const std::string& command, int* exitCode = nullptr) {
    std::string text;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
    const int status = pipe ? pclose(pipe) : -1;
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return text;
}

// A summary with the fields the sweep report reads; the figures given, the rest absent.
OrderedJson Summary(const std::string& channel, const std::vector<std::pair<std::string, std::string>>& tx, bool errorFree,
                    double heightV, double widthUi, double errors = 0) {
    OrderedJson s;
    s["verdict"] = {{"clock_locked", true}, {"adaptation_complete", true}, {"error_free", errorFree}};
    for (const auto& p : tx) s["applied_parameters"]["tx"][p.first] = {{"requested", p.second}, {"applied", std::stod(p.second)}};
    s["applied_parameters"]["rx"]["Rx_config"] = {{"requested", "1"}, {"applied", 1}};
    s["channel"] = {{"kind", "touchstone"}, {"source", "/data/" + channel + ".s4p (SDD21, in 1,3 out 2,4)"}, {"loss_db_at_nyquist", 20}};
    s["ber"] = {{"bits_compared", 1000}, {"errors", errors}, {"ber", errors / 1000}, {"ber_limit_95", errors == 0 ? OrderedJson(0.003) : OrderedJson()}};
    s["eye"] = {{"height_v", heightV}, {"width_ui", widthUi}};
    s["adaptation"] = {{"chosen_table_index", 7}, {"chosen_column", 3}, {"final_taps_v", {0.1, 0, 0, 0, 0}}};
    return s;
}

void WriteSummary(const std::string& folder, const OrderedJson& summary) {
    mkdir(folder.c_str(), 0755);
    std::ofstream(folder + "/summary.json") << summary.dump(1);
}

}  // namespace

TEST(SimSweep, SettingsExpandFromRangesAndListsAndBadOnesAreRefused) {
    const std::vector<std::pair<std::string, Words>> good = {
        {"c1=0:3", {"0", "1", "2", "3"}},
        {"EOMAmplitude=0.05:0.2:0.05", {"0.05", "0.1", "0.15", "0.2"}},  // no 0.15000000000000002
        {"CTLE=3,7,11", {"3", "7", "11"}},
        {"x=1:2,9,-0.5", {"1", "2", "9", "-0.5"}},
        {"CTLEAdapt=0", {"0"}},
        {"v=-1:1:0.5", {"-1", "-0.5", "0", "0.5", "1"}},
        {"v=0:1:0.3", {"0", "0.3", "0.6", "0.9"}},
    };
    for (const auto& c : good) EXPECT_EQ(ksim::ParseSweepAxis("tx", c.first).values, c.second) << c.first;
    EXPECT_EQ(ksim::ParseSweepAxis("rx", "CTLE=1").name, "CTLE");
    for (const char* bad : {"c1", "=3", "c1=", "c1=3:1", "c1=0:5:0", "c1=0:5:-1", "c1=a:b", "c1=1,,2", "c 1=2",
                            "c1=0:100000", "c1=1 2", "c1=$(rm)", "c1=nan:3"})
        EXPECT_THROW(ksim::ParseSweepAxis("tx", bad), std::invalid_argument) << bad;
}

TEST(SimSweep, CasesCoverEveryCombinationWithFoldersNamedBySettings) {
    ksim::SweepPlanInput in;
    in.program = "/opt/kelvane-sim";
    in.casesFolder = "/s/cases";
    in.channels = {"analytic", "/a/x y.s4p", "/b/x y.s4p"};
    in.axes = {ksim::ParseSweepAxis("tx", "c1=0:1"), ksim::ParseSweepAxis("rx", "CTLE=5,9,12")};
    in.passThrough = {"--bits", "3000"};
    const std::vector<ksim::SweepCase> cases = ksim::PlanSweep(in);
    ASSERT_EQ(cases.size(), 18u);
    EXPECT_EQ(cases[0].name, "analytic,tx.c1=0,rx.CTLE=5");
    EXPECT_EQ(cases[1].name, "analytic,tx.c1=0,rx.CTLE=9");  // the last setting varies fastest
    EXPECT_EQ(cases[3].name, "analytic,tx.c1=1,rx.CTLE=5");
    EXPECT_EQ(cases[6].name, "x_y,tx.c1=0,rx.CTLE=5");
    EXPECT_EQ(cases[12].name, "x_y-2,tx.c1=0,rx.CTLE=5");  // same file name, another folder: a name of its own
    EXPECT_EQ(cases[17].folder, "/s/cases/x_y-2,tx.c1=1,rx.CTLE=12");
    EXPECT_EQ(cases[16].command, (Words{"/opt/kelvane-sim", "--channel", "/b/x y.s4p", "--tx", "c1=1", "--rx", "CTLE=9",
                                       "--bits", "3000", "--no-progress", "-o", "/s/cases/x_y-2,tx.c1=1,rx.CTLE=9"}));
    in.axes.push_back(ksim::ParseSweepAxis("tx", "c0=0:9999"));
    in.axes.push_back(ksim::ParseSweepAxis("tx", "cm1=0:9"));
    EXPECT_THROW(ksim::PlanSweep(in), std::invalid_argument);  // 3 x 2 x 3 x 10000 x 10 cases
}

TEST(SimSweep, JobFileLinesAreCommandsAShellRunsAsGiven) {
    const Words words = {"/bin/printf", "[%s]", "plain", "with space", "it's", "$HOME", "a,b=c"};
    const std::string line = ksim::ShellLine(words);
    EXPECT_EQ(Output("/bin/sh -c " + ksim::ShellLine({line})), "[plain][with space][it's][$HOME][a,b=c]");
    const std::string jobs = ksim::JobFileText({{"a", "/f/a", words}, {"b", "/f/b", words}});
    int lines = 0;
    for (std::size_t at = jobs.find('\n'); at != std::string::npos; at = jobs.find('\n', at + 1)) ++lines;
    EXPECT_EQ(lines, 4);
    EXPECT_NE(jobs.find("\n" + line + "\n" + line + "\n"), std::string::npos);
}

TEST(SimSweep, ProcessPoolRunsEveryJobAndReportsHowEachEnded) {
    ScopedTempDir dir;
    const std::vector<ksim::PoolJob> jobs = {
        {{"/bin/sh", "-c", "echo out; echo err >&2"}, dir.path() + "/0.log"},
        {{"/bin/sh", "-c", "exit 3"}, dir.path() + "/1.log"},
        {{"/nonexistent/program"}, dir.path() + "/2.log"},
        {{"/bin/sh", "-c", "kill -9 $$"}, dir.path() + "/3.log"},
        {{"/bin/sh", "-c", "read x; echo \"[$x]\""}, dir.path() + "/4.log"},  // standard input is empty
    };
    for (int parallel : {1, 3, 8}) {
        std::vector<std::size_t> order;
        const auto results = ksim::RunJobs(jobs, parallel, [&](std::size_t i, const ksim::PoolResult&) { order.push_back(i); });
        ASSERT_EQ(results.size(), jobs.size());
        EXPECT_EQ(order.size(), jobs.size());
        EXPECT_EQ(results[0].exitCode, 0);
        EXPECT_EQ(dir.Read("0.log"), "out\nerr\n");
        EXPECT_EQ(results[1].exitCode, 3);
        EXPECT_EQ(results[2].exitCode == 127 || results[2].exitCode == -1, true);  // exec failed in the child, or spawn refused
        EXPECT_EQ(results[3].exitCode, 128 + 9);
        EXPECT_NE(results[3].problem.find("signal"), std::string::npos);
        EXPECT_EQ(dir.Read("4.log"), "[]\n");
    }
}

TEST(SimSweep, TableFindsSweptSettingsBestCasesAndMissingOnes) {
    ScopedTempDir dir;
    const std::string p = dir.path() + "/";
    // Channel A: the error-free case wins over a larger eye with errors; among error-free ones the higher eye.
    WriteSummary(p + "a1", Summary("A", {{"c1", "0"}, {"cm1", "4"}, {"c0", "15"}}, true, 0.10, 0.5));
    WriteSummary(p + "a2", Summary("A", {{"c1", "1"}, {"cm1", "4"}, {"c0", "15"}}, false, 0.30, 0.6, 5));
    WriteSummary(p + "a3", Summary("A", {{"c1", "2"}, {"cm1", "4"}, {"c0", "15"}}, true, 0.12, 0.4));
    WriteSummary(p + "a4", Summary("A", {{"c1", "10"}, {"cm1", "4"}, {"c0", "15"}}, true, 0.12, 0.45));
    // Channel B: nothing error-free: the lowest BER wins.
    WriteSummary(p + "b1", Summary("B", {{"c1", "0"}, {"cm1", "5"}, {"c0", "15"}}, false, 0.2, 0.5, 50));
    WriteSummary(p + "b2", Summary("B", {{"c1", "1"}, {"cm1", "5"}, {"c0", "15"}}, false, 0.0, 0.0, 9));
    mkdir((p + "failed").c_str(), 0755);
    std::ofstream(p + "failed/run.log") << "starting\nkelvane-sim: channel x.s4p: cannot read\n";
    std::ofstream(p + "jobs.txt") << "# header\n/x/kelvane-sim -o " << p << "a1\n/x/kelvane-sim -o '" << p << "failed'\n"
                                  << "/x/kelvane-sim -o " << p << "never\n";

    const ksim::CaseTable table = ksim::BuildCaseTable({p + "a1", p + "a2", p + "a3", p + "a4", p + "b1", p + "b2", p + "failed", p + "never"});
    EXPECT_EQ(table.sweptSettings, (Words{"tx.c1", "tx.cm1"}));  // c0 is the same everywhere
    EXPECT_EQ(table.channels, (Words{"A", "B"}));
    EXPECT_EQ(ksim::BestCase(table, "A"), 3);  // a3 and a4 share the height; a4 is wider
    EXPECT_EQ(ksim::BestCase(table, "B"), 5);
    EXPECT_EQ(ksim::BestCase(table, "C"), -1);
    EXPECT_EQ(table.rows[6].problem, "no summary.json: kelvane-sim: channel x.s4p: cannot read");
    EXPECT_EQ(table.rows[7].problem, "not run");
    EXPECT_EQ(table.rows[1].figures.errorFree, ksim::Verdict::Fail);
    EXPECT_EQ(table.rows[1].figures.errors, 5.0);

    // A sweep folder names its cases by its job file, run or not; another folder is searched.
    EXPECT_EQ(ksim::FindCaseFolders({p}), (Words{p + "a1", p + "failed", p + "never"}));
    std::remove((p + "jobs.txt").c_str());
    EXPECT_EQ(ksim::FindCaseFolders({dir.path()}), (Words{p + "a1", p + "a2", p + "a3", p + "a4", p + "b1", p + "b2"}));
    EXPECT_EQ(ksim::FindCaseFolders({p + "a2/"}), (Words{p + "a2"}));
    EXPECT_THROW(ksim::FindCaseFolders({p + "never"}), std::runtime_error);

    // Figures at a BER of 1e-12, once every case of the channel has them, rank instead of the folded eye.
    OrderedJson low = Summary("C", {{"c1", "0"}}, true, 0.30, 0.5), high = Summary("C", {{"c1", "1"}}, true, 0.20, 0.5);
    low["bathtub"] = {{"height_v_at_1e-12", 0.05}, {"width_ui_at_1e-12", 0.3}};
    high["bathtub"] = {{"height_v_at_1e-12", 0.08}, {"width_ui_at_1e-12", 0.3}};
    WriteSummary(p + "c1", low);
    WriteSummary(p + "c2", high);
    EXPECT_EQ(ksim::BestCase(ksim::BuildCaseTable({p + "c1", p + "c2"}), "C"), 1);

    // Decisions never matched to the sent bits: no BER, so no best case, however open the folded eye looks.
    OrderedJson unaligned = Summary("D", {{"c1", "0"}}, false, 0.53, 0.98);
    unaligned["ber"]["bits_compared"] = 0;
    unaligned["warnings"] = {"the receiver applies DFEtap1 = 0, not the 0.15 asked for"};
    WriteSummary(p + "d1", unaligned);
    WriteSummary(p + "d2", unaligned);
    const ksim::CaseTable d = ksim::BuildCaseTable({p + "d1", p + "d2"});
    EXPECT_EQ(ksim::BestCase(d, "D"), -1);
    const std::string html = ksim::SweepReportHtml(d, "t", dir.path());
    EXPECT_NE(html.find("No best setting"), std::string::npos);
    EXPECT_NE(html.find("<li>the receiver applies DFEtap1 = 0, not the 0.15 asked for <span class=\"nm\">(2 cases)"), std::string::npos);
}

TEST(SimSweep, HeatMapsPlaceEachCaseInItsCellAndHoldOtherSettingsAtTheBest) {
    ScopedTempDir dir;
    Words folders;
    // eye height = 10 c1 + cm1 mV with c0 = 15; 3 mV less with c0 = 14; c1 = 10 sorts after 9.
    for (const char* c0 : {"14", "15"})
        for (const char* c1 : {"9", "10"})
            for (const char* cm1 : {"0", "2"}) {
                const std::string folder = dir.path() + "/" + c0 + c1 + cm1;
                const double mv = 10 * std::stod(c1) + std::stod(cm1) - (std::string(c0) == "14" ? 3 : 0);
                WriteSummary(folder, Summary("A", {{"c1", c1}, {"cm1", cm1}, {"c0", c0}}, true, mv * 1e-3, 0.5));
                folders.push_back(folder);
            }
    const ksim::CaseTable table = ksim::BuildCaseTable(folders);
    ASSERT_EQ(table.sweptSettings, (Words{"tx.c1", "tx.cm1", "tx.c0"}));
    const int best = ksim::BestCase(table, "A");
    EXPECT_EQ(table.rows[best].name, "15102");
    const std::vector<ksim::HeatGrid> grids = ksim::ChannelHeatGrids(table, "A", best);
    ASSERT_GE(grids.size(), 4u);
    EXPECT_EQ(grids[0].xValues, (Words{"9", "10"}));
    EXPECT_EQ(grids[0].yValues, (Words{"0", "2"}));
    const std::vector<double> expected = {90, 100, 92, 102};  // rows cm1 0, 2; columns c1 9, 10; c0 held at 15
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(grids[0].z[i], expected[i], 1e-9) << i;
    EXPECT_EQ(grids[0].text[3], "102");
    const std::string html = ksim::SweepReportHtml(table, "t", dir.path());
    EXPECT_NE(html.find("Best setting: <b>tx.c1 = 10, tx.cm1 = 2, tx.c0 = 15</b>"), std::string::npos);
    EXPECT_NE(html.find("The maps hold tx.c0 = 15"), std::string::npos);
    EXPECT_EQ(html.find("Warnings from the cases"), std::string::npos);
    EXPECT_NE(ksim::CaseTableCsv(table).find("\"15102\",\"A\",\"10\",\"2\",\"15\",pass,0,1000,0,0.003,0.102,0.5"), std::string::npos);
}

TEST(SimCompare, DifferencesAreFoundKeyByKeyAndGrouped) {
    const OrderedJson first = OrderedJson::parse(R"j({"parameters":{"tx":"(c1 0)"},"eye":{"height_v":0.1,"width_ui":0.5},
        "clock":{"period_trace":{"period_ui":[1,1,1,1,1,1,1,1,1,1]}},"adaptation":{"steps":[{"merit":1},{"merit":2}]},
        "performance":{"wall_seconds":3},"gone":true})j");
    const OrderedJson second = OrderedJson::parse(R"j({"parameters":{"tx":"(c1 4)"},"eye":{"height_v":0.125,"width_ui":0.5},
        "clock":{"period_trace":{"period_ui":[1,1,1,1,1,1,1,1,1,1.002]}},"adaptation":{"steps":[{"merit":1},{"merit":3},{"merit":4}]},
        "performance":{"wall_seconds":3},"bathtub":{"width_ui_at_1e-12":0.4}})j");
    const ksim::Comparison c = ksim::CompareSummaries(first, second);
    std::vector<std::string> found;
    for (const ksim::Difference& d : c.differences)
        found.push_back(std::string(ksim::GroupName(d.group)) + " " + d.path + " " + ksim::ValueText(d.first) + " -> " +
                        ksim::ValueText(d.second) + (ksim::ChangeText(d.first, d.second).empty() ? "" : " " + ksim::ChangeText(d.first, d.second)));
    EXPECT_EQ(found, (Words{"settings parameters/tx (c1 0) -> (c1 4)",
                            "figures eye/height_v 0.1 -> 0.125 +0.025 (+25 %)",
                            "figures clock/period_trace/period_ui [10 values] -> [10 values] largest change 0.002",
                            "figures gone true -> (absent)",
                            "figures bathtub/width_ui_at_1e-12 (absent) -> 0.4",
                            "adaptation adaptation/steps/1/merit 2 -> 3 +1 (+50 %)",
                            "adaptation adaptation/steps/2/merit (absent) -> 4"}));
    EXPECT_EQ(c.equalKeys, 3u);  // eye width, the first step's merit, the wall time
    EXPECT_NE(ksim::ComparisonText(c, "r1", "r2", 1).find("  ... and 3 more\n"), std::string::npos);
    EXPECT_NE(ksim::ComparisonText(c, "r1", "r2", 1).find("figures\n  eye/height_v"), std::string::npos);
}

// The real program: a sweep of two tiny cases, its job file run again by GNU parallel, collected, compared.
TEST(SimSweep, SweepJobFileParallelCollectAndCompareEndToEnd) {
    ScopedTempDir dir;
    const std::string sim = KELVANE_SIM;
    int code = -1;
    const std::string swept = Output(sim + " sweep --tx c1=0,4 --bits 3000 --max-bits 3000 -j 2 -o sw", &code);
    ASSERT_EQ(code, 0) << swept;
    EXPECT_NE(swept.find("[2/2] analytic,tx.c1="), std::string::npos) << swept;
    EXPECT_NE(dir.Read("sw/report.html").find("analytic,tx.c1=4"), std::string::npos);
    EXPECT_NE(dir.Read("sw/cases/analytic,tx.c1=4/summary.json").find("\"c1\""), std::string::npos);

    const std::string compared = Output(sim + " compare 'sw/cases/analytic,tx.c1=0' 'sw/cases/analytic,tx.c1=4' -o cmp", &code);
    EXPECT_EQ(code, 0) << compared;
    EXPECT_NE(compared.find("applied_parameters/tx/c1/requested"), std::string::npos) << compared;
    EXPECT_NE(dir.Read("cmp/compare.html").find("applied_parameters/tx/c1/applied"), std::string::npos);

    // The same cases from the job file alone, as a scheduler on other machines runs them.
    EXPECT_NE(Output(sim + " sweep --tx c1=0,4 --bits 3000 --max-bits 3000 -o jobs --job-file-only", &code).find("jobs.txt"), std::string::npos);
    EXPECT_EQ(code, 0);
    if (Output("command -v parallel").empty()) GTEST_SKIP() << "GNU parallel is not installed";
    const std::string ran = Output("grep -v '^#' jobs/jobs.txt | parallel --will-cite -j 2", &code);
    ASSERT_EQ(code, 0) << ran;
    const std::string collected = Output(sim + " collect jobs", &code);
    ASSERT_EQ(code, 0) << collected;
    EXPECT_NE(collected.find("collected    2 cases"), std::string::npos) << collected;
    const std::string csv = dir.Read("jobs/cases.csv");
    EXPECT_NE(csv.find("\"analytic,tx.c1=0\""), std::string::npos) << csv;
    // Both routes ran the same cases to the same bits.
    EXPECT_EQ(Output(sim + " compare 'sw/cases/analytic,tx.c1=4' 'jobs/cases/analytic,tx.c1=4' | grep -c '^  ber/'"), "0\n");
}
