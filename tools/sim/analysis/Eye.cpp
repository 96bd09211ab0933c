#include "tools/sim/analysis/Eye.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace ksim {

namespace {

struct Trace {
    double samplingTime;  // [s]
    double period;        // [s]
    std::size_t first, last;  // wave samples covering samplingTime ± period
};

struct Folding {
    std::vector<Trace> traces;
    double medianPeriod = 0;  // [s]
};

Folding FindTraces(std::size_t waveSize, double dt, const std::vector<double>& edges, double fromTime, int delay) {
    std::vector<double> periods;
    std::size_t firstEdge = 0;
    while (firstEdge < edges.size() && !(edges[firstEdge] >= fromTime)) ++firstEdge;
    for (std::size_t j = firstEdge; j + 1 < edges.size(); ++j) periods.push_back(edges[j + 1] - edges[j]);
    Folding folding;
    if (periods.empty()) return folding;
    std::vector<double> sorted = periods;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    folding.medianPeriod = median;

    for (std::size_t k = 0; k < periods.size(); ++k) {
        const double p = periods[k];
        if (!(p >= 0.5 * median && p <= 1.5 * median && p > 0.0)) continue;
        const double s = edges[firstEdge + k] + 0.5 * p;
        const double lo = std::floor((s - p) / dt) + delay;
        const double hi = std::ceil((s + p) / dt) + delay;
        if (!(lo >= 0.0) || !(hi < static_cast<double>(waveSize))) continue;
        folding.traces.push_back({s, p, static_cast<std::size_t>(lo), static_cast<std::size_t>(hi)});
    }
    return folding;
}

}  // namespace

EyeAnalysis FoldEye(const std::vector<double>& wave, double sampleInterval, const std::vector<double>& fallingEdgeTimes,
                    double fromTime, const EyeOptions& options) {
    if (!(sampleInterval > 0.0)) throw std::runtime_error("the sample interval must be positive");
    if (options.phaseBins < 2 || options.levelBins < 2 || options.waveDelaySamples < 0 || !(options.levelMargin >= 0.0))
        throw std::runtime_error("eye options: at least 2 phase and 2 level bins, a delay >= 0 and a margin >= 0");

    const double dt = sampleInterval;
    const Folding folding = FindTraces(wave.size(), dt, fallingEdgeTimes, fromTime, options.waveDelaySamples);
    const std::vector<Trace>& traces = folding.traces;

    EyeAnalysis eye;
    eye.phaseBins = options.phaseBins;
    eye.levelBins = options.levelBins;
    eye.samplingPhaseUi = 0.5;
    eye.traces = traces.size();
    double largest = 0.0;
    for (const Trace& t : traces)
        for (std::size_t i = t.first; i <= t.last; ++i) largest = std::max(largest, std::fabs(wave[i]));
    eye.levelMaxV = largest > 0.0 ? (1.0 + options.levelMargin) * largest : 1.0;
    eye.levelMinV = -eye.levelMaxV;
    eye.density.assign(static_cast<std::size_t>(options.phaseBins) * static_cast<std::size_t>(options.levelBins), 0);

    const double columnWidth = 2.0 / options.phaseBins;  // [UI]
    const double rowsPerVolt = options.levelBins / (eye.levelMaxV - eye.levelMinV);
    const double inf = std::numeric_limits<double>::infinity();
    double left = -1.0, right = 1.0;                 // nearest crossings around phase 0 [UI]
    double upper = inf, lower = -inf;                 // values at phase 0 nearest to the threshold [V]

    for (const Trace& t : traces) {
        auto phaseOf = [&](std::size_t i) {
            return ((static_cast<double>(i) - options.waveDelaySamples) * dt - t.samplingTime) / t.period;
        };
        double pa = phaseOf(t.first);
        int column = std::max(0, static_cast<int>(std::ceil((pa + 1.0) / columnWidth - 0.5)));
        for (std::size_t i = t.first; i < t.last; ++i) {
            const double pb = phaseOf(i + 1);
            const double va = wave[i], vb = wave[i + 1];
            for (; column < options.phaseBins; ++column) {
                const double centre = -1.0 + (column + 0.5) * columnWidth;
                if (!(centre < pb)) break;
                if (centre < pa) continue;
                const double v = va + (vb - va) * (centre - pa) / (pb - pa);
                const int row = std::clamp(static_cast<int>(std::floor((eye.levelMaxV - v) * rowsPerVolt)), 0,
                                           options.levelBins - 1);
                ++eye.density[static_cast<std::size_t>(row) * static_cast<std::size_t>(options.phaseBins) +
                              static_cast<std::size_t>(column)];
            }
            if ((va > 0.0) != (vb > 0.0)) {
                const double crossing = pa + (pb - pa) * va / (va - vb);
                if (crossing <= 0.0 && crossing >= -1.0) left = std::max(left, crossing);
                if (crossing >= 0.0 && crossing <= 1.0) right = std::min(right, crossing);
            }
            if (pa <= 0.0 && 0.0 < pb) {
                const double v0 = va + (vb - va) * (0.0 - pa) / (pb - pa);
                if (v0 > 0.0)
                    upper = std::min(upper, v0);
                else
                    lower = std::max(lower, v0);
            }
            pa = pb;
        }
    }

    // The traces are known only at their samples: a span narrower than one sample interval is no opening.
    const bool open = !traces.empty() && right - left >= dt / folding.medianPeriod && upper < inf && lower > -inf;
    if (open) {
        eye.widthLeftUi = left;
        eye.widthRightUi = right;
        eye.widthUi = right - left;
        eye.heightUpperV = upper;
        eye.heightLowerV = lower;
        eye.heightV = upper - lower;
    }
    return eye;
}

}  // namespace ksim
