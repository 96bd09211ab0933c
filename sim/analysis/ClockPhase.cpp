#include "sim/analysis/ClockPhase.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace ksim {

namespace {

constexpr std::size_t kSlipTimesKept = 1000;
constexpr std::size_t kChunk = 1 << 16;

// The earliest edge from which the phases to the end fit in a band of the given width, and the mean phase
// from there on; read backwards in chunks.
std::size_t EarliestInBand(const Series<double>& edges, double dataUnitInterval, double width, double& mean) {
    std::vector<double> chunk(std::min(kChunk, edges.Size()));
    double lowest = 0, highest = 0, sum = 0;
    bool any = false;
    std::size_t from = edges.Size();
    while (from > 0) {
        const std::size_t n = std::min(kChunk, from);
        edges.Read(from - n, n, chunk.data());
        for (std::size_t k = n; k-- > 0;) {
            const std::size_t j = from - n + k;
            const double d = chunk[k] / dataUnitInterval - static_cast<double>(j);
            const double low = any ? std::min(lowest, d) : d, high = any ? std::max(highest, d) : d;
            if (!(high - low <= width)) {  // NaN times end the band too
                mean = sum / static_cast<double>(edges.Size() - j - 1);
                return j + 1;
            }
            lowest = low;
            highest = high;
            sum += d;
            any = true;
        }
        from -= n;
    }
    mean = edges.Size() > 0 ? sum / static_cast<double>(edges.Size()) : 0.0;
    return 0;
}

}  // namespace

void JudgeClockAgainstData(const Series<double>& edges, double bitTime, double dataUnitInterval,
                           const PhaseLockCriteria& criteria, ClockAnalysis& clock) {
    if (!(bitTime > 0.0) || !(dataUnitInterval > 0.0)) throw std::runtime_error("the unit intervals must be positive");
    if (!(criteria.toleranceUi > 0.0 && criteria.toleranceUi < 0.5) || criteria.minLockedEdges < 2 ||
        !(criteria.slipHysteresisUi >= 0.0 && criteria.slipHysteresisUi <= 0.4))
        throw std::runtime_error("phase lock criteria: a tolerance in 0..0.5 UI, at least 2 edges, hysteresis 0..0.4 UI");
    const std::size_t n = edges.Size();
    clock.edges = n;
    clock.dataPeriodUi = dataUnitInterval / bitTime;
    clock.phaseToleranceUi = criteria.toleranceUi;
    clock.locked = false;
    clock.lockEdge = 0;
    clock.lockTimeS = 0;
    clock.lockPhaseUi = 0;
    clock.meanPeriodUi = 0;
    clock.frequencyOffsetPpm = 0;
    clock.slips = 0;
    clock.slipTimesS.clear();
    clock.overallPeriodUi = clock.overallOffsetPpm = clock.dataOffsetPpm = clock.driftUi = 0;
    if (n < 2) return;

    double first = 0, last = 0, reference = 0;
    ForEachValue(edges, 0, [&](std::size_t j, double t) {
        const double d = t / dataUnitInterval - static_cast<double>(j);
        if (j == 0) {
            first = t;
            reference = d;
        }
        last = t;
        const double limit = 0.5 + criteria.slipHysteresisUi;
        for (int step = 0; step < 2 && std::isfinite(d); ++step) {  // the phase moves far less than 2 UI an edge
            const double off = d - reference;
            if (!(std::fabs(off) > limit)) break;
            reference += off > 0 ? 1.0 : -1.0;
            ++clock.slips;
            if (clock.slipTimesS.size() < kSlipTimesKept) clock.slipTimesS.push_back(t);
        }
    });
    const double span = static_cast<double>(n - 1);
    clock.overallPeriodUi = (last - first) / span / bitTime;
    clock.overallOffsetPpm = (clock.overallPeriodUi - 1.0) * 1e6;
    clock.dataOffsetPpm = ((last - first) / span / dataUnitInterval - 1.0) * 1e6;
    clock.driftUi = (last - first) / dataUnitInterval - span;

    double centre = 0;
    const std::size_t p = EarliestInBand(edges, dataUnitInterval, 2.0 * criteria.toleranceUi, centre);
    if (n - p < criteria.minLockedEdges || p + 1 >= n) return;
    double lockTime = 0;
    edges.Read(p, 1, &lockTime);
    clock.locked = true;
    clock.lockEdge = p;
    clock.lockTimeS = lockTime;
    clock.lockPhaseUi = centre - std::floor(centre);  // the mean phase over the locked edges
    clock.meanPeriodUi = (last - lockTime) / static_cast<double>(n - 1 - p) / bitTime;
    clock.frequencyOffsetPpm = (clock.meanPeriodUi - 1.0) * 1e6;
}

}  // namespace ksim
