#include "sim/analysis/AdaptationTrace.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "rx/KelvaneRx.h"

namespace ksim {

namespace {

const char* const kHeader = "VGA_GAIN EQ_HIGAIN ctleindex CTLE DFE1 DFE2 DFE3 DFE4 DFE5 HEO VEO";
constexpr int kSweepLines = kelvane_rx::kEqTableLength;  // every table index is measured
constexpr int kSweepCandidates = kelvane_rx::kSweepCandidates;
constexpr int kTapLimit = kelvane_rx::kTapBound;         // bound of taps 2 to 5 [DFElsb steps]
constexpr int kTaps = kelvane_rx::kDfeTaps;

bool ParseInt(const std::string& token, int& value) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(token.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || end == token.c_str() || v < -2147483647L || v > 2147483647L) return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseReal(const std::string& token, double& value) {
    char* end = nullptr;
    value = std::strtod(token.c_str(), &end);
    return *end == '\0' && end != token.c_str();
}

bool ParseLine(const std::string& line, AdaptationStep& step) {
    std::istringstream in(line);
    std::vector<std::string> tokens;
    for (std::string t; in >> t;) tokens.push_back(t);
    if (tokens.size() != 11) return false;
    bool ok = ParseInt(tokens[0], step.vgaGain) && ParseInt(tokens[1], step.eqHighGain) &&
              ParseInt(tokens[2], step.tableIndex) && ParseInt(tokens[3], step.ctleColumn);
    for (int i = 0; i < kTaps; ++i) ok = ok && ParseReal(tokens[static_cast<std::size_t>(4 + i)], step.taps[i]);
    return ok && ParseReal(tokens[9], step.heo) && ParseReal(tokens[10], step.veo);
}

// The tap search's state, as the engine keeps it.
struct TapSearch {
    double taps[kTaps] = {};
    int sign[kTaps] = {1, 1, 1, 1, 1};
    bool started[kTaps] = {};
    int tap = 0;              // tap under search; kTaps once all have handed over
    bool justMoved = true;
    bool endedByFall = false; // the fifth tap handed over by stepping back
};

// One step of the search. compared: the branch the comparison takes (true: the direction is kept, or the
// tap moves on; false: it reverses, or steps back).
TapSearch Step(TapSearch s, bool compared, double lsb, const double upper[kTaps]) {
    const int i = s.tap;
    if (i >= kTaps) return s;
    if (s.justMoved) {
        s.justMoved = false;
        s.taps[i] += s.sign[i] * lsb;
    } else if (!s.started[i]) {
        if (!compared) s.sign[i] = -s.sign[i];
        s.started[i] = true;
        s.taps[i] += s.sign[i] * lsb;
    } else if (compared) {
        s.taps[i] += s.sign[i] * lsb;
        if (s.taps[i] > upper[i] || s.taps[i] < -upper[i]) {
            s.taps[i] = s.taps[i] > upper[i] ? upper[i] : -upper[i];
            s.tap = i + 1;
            s.justMoved = true;
        }
    } else {
        s.taps[i] -= s.sign[i] * lsb;
        s.tap = i + 1;
        s.justMoved = true;
        s.endedByFall = s.tap == kTaps;
    }
    return s;
}

// The comparison as the engine makes it (a NaN merit fails both tests alike).
bool Compare(const TapSearch& s, double merit, double previousMerit) {
    if (s.tap < kTaps && !s.justMoved && !s.started[s.tap]) return !(merit < previousMerit);
    return merit >= previousMerit;
}

bool TapsMatch(const double a[kTaps], const double b[kTaps], double lsb) {
    for (int i = 0; i < kTaps; ++i)
        if (!(std::fabs(a[i] - b[i]) <= 0.01 * lsb)) return false;  // the trace keeps six significant digits
    return true;
}

void Disagree(AdaptationSummary& s, const std::string& note) {
    if (!s.replayConsistent) return;
    s.replayConsistent = false;
    s.replayNote = note;
}

std::string LineName(std::size_t index) { return "measurement " + std::to_string(index + 1); }

// The sweep's choice; returns the index of the first line after the sweep.
std::size_t ReplaySweep(const std::vector<AdaptationStep>& steps, AdaptationSummary& summary) {
    for (int k = 0; k < kSweepLines && static_cast<std::size_t>(k) < steps.size(); ++k)
        if (steps[static_cast<std::size_t>(k)].tableIndex != k)
            Disagree(summary, LineName(static_cast<std::size_t>(k)) + " of the sweep logs table index " +
                                  std::to_string(steps[static_cast<std::size_t>(k)].tableIndex) + ", not " +
                                  std::to_string(k));
    if (steps.size() < static_cast<std::size_t>(kSweepLines)) return steps.size();

    int best = 0;
    double bestMerit = 0.0;
    for (int k = 0; k < kSweepCandidates; ++k) {
        const double merit = steps[static_cast<std::size_t>(k)].Merit();
        if (merit >= bestMerit) {
            best = k;
            bestMerit = merit;
        }
    }
    summary.chosenTableIndex = best;
    summary.chosenColumn = steps[static_cast<std::size_t>(best)].ctleColumn;
    if (steps.size() > static_cast<std::size_t>(kSweepLines)) {
        const AdaptationStep& after = steps[kSweepLines];
        if (after.tableIndex != best)
            Disagree(summary, "the sweep's merits choose table index " + std::to_string(best) + " but " +
                                  LineName(kSweepLines) + " uses " + std::to_string(after.tableIndex));
        summary.chosenTableIndex = after.tableIndex;
        summary.chosenColumn = after.ctleColumn;
    }
    return kSweepLines;
}

// The tap search from line first on; fills finalTaps, complete and finalStep.
void ReplayTapSearch(const std::vector<AdaptationStep>& steps, std::size_t first, const AdaptationSettings& settings,
                     AdaptationSummary& summary) {
    if (first >= steps.size()) return;
    const double lsb = settings.dfeLsb;
    double upper[kTaps];
    upper[0] = settings.tap1Limit * lsb;
    for (int i = 1; i < kTaps; ++i) upper[i] = kTapLimit * lsb;

    TapSearch search;
    std::copy(steps[first].taps, steps[first].taps + kTaps, search.taps);
    double previousMerit = 0.0;
    std::size_t k = first;
    for (; k < steps.size(); ++k) {
        const double merit = steps[k].Merit();
        const bool compared = Compare(search, merit, previousMerit);
        TapSearch next = Step(search, compared, lsb, upper);
        if (k + 1 < steps.size() && !TapsMatch(next.taps, steps[k + 1].taps, lsb)) {
            const TapSearch other = Step(search, !compared, lsb, upper);
            if (TapsMatch(other.taps, steps[k + 1].taps, lsb)) {
                next = other;
            } else {
                Disagree(summary, "the taps of " + LineName(k + 1) + " do not follow from the step after " +
                                      LineName(k) + " (DFElsb " + std::to_string(lsb) + ", tap 1 limit " +
                                      std::to_string(settings.tap1Limit) + ")");
                std::copy(steps[k + 1].taps, steps[k + 1].taps + kTaps, next.taps);
            }
        }
        search = next;
        previousMerit = merit;
        if (search.tap >= kTaps) break;
    }
    std::copy(search.taps, search.taps + kTaps, summary.finalTaps);
    if (search.tap < kTaps) return;

    summary.complete = true;
    summary.finalStep = static_cast<int>(k);
    // After a final step back the engine measures no more; after a bound it measures once more, idly.
    const std::size_t expectedLines = k + (search.endedByFall ? 1 : 2);
    if (steps.size() > expectedLines)
        Disagree(summary, "the tap search ended at " + LineName(k) + " but the trace goes on to " +
                              LineName(steps.size() - 1));
}

}  // namespace

AdaptationSummary SummarizeAdaptation(const std::vector<AdaptationStep>& steps, const AdaptationSettings& settings) {
    if (!(settings.dfeLsb > 0.0)) throw std::runtime_error("the DFE tap step (DFElsb) must be positive");
    AdaptationSummary summary;
    summary.steps = steps;
    if (!steps.empty()) std::copy(steps.back().taps, steps.back().taps + kTaps, summary.finalTaps);

    std::size_t firstTapStep = 0;
    if (settings.ctleAdapt) {
        firstTapStep = ReplaySweep(steps, summary);
    } else if (!steps.empty()) {
        summary.chosenTableIndex = steps.front().tableIndex;
        summary.chosenColumn = steps.front().ctleColumn;
    }
    const bool sweepDone = !settings.ctleAdapt || steps.size() >= static_cast<std::size_t>(kSweepLines);

    if (settings.dfeAdapt) {
        if (sweepDone) ReplayTapSearch(steps, firstTapStep, settings, summary);
        return summary;
    }
    // No tap search: the work ends with the sweep (or never begins), then one idle measurement follows.
    summary.complete = sweepDone;
    if (settings.ctleAdapt && sweepDone) summary.finalStep = kSweepLines - 1;
    const std::size_t expectedLines = settings.ctleAdapt ? kSweepLines + 1 : 1;
    if (steps.size() > expectedLines)
        Disagree(summary, "the adaptation ends after " + std::to_string(expectedLines) + " measurements but the trace has " +
                              std::to_string(steps.size()));
    return summary;
}

AdaptationSummary ParseAdaptationTraceText(const std::string& text, const std::string& sourceName,
                                           const AdaptationSettings& settings) {
    std::istringstream in(text);
    std::string line;
    std::vector<AdaptationStep> steps;
    bool header = false;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == kHeader) {
            header = true;
            steps.clear();
            continue;
        }
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (!header) throw std::runtime_error(sourceName + ":" + std::to_string(number) + ": data before the header line");
        AdaptationStep step;
        if (!ParseLine(line, step))
            throw std::runtime_error(sourceName + ":" + std::to_string(number) +
                                     ": expected 4 integers and 7 numbers (settings, DFE1 to DFE5, HEO, VEO)");
        steps.push_back(step);
    }
    if (!header) throw std::runtime_error(sourceName + ": no adaptation trace header (\"" + std::string(kHeader) + "\")");
    return SummarizeAdaptation(steps, settings);
}

AdaptationSummary ParseAdaptationTrace(const std::string& path, const AdaptationSettings& settings) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error(path + ": cannot open the adaptation trace");
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) throw std::runtime_error(path + ": cannot read the adaptation trace");
    return ParseAdaptationTraceText(text.str(), path, settings);
}

}  // namespace ksim
