#pragma once

// The cases of a sweep (or any set of runs) read back from their summary.json files: each case's settings,
// its figures, and which settings vary across the set. What the sweep report and collect show.

#include <optional>
#include <string>
#include <vector>

#include "sim/sweep/FlatJson.h"

namespace ksim {

// A verdict as a run states it.
enum class Verdict { Pass, Fail, NotMeasured };

struct CaseFigures {
    Verdict errorFree = Verdict::NotMeasured, clockLocked = Verdict::NotMeasured, adaptationComplete = Verdict::NotMeasured;
    std::optional<double> eyeHeightV, eyeWidthUi;          // the folded eye's inner opening
    std::optional<double> eyeHeight1e12V, eyeWidth1e12Ui;  // the opening at a BER of 1e-12, when the run gives it
    std::optional<double> errors, bitsCompared, ber, berLimit95;  // berLimit95: the bound when no error was counted
    std::optional<double> equaliserIndex, equaliserColumn, dfeTap1V;
};

struct CaseRow {
    std::string name;      // the case folder's name
    std::string folder;    // as found
    std::string problem;   // why there is no summary ("" when there is one)
    std::string channel;   // short channel label ("DPO_4in_Meg7_THRU", "analytic 15 dB", "... + 8 dB")
    std::vector<std::pair<std::string, std::string>> settings;  // ("tx.c1", "3"): every parameter the run's
                                                                // string set, in the summary's order
    CaseFigures figures;
    std::vector<std::string> warnings;  // what the run warned about (a setting the model did not apply, ...)
    OrderedJson summary;   // null when there is none
};

struct CaseTable {
    std::vector<CaseRow> rows;
    std::vector<std::string> sweptSettings;  // settings whose value differs between cases: in the order the sweep's
                                             // case names give them, else in order of first sight
    std::vector<std::string> channels;       // labels in order of first sight
};

// Reads one run folder's summary.json into a row; a missing or unreadable one leaves `problem` set (with the
// last line of the folder's run.log when there is one).
CaseRow ReadCase(const std::string& folder);

// The folders to collect under the given paths: a run folder (it has summary.json) as it is; a sweep folder
// (it has jobs.txt) as the case folders its job file names, run or not; any other folder as the run folders
// inside it, two levels deep at most. Throws std::runtime_error for a path that is not a folder.
std::vector<std::string> FindCaseFolders(const std::vector<std::string>& paths);

CaseTable BuildCaseTable(const std::vector<std::string>& caseFolders);

// The figure a sweep ranks its cases by: error-free cases before the others, then the larger eye height
// (at 1e-12 where every compared case has it, else the folded eye's), then the wider eye. Returns the index
// of the best row of the channel, or -1 when none of its cases ran error-free or had its errors counted (a
// link whose decisions never matched the sent bits has no figure to rank by: its eye is no guide).
int BestCase(const CaseTable& table, const std::string& channel);
// The first row of the channel with a summary, or -1.
int FirstCase(const CaseTable& table, const std::string& channel);
// "best         <channel>: <case> (error-free: pass)", or the reason there is none; for the printed summary.
std::string BestCaseLine(const CaseTable& table, const std::string& channel);

const char* VerdictText(Verdict verdict);

// The value of a setting in a row, "" when its run did not set it.
std::string SettingOf(const CaseRow& row, const std::string& name);  // "pass", "fail", "not measured"

}  // namespace ksim
