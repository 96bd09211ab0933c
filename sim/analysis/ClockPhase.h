#pragma once

// The recovered clock against the data it recovers: its phase on the sent bits' grid, lock judged by that
// phase settling, cycle slips and drift.

#include <cstddef>

#include "sim/SimResults.h"
#include "sim/analysis/Series.h"

namespace ksim {

struct PhaseLockCriteria {
    double toleranceUi = 0.1;           // a locked phase stays within ± this of its centre [UI], 0 < x < 0.5
    std::size_t minLockedEdges = 1000;  // fewer edges from the lock edge to the end are no lock, >= 2
    double slipHysteresisUi = 0.1;      // a slip counts once the phase is this far past half a UI [UI], 0..0.4
};

// edges: times of one kind of clock edge [s], increasing, one per clock period; bitTime [s], > 0: the
// nominal unit interval the periods are given in; dataUnitInterval [s], > 0: the sent bits' unit interval
// (the bit time shortened by the transmitter's clock offset). Bad arguments throw std::runtime_error.
//
// The phase of edge j against the data is d[j] = t[j] / dataUnitInterval - j [UI]: constant while the clock
// runs at the data's rate, moving while it runs faster or slower, never wrapped, so a clock that gains or
// loses a whole period shows as a step of one.
//
// Sets in clock:
// - edges, overallPeriodUi = (t[last] - t[0]) / (edges - 1) over bitTime, overallOffsetPpm = (that - 1)·1e6,
//   dataPeriodUi, dataOffsetPpm = the same period against the data's unit interval, driftUi = d[last] - d[0].
// - Slips: counting from d[0], a slip is the phase passing half a unit interval from the present reference
//   by more than slipHysteresisUi, after which the reference moves by one; slips counts each way,
//   slipTimesS the times of the edges where they count (the first 1000).
// - Lock: the lock edge p is the earliest from which every d[j] to the end lies within a band of width
//   2·toleranceUi; locked when at least minLockedEdges edges lie from p to the end. Then lockEdge = p,
//   lockTimeS = t[p], lockPhaseUi = the mean phase from p on wrapped to 0..1, meanPeriodUi = (t[last] - t[p]) /
//   (edges - 1 - p) over bitTime and frequencyOffsetPpm = (meanPeriodUi - 1)·1e6; without lock these four
//   are 0 and locked is false. phaseToleranceUi = toleranceUi.
// Other fields of clock are left as they are.
void JudgeClockAgainstData(const Series<double>& edges, double bitTime, double dataUnitInterval,
                           const PhaseLockCriteria& criteria, ClockAnalysis& clock);

}  // namespace ksim
