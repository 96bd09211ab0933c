#include "sim/analysis/BerEye.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "sim/analysis/TailFit.h"

namespace ksim {

namespace {

constexpr double kBerFloor = 1e-30;   // extrapolations below this are shown as this
// Fewer errors than this give their BER to worse than about ±30 %: the tail fit through them says more.
constexpr std::uint64_t kCountedErrors = 10;
// The innermost share of a bit's level distribution that the tail fit follows: the level distributions are
// mostly interference (a sum of clusters), and only their innermost edge bears on the BER below the counts.
constexpr double kLevelTailShare = 0.01;
constexpr double kTargets[] = {1e-6, 1e-12};

// One side of the opening: from the middle point outwards while the BER stays at or below the target.
double Reach(const std::vector<BathtubPoint>& points, std::size_t mid, int step, double target) {
    std::size_t i = mid;
    for (;;) {
        const bool last = step > 0 ? i + 1 >= points.size() : i == 0;
        if (last) return points[i].position;
        const std::size_t j = step > 0 ? i + 1 : i - 1;
        if (points[j].ber > target) {
            const double li = std::log10(std::max(points[i].ber, kBerFloor));
            const double lj = std::log10(points[j].ber);
            const double f = lj > li ? (std::log10(target) - li) / (lj - li) : 0.0;
            return points[i].position + (points[j].position - points[i].position) * f;
        }
        i = j;
    }
}

// Index of the point nearest position 0.
std::size_t Middle(const std::vector<BathtubPoint>& points) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < points.size(); ++i)
        if (std::fabs(points[i].position) < std::fabs(points[best].position)) best = i;
    return best;
}

double Opening(const std::vector<BathtubPoint>& points, double target) {
    if (points.empty()) return 0.0;
    const std::size_t mid = Middle(points);
    if (!(points[mid].ber <= target)) return 0.0;
    return Reach(points, mid, +1, target) - Reach(points, mid, -1, target);
}

}  // namespace

EyeAtBer OpeningAtBer(const std::vector<BathtubPoint>& horizontal, const std::vector<BathtubPoint>& vertical,
                      double targetBer) {
    EyeAtBer eye;
    eye.targetBer = targetBer;
    eye.widthUi = Opening(horizontal, targetBer);
    eye.heightV = Opening(vertical, targetBer);
    return eye;
}

BerEye::BerEye(const BerEyeOptions& options) : options_(options) {
    if (options.phaseSteps < 2 || options.phaseSteps % 2 != 0 || options.levelBins < 2 || options.levelBins % 2 != 0 ||
        !(options.levelMargin >= 0.0) || options.rangeIntervals < 1)
        throw std::runtime_error("BER eye options: an even number of phase steps and level bins (at least 2 each), "
                                 "a margin >= 0 and at least one interval for the range");
    counts_.assign(2 * static_cast<std::size_t>(Columns()) * static_cast<std::size_t>(options.levelBins), 0);
}

void BerEye::Add(const double* values, int bit) {
    bit = bit != 0 ? 1 : 0;
    ++intervals_[bit];
    if (ranged_) {
        Bin(values, bit);
        return;
    }
    early_.insert(early_.end(), values, values + Columns());
    earlyBits_.push_back(bit);
    if (earlyBits_.size() >= options_.rangeIntervals) FixRange();
}

void BerEye::FixRange() {
    ranged_ = true;
    double largest = 0.0;
    for (double v : early_)
        if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
    levelMax_ = largest > 0.0 ? (1.0 + options_.levelMargin) * largest : 1.0;
    for (std::size_t i = 0; i < earlyBits_.size(); ++i) Bin(&early_[i * static_cast<std::size_t>(Columns())], earlyBits_[i]);
    early_ = std::vector<double>();
    earlyBits_ = std::vector<int>();
}

void BerEye::Bin(const double* values, int bit) {
    const double binsPerVolt = options_.levelBins / (2.0 * levelMax_);
    const double top = options_.levelBins - 1.0;
    std::uint64_t* row = &counts_[At(bit, 0, 0)];
    for (int c = 0; c < Columns(); ++c, row += options_.levelBins) {
        const double position = (values[c] + levelMax_) * binsPerVolt;
        if (!(position == position)) continue;  // NaN: no level
        ++row[static_cast<int>(std::clamp(position, 0.0, top))];  // truncation is the floor for positions >= 0
    }
}

BathtubAnalysis BerEye::Finish() {
    if (!ranged_) FixRange();
    BathtubAnalysis result;
    result.method = "below 10 counted errors, Gaussian fits on the Q scale to the inner 1 % tail of the level "
                    "distribution of each bit at each sampling phase";
    result.unitIntervals = Intervals();
    if (intervals_[0] == 0 || intervals_[1] == 0) {
        result.reason = Intervals() == 0 ? "no unit interval with a known bit was folded in"
                                         : "only one bit value was seen, so errors of the other cannot be judged";
        return result;
    }
    const int levels = options_.levelBins;
    const double binWidth = 2.0 * levelMax_ / levels;  // [V]
    std::vector<double> edges(static_cast<std::size_t>(levels) + 1);
    for (int k = 0; k <= levels; ++k) edges[static_cast<std::size_t>(k)] = -levelMax_ + k * binWidth;
    TailFitOptions fitOptions;
    fitOptions.tailShare = kLevelTailShare;
    fitOptions.sigmaFloor = 0.5 * binWidth;

    const double n1 = static_cast<double>(intervals_[1]), n0 = static_cast<double>(intervals_[0]);
    const std::size_t rows = edges.size();
    result.mapPhasesUi.resize(static_cast<std::size_t>(Columns()));
    result.mapThresholdsV = edges;
    result.mapBer.assign(rows * static_cast<std::size_t>(Columns()), 0.0);
    std::vector<std::uint8_t> counted(result.mapBer.size(), 0);
    std::vector<std::uint64_t> ones(static_cast<std::size_t>(levels)), zeros(static_cast<std::size_t>(levels));
    for (int c = 0; c < Columns(); ++c) {
        result.mapPhasesUi[static_cast<std::size_t>(c)] = PhaseUi(c);
        for (int l = 0; l < levels; ++l) {
            ones[static_cast<std::size_t>(l)] = counts_[At(1, c, l)];
            zeros[static_cast<std::size_t>(l)] = counts_[At(0, c, l)];
        }
        // A 1 is decided wrongly below the threshold, a 0 above it: the lower tail of the ones, the upper of the zeros.
        const TailFit fitOne = FitLowerTail(edges, ones, fitOptions);
        const TailFit fitZero = FitUpperTail(edges, zeros, fitOptions);
        std::vector<std::uint64_t> zerosAbove(rows, 0);
        for (std::size_t k = rows - 1; k-- > 0;) zerosAbove[k] = zerosAbove[k + 1] + zeros[k];
        std::uint64_t onesBelow = 0;
        for (std::size_t k = 0; k < rows; ++k) {
            if (k > 0) onesBelow += ones[k - 1];
            const double theta = edges[k];
            // Without a fit (a column of unusable values) the count's own resolution is all that is known.
            const double tail1 = fitOne.ok ? GaussianTail((fitOne.mean - theta) / fitOne.sigma) : 1.0;
            const double tail0 = fitZero.ok ? GaussianTail((theta - fitZero.mean) / fitZero.sigma) : 1.0;
            const bool counted1 = onesBelow >= kCountedErrors, counted0 = zerosAbove[k] >= kCountedErrors;
            const double p1 = counted1 ? static_cast<double>(onesBelow) / n1 : std::min(tail1, kCountedErrors / n1);
            const double p0 = counted0 ? static_cast<double>(zerosAbove[k]) / n0 : std::min(tail0, kCountedErrors / n0);
            const std::size_t at = k * static_cast<std::size_t>(Columns()) + static_cast<std::size_t>(c);
            result.mapBer[at] = std::max((n1 * p1 + n0 * p0) / (n1 + n0), kBerFloor);
            counted[at] = counted1 || counted0;
        }
    }

    const std::size_t zeroRow = static_cast<std::size_t>(levels / 2);
    const std::size_t middleColumn = static_cast<std::size_t>(options_.phaseSteps / 2);
    for (std::size_t c = 0; c < static_cast<std::size_t>(Columns()); ++c) {
        const std::size_t at = zeroRow * static_cast<std::size_t>(Columns()) + c;
        result.horizontal.push_back({result.mapPhasesUi[c], result.mapBer[at], counted[at] != 0});
    }
    for (std::size_t k = 0; k < rows; ++k) {
        const std::size_t at = k * static_cast<std::size_t>(Columns()) + middleColumn;
        result.vertical.push_back({edges[k], result.mapBer[at], counted[at] != 0});
    }
    {
        std::uint64_t wrong = 0;
        for (int l = 0; l < levels / 2; ++l) wrong += counts_[At(1, static_cast<int>(middleColumn), l)];
        for (int l = levels / 2; l < levels; ++l) wrong += counts_[At(0, static_cast<int>(middleColumn), l)];
        result.errorsAtSamplingPoint = wrong;
    }
    for (double target : kTargets) result.eyeAt.push_back(OpeningAtBer(result.horizontal, result.vertical, target));
    result.measured = true;
    return result;
}

}  // namespace ksim
