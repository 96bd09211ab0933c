#pragma once

// The eye diagram of the equalised signal folded at the recovered clock, and its inner opening.

#include <vector>

#include "tools/sim/SimResults.h"

namespace ksim {

struct EyeOptions {
    int phaseBins = 128;        // density columns over the 2 UI, >= 2
    int levelBins = 128;        // density rows, >= 2
    int waveDelaySamples = 1;   // the wave's sample i holds the signal of clock-time sample i - this, >= 0
    double levelMargin = 0.1;   // the level range is ±(1 + this) × the largest |sample| folded in, >= 0
};

// wave: the equalised signal [V], sample i at time (i - waveDelaySamples) × sampleInterval on the clock's
// time line; sampleInterval [s], > 0; fallingEdgeTimes [s], increasing; fromTime [s]: unit intervals whose
// falling edge comes earlier are left out (adaptation, settling). Bad options or sample interval throw
// std::runtime_error.
//
// Folding. Each falling edge f[j] at or after fromTime with a successor opens a unit interval of local period
// P = f[j+1] - f[j]; its sampling point is s = f[j] + P/2, and the samples within s ± P (joined by straight
// lines) form one trace at phase (t - s) / P [UI], -1 .. 1. Intervals whose P lies outside 0.5 to 1.5 times
// the median period (a missed or extra edge) and traces reaching past either end of the wave are skipped.
// Each trace adds one count per density column, at the level of its line at the column's centre phase.
// Rows run from levelMaxV (row 0) down to levelMinV = -levelMaxV; a wave of zeros gets ±1 V.
//
// Opening, against the decision threshold 0 V:
// - Width: the crossing-free span around the sampling point. Every place where a trace's line passes from
//   above 0 to at or below 0, or back, is a crossing; widthLeftUi is the latest crossing at or before phase 0
//   (-1 when none), widthRightUi the earliest at or after it (+1 when none), widthUi their distance.
// - Height: each trace's line at phase 0 is an upper value (> 0) or a lower one (<= 0); heightUpperV is the
//   lowest upper value, heightLowerV the highest lower one, heightV their distance.
// - The eye is closed (all four bounds, heightV and widthUi 0) when the crossing-free span is narrower than
//   one sample interval (the traces are known only at their samples; a crossing at phase 0 itself gives
//   none at all), or when the traces at phase 0 lie all on one side of the threshold.
// The threshold classification sees the opening the traces leave around 0 V; an eye shut by interference so
// strong that a bit lands on the wrong side without crossing near the sampling point shows in the BER instead.
EyeAnalysis FoldEye(const std::vector<double>& wave, double sampleInterval, const std::vector<double>& fallingEdgeTimes,
                    double fromTime, const EyeOptions& options = EyeOptions());

}  // namespace ksim
