#include "sim/sweep/CaseTable.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "sim/report/NumberFormat.h"

namespace ksim {

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string BaseName(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path.substr(path.find_last_of('/') + 1);
}

std::vector<std::string> SubFolders(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && IsDirectory(folder + "/" + name)) names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void FindRunFolders(const std::string& folder, int depth, std::vector<std::string>& out) {
    for (const std::string& name : SubFolders(folder)) {
        const std::string sub = folder + "/" + name;
        if (IsFile(sub + "/summary.json")) out.push_back(sub);
        else if (depth > 1) FindRunFolders(sub, depth - 1, out);
    }
}

// The last word of a shell line, with single quotes undone: the case folder of a job line.
std::string LastWord(const std::string& line) {
    std::string word;
    bool quoted = false;
    for (char c : line) {
        if (c == '\'') quoted = !quoted;
        else if (c == ' ' && !quoted) word.clear();
        else word += c;
    }
    return word;
}

std::vector<std::string> JobFolders(const std::string& jobFile) {
    std::ifstream in(jobFile);
    std::vector<std::string> folders;
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') folders.push_back(LastWord(line));
    return folders;
}

std::string LastLogLine(const std::string& folder) {
    std::ifstream in(folder + "/run.log");
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last;
}

Verdict VerdictAt(const OrderedJson& summary, const std::string& path) {
    const OrderedJson* value = FindPath(summary, path);
    if (value != nullptr && value->is_object()) {
        for (const char* key : {"state", "verdict", "value"})
            if (value->contains(key)) return VerdictAt(*value, key);
        return Verdict::NotMeasured;
    }
    if (value == nullptr) return Verdict::NotMeasured;
    if (value->is_boolean()) return value->get<bool>() ? Verdict::Pass : Verdict::Fail;
    if (value->is_string()) {
        const std::string text = value->get<std::string>();
        if (text == "pass") return Verdict::Pass;
        if (text == "fail") return Verdict::Fail;
    }
    return Verdict::NotMeasured;
}

std::string ChannelLabel(const OrderedJson& s) {
    const OrderedJson* kind = FindPath(s, "channel/kind");
    const std::optional<double> loss = NumberAt(s, {"channel/loss_db_at_nyquist"});
    std::string label;
    if (kind != nullptr && kind->is_string() && kind->get<std::string>() == "analytic") {
        label = "analytic " + FormatGeneral(loss.value_or(0), 4) + " dB";
    } else {
        const OrderedJson* source = FindPath(s, "channel/source");
        std::string path = source != nullptr && source->is_string() ? source->get<std::string>() : "channel";
        path = path.substr(0, path.find(" ("));
        label = BaseName(path);
        const std::size_t dot = label.find_last_of('.');
        if (dot != std::string::npos && dot > 0) label.resize(dot);
    }
    const std::optional<double> extra = NumberAt(s, {"channel/extra_loss_db_at_nyquist"});
    if (extra && *extra > 0) label += " + " + FormatGeneral(*extra, 4) + " dB";
    return label;
}

void ReadSettings(const OrderedJson& s, CaseRow& row) {
    for (const char* side : {"tx", "rx"}) {
        const OrderedJson* applied = FindPath(s, std::string("applied_parameters/") + side);
        if (applied == nullptr || !applied->is_object()) continue;
        for (auto it = applied->begin(); it != applied->end(); ++it) {
            if (it.key() == "Rx_config") continue;  // set by the simulator for each receiver instance
            const OrderedJson* requested = FindPath(it.value(), "requested");
            if (requested == nullptr || requested->is_null()) continue;
            row.settings.emplace_back(std::string(side) + "." + it.key(),
                                      requested->is_string() ? requested->get<std::string>() : requested->dump());
        }
    }
}

CaseFigures ReadFigures(const OrderedJson& s) {
    CaseFigures f;
    f.errorFree = VerdictAt(s, "verdict/error_free");
    f.clockLocked = VerdictAt(s, "verdict/clock_locked");
    f.adaptationComplete = VerdictAt(s, "verdict/adaptation_complete");
    f.eyeHeightV = NumberAt(s, {"eye/height_v"});
    f.eyeWidthUi = NumberAt(s, {"eye/width_ui"});
    f.eyeHeight1e12V = NumberAt(s, {"bathtub/height_v_at_1e-12"});  // "not measured" (a text) reads as absent
    f.eyeWidth1e12Ui = NumberAt(s, {"bathtub/width_ui_at_1e-12"});
    f.errors = NumberAt(s, {"ber/errors"});
    f.bitsCompared = NumberAt(s, {"ber/bits_compared"});
    f.ber = NumberAt(s, {"ber/ber"});
    f.berLimit95 = NumberAt(s, {"ber/ber_limit_95"});
    f.equaliserIndex = NumberAt(s, {"adaptation/chosen_table_index"});
    f.equaliserColumn = NumberAt(s, {"adaptation/chosen_column"});
    f.dfeTap1V = NumberAt(s, {"adaptation/final_taps_v/0"});
    if (f.bitsCompared && *f.bitsCompared <= 0) f.ber.reset();  // nothing compared: no BER to show
    if (f.equaliserIndex && *f.equaliserIndex < 0) f.equaliserIndex.reset(), f.equaliserColumn.reset();
    return f;
}

// The settings a sweep's case name gives ("chan,tx.c1=3,rx.CTLE=5" -> tx.c1, rx.CTLE), in its order.
std::vector<std::string> SettingsNamed(const std::string& caseName) {
    std::vector<std::string> names;
    std::size_t start = caseName.find(',');
    while (start != std::string::npos) {
        const std::size_t end = caseName.find(',', start + 1);
        const std::string item = caseName.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        const std::size_t equals = item.find('=');
        if (equals != std::string::npos) names.push_back(item.substr(0, equals));
        start = end;
    }
    return names;
}

}  // namespace

std::string SettingOf(const CaseRow& row, const std::string& name) {
    for (const auto& setting : row.settings)
        if (setting.first == name) return setting.second;
    return "";
}

const char* VerdictText(Verdict verdict) {
    return verdict == Verdict::Pass ? "pass" : verdict == Verdict::Fail ? "fail" : "not measured";
}

CaseRow ReadCase(const std::string& folder) {
    CaseRow row;
    row.folder = folder;
    row.name = BaseName(folder);
    const std::string path = folder + "/summary.json";
    if (!IsFile(path)) {
        const std::string last = LastLogLine(folder);
        row.problem = IsDirectory(folder) ? "no summary.json" : "not run";
        if (!last.empty()) row.problem += ": " + last;
        return row;
    }
    try {
        row.summary = ReadJsonFile(path);
    } catch (const std::runtime_error& e) {
        row.problem = e.what();
        return row;
    }
    row.channel = ChannelLabel(row.summary);
    ReadSettings(row.summary, row);
    row.figures = ReadFigures(row.summary);
    if (const OrderedJson* warnings = FindPath(row.summary, "warnings"); warnings != nullptr && warnings->is_array())
        for (const OrderedJson& w : *warnings)
            if (w.is_string()) row.warnings.push_back(w.get<std::string>());
    return row;
}

std::vector<std::string> FindCaseFolders(const std::vector<std::string>& paths) {
    std::vector<std::string> folders;
    for (std::string path : paths) {
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        if (!IsDirectory(path)) throw std::runtime_error(path + " is not a folder");
        if (IsFile(path + "/summary.json")) folders.push_back(path);
        else if (IsFile(path + "/jobs.txt")) for (const std::string& f : JobFolders(path + "/jobs.txt")) folders.push_back(f);
        else FindRunFolders(path, 2, folders);
    }
    return folders;
}

CaseTable BuildCaseTable(const std::vector<std::string>& caseFolders) {
    CaseTable table;
    for (const std::string& folder : caseFolders) table.rows.push_back(ReadCase(folder));
    std::vector<std::string> seen;
    for (const CaseRow& row : table.rows) {
        if (row.summary.is_null()) continue;
        if (std::find(table.channels.begin(), table.channels.end(), row.channel) == table.channels.end())
            table.channels.push_back(row.channel);
        for (const auto& setting : row.settings)
            if (std::find(seen.begin(), seen.end(), setting.first) == seen.end()) seen.push_back(setting.first);
    }
    // A setting is swept when some case gives it another value than another case (or leaves it unset).
    for (const std::string& name : seen) {
        std::string first;
        bool firstSeen = false, varies = false;
        for (const CaseRow& row : table.rows) {
            if (row.summary.is_null()) continue;
            const std::string value = SettingOf(row, name);
            if (!firstSeen) first = value, firstSeen = true;
            else if (value != first) varies = true;
        }
        if (varies) table.sweptSettings.push_back(name);
    }
    for (const CaseRow& row : table.rows) {
        if (row.summary.is_null()) continue;
        const std::vector<std::string> named = SettingsNamed(row.name);
        auto rank = [&](const std::string& name) { return std::find(named.begin(), named.end(), name) - named.begin(); };
        std::stable_sort(table.sweptSettings.begin(), table.sweptSettings.end(),
                         [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
        break;
    }
    return table;
}

int BestCase(const CaseTable& table, const std::string& channel) {
    std::vector<int> candidates;
    for (std::size_t i = 0; i < table.rows.size(); ++i)
        if (!table.rows[i].summary.is_null() && table.rows[i].channel == channel) candidates.push_back(static_cast<int>(i));
    if (candidates.empty()) return -1;
    bool allAt1e12 = true;
    for (int i : candidates) allAt1e12 = allAt1e12 && table.rows[i].figures.eyeHeight1e12V && table.rows[i].figures.eyeWidth1e12Ui;
    const double none = -std::numeric_limits<double>::infinity();
    auto height = [&](const CaseFigures& f) { return (allAt1e12 ? f.eyeHeight1e12V : f.eyeHeightV).value_or(none); };
    auto width = [&](const CaseFigures& f) { return (allAt1e12 ? f.eyeWidth1e12Ui : f.eyeWidthUi).value_or(none); };
    auto ber = [](const CaseFigures& f) { return f.ber.value_or(1.0); };
    auto better = [&](int a, int b) {
        const CaseFigures& x = table.rows[a].figures;
        const CaseFigures& y = table.rows[b].figures;
        const bool cleanX = x.errorFree == Verdict::Pass, cleanY = y.errorFree == Verdict::Pass;
        if (cleanX != cleanY) return cleanX;
        if (!cleanX && ber(x) != ber(y)) return ber(x) < ber(y);
        if (height(x) != height(y)) return height(x) > height(y);
        return width(x) > width(y);
    };
    int best = candidates[0];
    for (int i : candidates)
        if (better(i, best)) best = i;
    const CaseFigures& f = table.rows[best].figures;
    return f.errorFree == Verdict::Pass || f.ber ? best : -1;
}

int FirstCase(const CaseTable& table, const std::string& channel) {
    for (std::size_t i = 0; i < table.rows.size(); ++i)
        if (!table.rows[i].summary.is_null() && table.rows[i].channel == channel) return static_cast<int>(i);
    return -1;
}

std::string BestCaseLine(const CaseTable& table, const std::string& channel) {
    const int best = BestCase(table, channel);
    if (best < 0) return "best         " + channel + ": none (no case ran error-free or had its errors counted)";
    return "best         " + channel + ": " + table.rows[best].name + " (error-free: " +
           VerdictText(table.rows[best].figures.errorFree) + ")";
}

}  // namespace ksim
