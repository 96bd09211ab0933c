#pragma once

// The eye diagram of the equalised signal folded at the recovered clock, and its inner opening.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/SimResults.h"
#include "sim/analysis/SampleHistory.h"

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

namespace ksim {

// FoldEye on a wave and clock edges that arrive piece by piece, keeping only the samples the traces still
// need. The level range is fixed once the traces of the first rangeSamples samples after the first folded
// interval (or rangeSamples / 16 traces, if fewer) are in: from then on the median period (for skipping missed or extra edges) and the level range
// come from those traces, and later samples beyond the range land in the top or bottom row. With all the
// samples within rangeSamples the result equals FoldEye's.
class EyeFolder {
public:
    // sampleInterval [s], > 0; rangeSamples: samples that set the level range (SIZE_MAX: all).
    EyeFolder(double sampleInterval, const EyeOptions& options, std::size_t rangeSamples);

    // Starts the fold afresh: unit intervals whose falling edge comes before fromTime [s] are left out.
    // Edges and samples given before stay given.
    void SetFrom(double fromTime);
    // Unit intervals whose falling edge comes after untilTime [s] are left out (until SetFrom is called).
    void SetUntil(double untilTime) { until_ = untilTime; }
    // The edges given next do not follow on from those before: no unit interval spans the gap.
    void Break() { haveEdge_ = false; }
    void AddWave(const double* samples, std::size_t n);   // the next samples of the wave
    void AddEdges(const double* times, std::size_t n);    // the next falling edges [s], increasing
    EyeAnalysis Finish();

private:
    struct Trace {
        double samplingTime;          // [s]
        double period;                // [s]
        std::uint64_t first, last;    // wave samples covering samplingTime ± period
    };
    static constexpr double kKeptSamples = 4096;  // kept before the newest sample beyond two periods

    void AddInterval(double edge, double period);
    void FixRange();
    void BinReadyTraces();
    void BinTrace(const Trace& trace);
    void Trim();
    std::uint64_t SamplesAfter(std::uint64_t index) const;
    double Sample(std::uint64_t index) const { return history_.At(index); }

    double dt_;
    EyeOptions options_;
    std::size_t rangeSamples_;
    double from_ = 0.0;
    double until_ = 0.0;
    SampleHistory history_;             // the wave samples the traces may still need
    bool haveEdge_ = false;
    double lastEdge_ = 0.0;
    double maxPeriod_ = 0.0;            // longest plausible period seen [s]
    bool ranged_ = false;               // the median period and the level range are fixed
    std::vector<Trace> collected_;      // before the range is fixed
    std::vector<double> periods_;       // before the range is fixed
    std::vector<Trace> pending_;        // waiting for their samples
    double median_ = 0.0;
    double levelMax_ = 1.0;
    std::size_t traces_ = 0;
    std::vector<std::uint32_t> density_;
    double left_ = -1.0, right_ = 1.0, upper_ = 0.0, lower_ = 0.0;
};

}  // namespace ksim
