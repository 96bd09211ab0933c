#pragma once

// BER over the eye from histograms of the equalised signal conditioned on each unit interval's bit: per
// sampling phase across one unit interval and per level, how often a 1 and a 0 left the signal there. The
// BER at a phase and threshold is the share of unit intervals that would be decided wrongly there; where
// none were, it is extrapolated from Gaussian fits to the inner tails of the two level distributions.
// Memory stays fixed however many unit intervals are added.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/EyeStatistics.h"

namespace ksim {

struct BerEyeOptions {
    int phaseSteps = 64;            // columns at phases -0.5 + c / phaseSteps [UI], c = 0 .. phaseSteps; even, >= 2
    int levelBins = 256;            // level bins over ±levelMax; even, >= 2
    double levelMargin = 0.1;       // levelMax = (1 + this) × the largest |value| of the first intervals, >= 0
    std::size_t rangeIntervals = 1024;  // unit intervals that fix the level range, >= 1
};

class BerEye {
public:
    explicit BerEye(const BerEyeOptions& options = BerEyeOptions());  // throws std::runtime_error on bad options

    int Columns() const { return options_.phaseSteps + 1; }
    double PhaseUi(int column) const { return -0.5 + static_cast<double>(column) / options_.phaseSteps; }

    // One unit interval: the signal at each column's phase [V] (Columns() values) and the bit the receiver
    // should decide there (0 or 1). A decision is 1 when the signal lies above the threshold.
    void Add(const double* values, int bit);
    std::uint64_t Intervals() const { return intervals_[0] + intervals_[1]; }

    // Bathtubs, the BER map and the eye at 1e-6 and 1e-12 (the conditioning text is the caller's).
    // Not measured when either bit has no interval.
    BathtubAnalysis Finish();

private:
    void FixRange();
    void Bin(const double* values, int bit);
    std::size_t At(int bit, int column, int level) const {
        return (static_cast<std::size_t>(bit) * static_cast<std::size_t>(Columns()) + static_cast<std::size_t>(column)) *
                   static_cast<std::size_t>(options_.levelBins) + static_cast<std::size_t>(level);
    }

    BerEyeOptions options_;
    bool ranged_ = false;
    double levelMax_ = 1.0;                   // [V]
    std::vector<double> early_;               // values of the intervals before the range is fixed
    std::vector<int> earlyBits_;
    std::uint64_t intervals_[2] = {0, 0};
    std::vector<std::uint64_t> counts_;       // [bit][column][level], level 0 lowest
};

// The eye's opening at a target BER from the bathtubs: the span around the sampling point (phase 0) and
// around the 0 V threshold over which the BER stays at or below the target, with the ends placed between
// bathtub points by straight lines on log BER. 0 when the middle point already exceeds the target.
EyeAtBer OpeningAtBer(const std::vector<BathtubPoint>& horizontal, const std::vector<BathtubPoint>& vertical,
                      double targetBer);

}  // namespace ksim
