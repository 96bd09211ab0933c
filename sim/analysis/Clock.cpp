#include "sim/analysis/Clock.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ksim {

namespace {

constexpr int kMaxFitRounds = 64;
constexpr double kStuckJitterUi = 0.002;  // RMS jitter below which a clock locked from its first edge never moved

// Least-squares line y ≈ intercept + slope·(j - centre) through y[j] = edge j over the bit time, j = first .. n-1.
struct GridFit {
    double centre = 0, intercept = 0, slope = 0;
    double At(std::size_t j) const { return intercept + slope * (static_cast<double>(j) - centre); }
};

GridFit FitGrid(const Series<double>& edges, double bitTime, std::size_t first) {
    const std::size_t n = edges.Size() - first;
    GridFit fit;
    fit.centre = 0.5 * static_cast<double>(first + edges.Size() - 1);
    double sumY = 0;
    ForEachValue(edges, first, [&](std::size_t, double t) { sumY += t / bitTime; });
    fit.intercept = sumY / static_cast<double>(n);
    double sxy = 0, sxx = 0;
    ForEachValue(edges, first, [&](std::size_t j, double t) {
        const double x = static_cast<double>(j) - fit.centre;
        sxy += x * (t / bitTime - fit.intercept);
        sxx += x * x;
    });
    fit.slope = sxx > 0 ? sxy / sxx : 0.0;
    return fit;
}

// The first edge after the last one (from first on) that strays more than tolerance from the fit.
std::size_t FirstEdgeOnGrid(const Series<double>& edges, double bitTime, std::size_t first, const GridFit& fit,
                            double tolerance) {
    std::size_t q = first;
    ForEachValue(edges, first, [&](std::size_t j, double t) {
        if (!(std::fabs(t / bitTime - fit.At(j)) <= tolerance)) q = j + 1;
    });
    return q;
}

// Walking back from edge p (exclusive) to edge lowest, the first edge of the run that stays within
// tolerance of the fit all the way to p.
std::size_t EarliestOnGrid(const Series<double>& edges, double bitTime, std::size_t lowest, std::size_t p,
                           const GridFit& fit, double tolerance) {
    constexpr std::size_t kChunk = 4096;
    std::vector<double> chunk(kChunk);
    std::size_t from = p;
    while (from > lowest) {
        const std::size_t n = std::min(kChunk, from - lowest);
        edges.Read(from - n, n, chunk.data());
        for (std::size_t k = n; k-- > 0;) {
            const std::size_t j = from - n + k;
            if (!(std::fabs(chunk[k] / bitTime - fit.At(j)) <= tolerance)) return j + 1;
        }
        from -= n;
    }
    return from;
}

double EdgeAt(const Series<double>& edges, std::size_t j) {
    double t = 0;
    edges.Read(j, 1, &t);
    return t;
}

}  // namespace

ClockAnalysis AnalyzeClock(const std::vector<double>& edgeTimes, double bitTime, const ClockLockCriteria& criteria) {
    return AnalyzeClock(VectorSeries<double>(edgeTimes), bitTime, criteria, 1);
}

ClockAnalysis AnalyzeClock(const Series<double>& edges, double bitTime, const ClockLockCriteria& criteria,
                           std::size_t plotStride) {
    if (!(bitTime > 0.0)) throw std::runtime_error("the bit time must be positive");
    if (!(criteria.periodToleranceUi > 0.0) || !(criteria.phaseToleranceUi > 0.0) || criteria.minLockedEdges < 3)
        throw std::runtime_error("clock lock criteria: tolerances must be positive and at least 3 edges required");
    const std::size_t m = std::max<std::size_t>(1, plotStride);

    ClockAnalysis a;
    const std::size_t n = edges.Size();
    a.edges = n;
    std::size_t p = 0;
    double previous = 0.0, previousKept = 0.0;
    ForEachValue(edges, 0, [&](std::size_t i, double t) {
        if (i >= 1 && !(std::fabs((t - previous) / bitTime - 1.0) <= criteria.periodToleranceUi)) p = i;
        previous = t;
        if (i % m != 0) return;
        const double ui = t / bitTime;
        a.timesS.push_back(t);
        a.phaseUi.push_back(ui - std::round(ui));
        if (i >= 1) a.periodsUi.push_back((t - previousKept) / static_cast<double>(m) / bitTime);
        previousKept = t;
    });

    bool settled = false, halved = false;
    const std::size_t periodsFrom = p;
    GridFit fit;
    for (int round = 0; round < kMaxFitRounds && n - p >= criteria.minLockedEdges; ++round) {
        fit = FitGrid(edges, bitTime, p);
        const std::size_t q = FirstEdgeOnGrid(edges, bitTime, p, fit, criteria.phaseToleranceUi);
        if (q == p) {
            settled = true;
            break;
        }
        // A long pull-in (a loop catching up with a frequency offset) tilts a fit over all edges so far that
        // even the last edges stray from it; the fit then starts over from the later half instead.
        const std::size_t half = p + (n - p) / 2;
        halved = halved || q > half;
        p = std::min(q, half);
    }
    if (!settled || n - p < criteria.minLockedEdges) return a;
    if (halved) {
        // The half may start well after the pull-in ended: lock from the earliest edge from which every edge
        // stays on the grid, and fit again from there.
        const std::size_t from = EarliestOnGrid(edges, bitTime, periodsFrom, p, fit,
                                                criteria.phaseToleranceUi);
        if (from < p) {
            p = from;
            fit = FitGrid(edges, bitTime, p);
        }
    }

    a.locked = true;
    a.lockEdge = p;
    a.lockTimeS = EdgeAt(edges, p);
    a.meanPeriodUi = (EdgeAt(edges, n - 1) - a.lockTimeS) / static_cast<double>(n - 1 - p) / bitTime;
    a.frequencyOffsetPpm = (a.meanPeriodUi - 1.0) * 1e6;
    double sumSquares = 0, lowest = 0, highest = 0;
    ForEachValue(edges, p, [&](std::size_t j, double t) {
        const double r = t / bitTime - fit.At(j);
        sumSquares += r * r;
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
    });
    a.rmsJitterUi = std::sqrt(sumSquares / static_cast<double>(n - p));
    a.peakToPeakJitterUi = highest - lowest;
    // A loop that works dithers around the data's phase by some hundredths of a unit interval.
    a.stuck = p == 0 && a.rmsJitterUi < kStuckJitterUi;
    return a;
}

}  // namespace ksim
