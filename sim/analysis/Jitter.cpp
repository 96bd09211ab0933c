#include "sim/analysis/Jitter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "sim/analysis/TailFit.h"

namespace ksim {

namespace {

constexpr std::uint64_t kMinEvents = 16;
constexpr std::uint64_t kMinSplitEvents = 1000;
constexpr std::size_t kFewValues = 16;
// A spread of event times below this is the rounding of the times themselves, not jitter [UI]: a split of
// it would fit Gaussian tails to arithmetic noise.
constexpr double kRoundingSpreadUi = 1e-6;  // non-empty histogram bins below which the TIE is a few grid values

// Calls visit(n, t) with each event's grid index and its time from the first event [s].
template <typename Visit>
void ForEachEvent(const Series<double>& times, double fromTime, double untilTime, double bitTime, Visit visit) {
    bool first = true;
    double origin = 0.0, previous = 0.0;
    double n = 0.0;
    ForEachValue(times, 0, [&](std::size_t, double t) {
        if (!(t >= fromTime) || !(t < untilTime) || !std::isfinite(t)) return;
        if (first) {
            origin = t;
            first = false;
        } else {
            n += std::max(1.0, std::round((t - previous) / bitTime));
        }
        previous = t;
        visit(n, t - origin);
    });
}

void SplitJitter(TieAnalysis& tie) {
    if (tie.events < kMinSplitEvents) {
        tie.splitReason = "fewer than " + std::to_string(kMinSplitEvents) + " events";
        return;
    }
    const std::size_t bins = tie.histogram.size();
    const double width = (tie.maxUi - tie.minUi) / static_cast<double>(bins);
    std::vector<double> edges(bins + 1);
    for (std::size_t k = 0; k <= bins; ++k) edges[k] = tie.minUi + static_cast<double>(k) * width;
    TailFitOptions options;
    options.fitWeight = true;
    options.sigmaFloor = 0.5 * width;
    const TailFit left = FitLowerTail(edges, tie.histogram, options);
    const TailFit right = FitUpperTail(edges, tie.histogram, options);
    if (!left.ok || !right.ok) {
        std::size_t filled = 0;
        for (std::uint64_t count : tie.histogram) filled += count > 0;
        tie.splitReason = filled < kFewValues ? "the TIE takes only " + std::to_string(filled) +
                                                    " distinct values (events on the sample grid), too few for a tail fit"
                                              : "a tail of the histogram gave no straight line on the Q scale";
        return;
    }
    tie.splitMeasured = true;
    tie.rjUi = 0.5 * (left.sigma + right.sigma);
    tie.djUi = std::max(0.0, right.mean - left.mean);
    tie.tjUi = tie.djUi + 2.0 * GaussianTailInverse(1e-12) * tie.rjUi;
}

}  // namespace

TieAnalysis AnalyzeTie(const Series<double>& times, double fromTime, double untilTime, double bitTime,
                       int histogramBins) {
    if (!(bitTime > 0.0) || histogramBins < 2) throw std::runtime_error("TIE: the bit time must be positive, 2 bins at least");
    TieAnalysis tie;
    double sumN = 0, sumT = 0;
    ForEachEvent(times, fromTime, untilTime, bitTime, [&](double n, double t) {
        ++tie.events;
        sumN += n;
        sumT += t;
    });
    if (tie.events < kMinEvents) {
        tie.reason = "fewer than " + std::to_string(kMinEvents) + " events in the counted stretch";
        return tie;
    }
    const double count = static_cast<double>(tie.events);
    const double meanN = sumN / count, meanT = sumT / count;
    double snn = 0, snt = 0;
    ForEachEvent(times, fromTime, untilTime, bitTime, [&](double n, double t) {
        snn += (n - meanN) * (n - meanN);
        snt += (n - meanN) * (t - meanT);
    });
    if (!(snn > 0.0)) {
        tie.reason = "the events span no time";
        return tie;
    }
    const double slope = snt / snn;
    const double intercept = meanT - slope * meanN;
    tie.gridPeriodS = slope;
    tie.frequencyOffsetPpm = (slope / bitTime - 1.0) * 1e6;
    double sumSquares = 0;
    tie.minUi = std::numeric_limits<double>::infinity();
    tie.maxUi = -std::numeric_limits<double>::infinity();
    auto tieUi = [&](double n, double t) { return (t - (intercept + slope * n)) / bitTime; };
    ForEachEvent(times, fromTime, untilTime, bitTime, [&](double n, double t) {
        const double e = tieUi(n, t);
        sumSquares += e * e;
        tie.minUi = std::min(tie.minUi, e);
        tie.maxUi = std::max(tie.maxUi, e);
    });
    tie.rmsUi = std::sqrt(sumSquares / count);
    tie.peakToPeakUi = tie.maxUi - tie.minUi;
    tie.histogram.assign(static_cast<std::size_t>(histogramBins), 0);
    const double span = tie.maxUi - tie.minUi;
    ForEachEvent(times, fromTime, untilTime, bitTime, [&](double n, double t) {
        const double position = span > 0.0 ? (tieUi(n, t) - tie.minUi) / span * histogramBins : 0.0;
        const int bin = static_cast<int>(std::clamp(std::floor(position), 0.0, histogramBins - 1.0));
        ++tie.histogram[static_cast<std::size_t>(bin)];
    });
    tie.measured = true;
    if (span > kRoundingSpreadUi)
        SplitJitter(tie);
    else
        tie.splitReason = "the events lie on the grid (within 1e-6 UI, the rounding of their times)";
    return tie;
}

DataCrossings::DataCrossings(double sampleInterval, double bitTime, int waveDelaySamples, const std::string& spillFolder)
    : dt_(sampleInterval), bitTime_(bitTime), delay_(waveDelaySamples), times_(spillFolder) {
    if (!(sampleInterval > 0.0) || !(bitTime > 0.0) || waveDelaySamples < 0)
        throw std::runtime_error("data crossings: the sample interval and the bit time must be positive, the delay >= 0");
}

void DataCrossings::AddWave(const double* samples, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k, ++index_) {
        const double v = samples[k];
        if (v != v) {
            havePrevious_ = false;
            continue;
        }
        if (havePrevious_ && (previous_ > 0.0) != (v > 0.0)) {
            const double fraction = previous_ / (previous_ - v);
            const double t = (static_cast<double>(index_ - 1) + fraction - delay_) * dt_;
            if (!haveCrossing_ || t - lastCrossing_ >= 0.5 * bitTime_) {
                times_.Append(t);
                lastCrossing_ = t;
                haveCrossing_ = true;
            }
        }
        previous_ = v;
        havePrevious_ = true;
    }
}

}  // namespace ksim
