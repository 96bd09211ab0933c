#pragma once

// The recovered clock judged from its edge times: period and phase over time, lock, frequency and jitter.

#include <cstddef>
#include <vector>

#include "sim/SimResults.h"
#include "sim/analysis/Series.h"

namespace ksim {

struct ClockLockCriteria {
    double periodToleranceUi = 0.25;   // each period after lock within 1 UI ± this [UI], > 0
    double phaseToleranceUi = 0.25;    // each edge after lock within this of the fitted grid [UI], > 0
    std::size_t minLockedEdges = 32;   // fewer edges after the lock point count as not locked, >= 3
};

// edgeTimes: times of one kind of clock edge [s], in increasing order; bitTime [s], > 0 (throws
// std::runtime_error otherwise).
//
// Fills timesS, periodsUi (t[i] - t[i-1] over the bit time, for i >= 1) and phaseUi (t / bitTime minus the
// nearest integer, i.e. the phase against the grid of bit times counted from time 0, in -0.5 .. 0.5).
//
// Lock. The lock edge is found as follows:
//   1. p = the first edge after the last period that leaves 1 UI ± periodToleranceUi (edge 0 when none does).
//   2. Fit an ideal grid t ≈ a + b·j to the edges j >= p by least squares; q = the first edge after the last
//      edge j >= p whose distance from the grid exceeds phaseToleranceUi (p when none does).
//   3. While q > p: p = q and repeat step 2 (at most 64 rounds; a lock edge still moving then counts as not
//      locked).
// The clock is locked when at least minLockedEdges edges remain from the lock edge on; lockTimeS is the
// time of the lock edge (lockEdge its index). Every period and every grid distance from there to the end
// is thus within its tolerance.
//
// After lock (all zero when not locked): meanPeriodUi = (t[last] - t[lock]) / (edges - 1 - lock) over the
// bit time; frequencyOffsetPpm = (meanPeriodUi - 1)·1e6, positive when the clock runs slower than the bit
// rate; rmsJitterUi and peakToPeakJitterUi = RMS and peak-to-peak distance of the edges from the grid fitted
// to the locked edges [UI]. stuck: locked from edge 0 with an RMS jitter below 0.002 UI, i.e. the loop never
// moved (a working loop dithers by some hundredths of a unit interval).
ClockAnalysis AnalyzeClock(const std::vector<double>& edgeTimes, double bitTime,
                           const ClockLockCriteria& criteria = ClockLockCriteria());

// The same on edge times too many to hold in memory. The figures are those above; the plot series timesS,
// phaseUi and periodsUi keep every plotStride-th edge only, with the mean period since the previous kept
// edge, so that they stay bounded however long the run.
ClockAnalysis AnalyzeClock(const Series<double>& edgeTimes, double bitTime, const ClockLockCriteria& criteria,
                           std::size_t plotStride);

}  // namespace ksim
