#pragma once

// Timing jitter as time-interval error (TIE): each event's distance from an ideal grid t = a + b·n fitted to
// the events by least squares (b takes up a frequency offset), its histogram, RMS and peak-to-peak, and its
// split into random and deterministic parts by a dual-Dirac fit: each tail of the TIE histogram is fitted
// as w·Q((mean - x) / sigma) on the Q scale (w searched over 0.1 .. 1); RJ is the mean of the two sigmas,
// DJ(dd) the distance between the two means (0 when they overlap), TJ at 1e-12 = DJ + 2 × 7.034 × RJ.

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/EyeStatistics.h"
#include "sim/analysis/Series.h"
#include "sim/analysis/SpillFile.h"

namespace ksim {

// times [s], increasing; events before fromTime or from untilTime on [s] are left out. Each event's grid index n follows from
// the one before by the nearest whole number of bit times between them (at least 1), so a data crossing
// may skip unit intervals without a transition. bitTime [s], > 0. Not measured with fewer than 16 events;
// the split not with fewer than 1000 or when a tail gives no line.
TieAnalysis AnalyzeTie(const Series<double>& times, double fromTime, double untilTime, double bitTime,
                       int histogramBins = 256);

// The equalised signal's crossings of 0 V, found while the run goes and kept on disk: between two samples
// on either side of 0 V the crossing is placed by a straight line, on the clock's time line. A crossing
// within half a bit time of the one before (noise at the threshold) is left out.
class DataCrossings {
public:
    // sampleInterval, bitTime [s], > 0; waveDelaySamples: the wave's sample i holds the signal of
    // clock-time sample i - this, >= 0; spillFolder: where the times are kept (empty: the temporary folder).
    DataCrossings(double sampleInterval, double bitTime, int waveDelaySamples, const std::string& spillFolder);
    void AddWave(const double* samples, std::size_t n);
    const SpillFile<double>& Times() const { return times_; }

private:
    double dt_, bitTime_;
    int delay_;
    std::uint64_t index_ = 0;     // of the next sample
    double previous_ = 0.0;
    bool havePrevious_ = false;
    bool haveCrossing_ = false;
    double lastCrossing_ = 0.0;
    SpillFile<double> times_;
};

}  // namespace ksim
