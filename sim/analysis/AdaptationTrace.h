#pragma once

// The receiver's adaptation judged from its trace file "adapt.txt": the measurement of every step, the
// chosen equaliser setting, the final DFE taps and whether the adaptation has finished.
//
// The file (its format: rx/AdaptTraceFile.h) holds a header line for every receiver start, then one line per
// eye measurement with the settings it was made under and its result. Only the last start's lines (those
// after the last header) are read.

#include <string>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

// The receiver parameters the replay of the adaptation rules needs; the defaults are the receiver's.
struct AdaptationSettings {
    bool ctleAdapt = true;   // CTLEAdapt 1: the equaliser sweep runs
    bool dfeAdapt = true;    // DFEAdapt 1: the DFE tap search runs
    double dfeLsb = 0.01;    // DFElsb: one tap step [V], > 0
    int tap1Limit = 31;      // DFETap1Limit truncated: bound of tap 1 [DFElsb steps]; taps 2 to 5 have 15
};

// How the trace is judged. The adaptation rules are replayed on the logged measurements:
// - Sweep (ctleAdapt): the first 16 lines measure table indexes 0 to 15; the chosen index is the one with
//   the best merit (EyeMerit) among indexes 0 to 14 (ties to the higher index; index 15 is measured but
//   never chosen). Its column is the CTLE field logged for it.
//   Without the sweep, the index and column are those of the first line.
// - Tap search (dfeAdapt), from the first line after the sweep, starting from the taps that line logs: the
//   receiver's own climb (rx/DfeTapClimb.h) replayed on the logged merits; it is over when the last tap hands
//   over.
// Each line logs the taps the previous step left, so where a next line exists the replay takes the branch
// those taps show (the logged merits have six significant digits and can tie where the engine's did not);
// only the last step is decided by the merits alone.
//
// complete: the sweep's 16 lines exist (when it runs) and the tap search is over (when it runs); with
// neither running it is always true. finalStep: the line whose step left the final settings (-1 when not
// complete or when no step changes anything). finalTaps: the taps after the last logged step (the engine's
// taps now; the final ones when complete). replayConsistent is false, with the first disagreement in
// replayNote, when the trace does not follow the rules under these settings (wrong settings, or lines after
// the end); the summary then follows the logged lines.
//
// Throws std::runtime_error naming the file and line when the file cannot be read, has no header or holds
// a line that does not parse; a trace with a header and no lines is an adaptation that has not begun.
AdaptationSummary ParseAdaptationTrace(const std::string& path, const AdaptationSettings& settings = AdaptationSettings());

// The same on the file's text; sourceName names it in messages.
AdaptationSummary ParseAdaptationTraceText(const std::string& text, const std::string& sourceName,
                                           const AdaptationSettings& settings = AdaptationSettings());

// The judgement alone, on lines already read.
AdaptationSummary SummarizeAdaptation(const std::vector<AdaptationStep>& steps, const AdaptationSettings& settings);

}  // namespace ksim
