#pragma once

// Feeds the BER eye while the run goes: folds the equalised signal at the recovered clock into one value per
// phase column for every unit interval, finds the bit each unit interval should carry from the PRBS itself
// (PatternSync, on the decisions at the sampling point), and adds an interval only once the pattern has
// been confirmed for the intervals after it, so that a clock slip costs the intervals around it, not a
// burst of made-up errors. Memory stays fixed.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

#include "sim/EyeStatistics.h"
#include "sim/analysis/BerEye.h"
#include "sim/analysis/PatternSync.h"
#include "sim/analysis/SampleHistory.h"

namespace ksim {

struct BathtubFolderSettings {
    double bitTime = 0;          // [s], > 0
    double sampleInterval = 0;   // [s], > 0
    int prbsOrder = 15;          // of the sent bits
    int waveDelaySamples = 1;    // the wave's sample i holds the signal of clock-time sample i - this, >= 0
    BerEyeOptions eye;
};

class BathtubFolder {
public:
    explicit BathtubFolder(const BathtubFolderSettings& settings);  // throws std::runtime_error on bad settings

    // Unit intervals whose falling edge comes before fromTime [s] are left out; a later call starts afresh.
    void SetFrom(double fromTime);
    void SetUntil(double untilTime) { until_ = untilTime; }  // intervals from here on [s] are left out
    void AddWave(const double* samples, std::size_t n);
    void AddEdges(const double* times, std::size_t n);   // falling clock edges [s], increasing
    BathtubAnalysis Finish();

private:
    struct Interval {
        double samplingTime, period;   // [s]
    };
    void FoldReady();
    void Fold(const Interval& interval);
    void Commit(std::size_t keep);
    void Trim();

    BathtubFolderSettings settings_;
    BerEye eye_;
    PatternSync sync_;
    double from_ = 0.0;
    double until_ = std::numeric_limits<double>::infinity();
    bool haveEdge_ = false;
    double lastEdge_ = 0.0;
    std::deque<Interval> waiting_;          // intervals waiting for their samples
    SampleHistory history_;                 // the wave samples the waiting intervals may still need
    // Intervals whose bit is not yet confirmed, oldest first, in a ring of kWindowBits + 1 rows of values.
    std::vector<double> unconfirmed_;
    std::vector<int> unconfirmedBits_;
    std::size_t unconfirmedFirst_ = 0, unconfirmedCount_ = 0;
    std::uint64_t unknown_ = 0;
};

}  // namespace ksim
