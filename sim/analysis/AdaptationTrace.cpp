#include "sim/analysis/AdaptationTrace.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "rx/AdaptTraceFile.h"
#include "rx/KelvaneRx.h"

namespace ksim {

namespace {

constexpr int kSweepLines = kelvane_rx::kEqTableLength;  // every table index is measured
constexpr int kSweepCandidates = kelvane_rx::kSweepCandidates;
constexpr int kTaps = kelvane_rx::kDfeTaps;

// A measurement line of the trace as the simulator keeps it; false when a field does not fit.
bool ToStep(const AdaptTraceRecord& record, AdaptationStep& step) {
    if (record.equaliserCode < INT_MIN || record.equaliserCode > INT_MAX) return false;
    step.vgaGain = record.vgaGain;
    step.eqHighGain = record.eqHighGain;
    step.tableIndex = record.equaliserIndex;
    step.ctleColumn = static_cast<int>(record.equaliserCode);
    std::copy(record.taps, record.taps + kTaps, step.taps);
    step.heo = record.heo;
    step.veo = record.veo;
    return true;
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
    const DfeTapClimb::Limits limits = DfeTapClimb::Limits::InSteps(lsb, settings.tap1Limit, kelvane_rx::kTapBound);

    DfeTapClimb search;
    std::copy(steps[first].taps, steps[first].taps + kTaps, search.taps);
    double previousMerit = 0.0;
    std::size_t k = first;
    for (; k < steps.size(); ++k) {
        const double merit = steps[k].Merit();
        const bool goesOn = search.GoesOn(merit, previousMerit);
        DfeTapClimb next = search;
        next.Step(goesOn, limits);
        if (k + 1 < steps.size() && !TapsMatch(next.taps, steps[k + 1].taps, lsb)) {
            DfeTapClimb other = search;
            other.Step(!goesOn, limits);
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
        if (search.Over()) break;
    }
    std::copy(search.taps, search.taps + kTaps, summary.finalTaps);
    if (!search.Over()) return;

    summary.complete = true;
    summary.finalStep = static_cast<int>(k);
    // After a final step back the engine measures no more; after a bound it measures once more, idly.
    const std::size_t expectedLines = k + (search.endedByStepBack ? 1 : 2);
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
        AdaptTraceRecord record;
        const AdaptTraceLineKind kind = ReadAdaptTraceLine(line, record);
        if (kind == AdaptTraceLineKind::Header) {
            header = true;
            steps.clear();
            continue;
        }
        if (kind == AdaptTraceLineKind::Blank) continue;
        if (!header) throw std::runtime_error(sourceName + ":" + std::to_string(number) + ": data before the header line");
        AdaptationStep step;
        if (kind != AdaptTraceLineKind::Measurement || !ToStep(record, step))
            throw std::runtime_error(sourceName + ":" + std::to_string(number) +
                                     ": expected 4 integers and 7 numbers (settings, DFE1 to DFE5, HEO, VEO)");
        steps.push_back(step);
    }
    if (!header) throw std::runtime_error(sourceName + ": no adaptation trace header (\"" + std::string(kAdaptTraceHeaderLine) + "\")");
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
