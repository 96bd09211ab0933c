#include "tools/sim/analysis/Clock.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ksim {

namespace {

constexpr int kMaxFitRounds = 64;

// Least-squares line y ≈ intercept + slope·(j - centre) through y[j], j = first .. y.size()-1.
struct GridFit {
    double centre = 0, intercept = 0, slope = 0;
    double At(std::size_t j) const { return intercept + slope * (static_cast<double>(j) - centre); }
};

GridFit FitGrid(const std::vector<double>& y, std::size_t first) {
    const std::size_t n = y.size() - first;
    GridFit fit;
    fit.centre = 0.5 * static_cast<double>(first + y.size() - 1);
    double sumY = 0;
    for (std::size_t j = first; j < y.size(); ++j) sumY += y[j];
    fit.intercept = sumY / static_cast<double>(n);
    double sxy = 0, sxx = 0;
    for (std::size_t j = first; j < y.size(); ++j) {
        const double x = static_cast<double>(j) - fit.centre;
        sxy += x * (y[j] - fit.intercept);
        sxx += x * x;
    }
    fit.slope = sxx > 0 ? sxy / sxx : 0.0;
    return fit;
}

// The first edge after the last one (from first on) that strays more than tolerance from the fit.
std::size_t FirstEdgeOnGrid(const std::vector<double>& y, std::size_t first, const GridFit& fit, double tolerance) {
    std::size_t q = first;
    for (std::size_t j = first; j < y.size(); ++j)
        if (!(std::fabs(y[j] - fit.At(j)) <= tolerance)) q = j + 1;
    return q;
}

}  // namespace

ClockAnalysis AnalyzeClock(const std::vector<double>& edgeTimes, double bitTime, const ClockLockCriteria& criteria) {
    if (!(bitTime > 0.0)) throw std::runtime_error("the bit time must be positive");
    if (!(criteria.periodToleranceUi > 0.0) || !(criteria.phaseToleranceUi > 0.0) || criteria.minLockedEdges < 3)
        throw std::runtime_error("clock lock criteria: tolerances must be positive and at least 3 edges required");

    ClockAnalysis a;
    const std::size_t n = edgeTimes.size();
    a.edges = n;
    a.timesS = edgeTimes;
    std::vector<double> ui(n);  // edge times [UI]
    a.phaseUi.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        ui[i] = edgeTimes[i] / bitTime;
        a.phaseUi[i] = ui[i] - std::round(ui[i]);
    }
    std::size_t p = 0;
    if (n >= 2) {
        a.periodsUi.resize(n - 1);
        for (std::size_t i = 1; i < n; ++i) {
            a.periodsUi[i - 1] = (edgeTimes[i] - edgeTimes[i - 1]) / bitTime;
            if (!(std::fabs(a.periodsUi[i - 1] - 1.0) <= criteria.periodToleranceUi)) p = i;
        }
    }

    bool settled = false;
    GridFit fit;
    for (int round = 0; round < kMaxFitRounds && n - p >= criteria.minLockedEdges; ++round) {
        fit = FitGrid(ui, p);
        const std::size_t q = FirstEdgeOnGrid(ui, p, fit, criteria.phaseToleranceUi);
        if (q == p) {
            settled = true;
            break;
        }
        p = q;
    }
    if (!settled || n - p < criteria.minLockedEdges) return a;

    a.locked = true;
    a.lockEdge = p;
    a.lockTimeS = edgeTimes[p];
    a.meanPeriodUi = (edgeTimes[n - 1] - edgeTimes[p]) / static_cast<double>(n - 1 - p) / bitTime;
    a.frequencyOffsetPpm = (a.meanPeriodUi - 1.0) * 1e6;
    double sumSquares = 0, lowest = 0, highest = 0;
    for (std::size_t j = p; j < n; ++j) {
        const double r = ui[j] - fit.At(j);
        sumSquares += r * r;
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
    }
    a.rmsJitterUi = std::sqrt(sumSquares / static_cast<double>(n - p));
    a.peakToPeakJitterUi = highest - lowest;
    return a;
}

}  // namespace ksim
