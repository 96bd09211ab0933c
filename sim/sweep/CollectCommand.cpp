#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "sim/sweep/CaseTable.h"
#include "sim/sweep/SweepCommands.h"
#include "sim/sweep/SweepReport.h"

namespace ksim {

namespace {

const char kCollectHelp[] =
    "usage: kelvane-sim collect [-o FOLDER] [--title TEXT] PATH...\n"
    "Merges the summary.json of finished runs into one sweep report (report.html, cases.csv). A PATH may be a\n"
    "run folder, a sweep folder (its job file names the cases, so cases that did not run are listed as such),\n"
    "or a folder holding run folders up to two levels down.\n"
    "  -o, --out FOLDER   where the report goes (default: the one PATH, unless that is a run folder)\n"
    "  --title TEXT       the report's title (default \"kelvane-sim sweep\")\n";

bool IsFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int RunCollectCommand(const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    std::string out, title = "kelvane-sim sweep";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "-h" || word == "--help") return std::fputs(kCollectHelp, stdout), 0;
        if ((word == "-o" || word == "--out" || word == "--title") && i + 1 < args.size()) {
            (word == "--title" ? title : out) = args[++i];
        } else if (!word.empty() && word[0] == '-') {
            std::fprintf(stderr, "kelvane-sim collect: unknown option %s\n%s", word.c_str(), kCollectHelp);
            return 2;
        } else {
            paths.push_back(word);
        }
    }
    if (paths.empty()) return std::fputs(kCollectHelp, stderr), 2;
    if (out.empty()) {
        if (paths.size() > 1 || IsFile(paths[0] + "/summary.json")) {
            std::fprintf(stderr, "kelvane-sim collect: name the report's folder with -o\n");
            return 2;
        }
        out = paths[0];
    }
    try {
        const std::vector<std::string> folders = FindCaseFolders(paths);
        if (folders.empty()) throw std::runtime_error("no run folders (with a summary.json) found");
        if (mkdir(out.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("cannot create the folder " + out + ": " + std::strerror(errno));
        const CaseTable table = BuildCaseTable(folders);
        WriteSweepReport(table, title, out);
        std::size_t missing = 0;
        for (const CaseRow& row : table.rows) missing += row.summary.is_null() ? 1 : 0;
        std::printf("collected    %zu cases%s\n", table.rows.size(),
                    missing ? (", " + std::to_string(missing) + " without a result").c_str() : "");
        for (const std::string& channel : table.channels) {
            std::printf("%s\n", BestCaseLine(table, channel).c_str());
        }
        std::printf("report       %s/report.html\n", out.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-sim collect: %s\n", e.what());
        return 1;
    }
}

}  // namespace ksim
