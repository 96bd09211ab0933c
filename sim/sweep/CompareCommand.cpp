#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "sim/report/FileOutput.h"
#include "sim/sweep/CompareReport.h"
#include "sim/sweep/RunComparison.h"
#include "sim/sweep/SweepCommands.h"

namespace ksim {

namespace {

const char kCompareHelp[] =
    "usage: kelvane-sim compare RUN1 RUN2 [-o FOLDER] [--all]\n"
    "Prints what differs between two runs' summaries (settings, figures, adaptation), and writes compare.html\n"
    "with the differences and plots of both runs' adaptation and recovered clock. RUN is a run folder or its\n"
    "summary.json.\n"
    "  -o, --out FOLDER   where compare.html goes (default: no page, only the printed differences)\n"
    "  --all              print every difference (default: at most 40 per group)\n";

std::string SummaryPath(const std::string& run) {
    struct stat info;
    if (stat(run.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return run + "/summary.json";
    return run;
}

}  // namespace

int RunCompareCommand(const std::vector<std::string>& args) {
    std::vector<std::string> runs;
    std::string out;
    bool all = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "-h" || word == "--help") return std::fputs(kCompareHelp, stdout), 0;
        if ((word == "-o" || word == "--out") && i + 1 < args.size()) out = args[++i];
        else if (word == "--all") all = true;
        else if (!word.empty() && word[0] == '-') return std::fprintf(stderr, "kelvane-sim compare: unknown option %s\n%s", word.c_str(), kCompareHelp), 2;
        else runs.push_back(word);
    }
    if (runs.size() != 2) return std::fputs(kCompareHelp, stderr), 2;
    try {
        const OrderedJson first = ReadJsonFile(SummaryPath(runs[0]));
        const OrderedJson second = ReadJsonFile(SummaryPath(runs[1]));
        const Comparison comparison = CompareSummaries(first, second);
        std::fputs(ComparisonText(comparison, runs[0], runs[1], all ? 0 : 40).c_str(), stdout);
        if (!out.empty()) {
            if (mkdir(out.c_str(), 0755) != 0 && errno != EEXIST)
                throw std::runtime_error("cannot create the folder " + out + ": " + std::strerror(errno));
            WriteTextFile(out + "/compare.html", CompareReportHtml(comparison, first, second, runs[0], runs[1]));
            std::printf("report       %s/compare.html\n", out.c_str());
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-sim compare: %s\n", e.what());
        return 1;
    }
}

}  // namespace ksim
