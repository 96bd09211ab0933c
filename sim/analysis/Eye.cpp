#include "sim/analysis/Eye.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace ksim {

namespace {
constexpr std::size_t kMostReservedSamples = std::size_t{1} << 27;
constexpr std::size_t kReserveMarginSamples = std::size_t{1} << 16;  // a block and the samples before a trace
}

EyeFolder::EyeFolder(double sampleInterval, const EyeOptions& options, std::size_t rangeSamples)
    : dt_(sampleInterval), options_(options), rangeSamples_(rangeSamples) {
    if (!(sampleInterval > 0.0)) throw std::runtime_error("the sample interval must be positive");
    if (options.phaseBins < 2 || options.levelBins < 2 || options.waveDelaySamples < 0 || !(options.levelMargin >= 0.0))
        throw std::runtime_error("eye options: at least 2 phase and 2 level bins, a delay >= 0 and a margin >= 0");
    // Until the level range is fixed, all the samples that set it are kept: room for them from the start
    // (the pages are touched only as the samples come).
    if (rangeSamples <= kMostReservedSamples) history_.Reserve(rangeSamples + kReserveMarginSamples);
    SetFrom(0.0);
}

void EyeFolder::SetFrom(double fromTime) {
    from_ = fromTime;
    until_ = std::numeric_limits<double>::infinity();
    haveEdge_ = false;
    ranged_ = false;
    collected_.clear();
    periods_.clear();
    pending_.clear();
    traces_ = 0;
    median_ = 0.0;
    density_.assign(static_cast<std::size_t>(options_.phaseBins) * static_cast<std::size_t>(options_.levelBins), 0);
    left_ = -1.0;
    right_ = 1.0;
    upper_ = std::numeric_limits<double>::infinity();
    lower_ = -std::numeric_limits<double>::infinity();
    levelMax_ = 1.0;
}

void EyeFolder::AddWave(const double* samples, std::size_t n) {
    history_.Append(samples, n);
    if (ranged_) {
        BinReadyTraces();
    } else if (!collected_.empty() &&
               (SamplesAfter(collected_.front().first) > rangeSamples_ || collected_.size() > rangeSamples_ / 16)) {
        FixRange();
        BinReadyTraces();
    }
}

void EyeFolder::AddEdges(const double* times, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        const double edge = times[k];
        if (!(edge >= from_) || edge > until_) continue;
        if (haveEdge_) AddInterval(lastEdge_, edge - lastEdge_);
        lastEdge_ = edge;
        haveEdge_ = true;
    }
    if (ranged_) BinReadyTraces();
    Trim();
}

void EyeFolder::AddInterval(double edge, double p) {
    if (!ranged_) periods_.push_back(p);
    if (p > maxPeriod_ && p < 1e6 * dt_) maxPeriod_ = p;
    if (ranged_ && !(p >= 0.5 * median_ && p <= 1.5 * median_ && p > 0.0)) return;
    const double s = edge + 0.5 * p;
    const double lo = std::floor((s - p) / dt_) + options_.waveDelaySamples;
    const double hi = std::ceil((s + p) / dt_) + options_.waveDelaySamples;
    if (!(lo >= 0.0) || !(hi < 9e15)) return;
    const Trace trace{s, p, static_cast<std::uint64_t>(lo), static_cast<std::uint64_t>(hi)};
    if (trace.first < history_.Start()) return;  // its samples were given up: only a period far off the others
    (ranged_ ? pending_ : collected_).push_back(trace);
}

std::uint64_t EyeFolder::SamplesAfter(std::uint64_t index) const {
    const std::uint64_t end = history_.End();
    return end > index ? end - index : 0;
}

void EyeFolder::FixRange() {
    ranged_ = true;
    if (periods_.empty()) return;
    std::vector<double> sorted = periods_;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
    median_ = sorted[sorted.size() / 2];
    std::vector<Trace> kept;
    double largest = 0.0;
    const std::uint64_t end = history_.End();
    for (const Trace& t : collected_) {
        if (!(t.period >= 0.5 * median_ && t.period <= 1.5 * median_ && t.period > 0.0)) continue;
        kept.push_back(t);
        if (t.last >= end) continue;  // its samples are still to come: it is binned when they are
        for (std::uint64_t i = t.first; i <= t.last; ++i) largest = std::max(largest, std::fabs(Sample(i)));
    }
    collected_.clear();
    periods_.clear();
    levelMax_ = largest > 0.0 ? (1.0 + options_.levelMargin) * largest : 1.0;
    pending_.insert(pending_.begin(), kept.begin(), kept.end());
}

void EyeFolder::BinReadyTraces() {
    const std::uint64_t end = history_.End();
    std::size_t done = 0;
    while (done < pending_.size() && pending_[done].last < end) BinTrace(pending_[done++]);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(done));
}

void EyeFolder::Trim() {
    // Keep what a trace may still need: the samples of every waiting trace, and for the intervals still to
    // come (opened by the last edge or by edges not yet seen) up to two of the longest periods seen.
    const std::uint64_t end = history_.End();
    const double reach = 2.0 * maxPeriod_ / dt_ + options_.waveDelaySamples + kKeptSamples;
    double keep = static_cast<double>(end) - reach;
    if (haveEdge_) keep = std::min(keep, lastEdge_ / dt_ - reach);
    std::uint64_t keepFrom = keep > 0.0 ? static_cast<std::uint64_t>(keep) : 0;
    if (!ranged_ && !collected_.empty()) keepFrom = std::min(keepFrom, collected_.front().first);
    if (!pending_.empty()) keepFrom = std::min(keepFrom, pending_.front().first);
    history_.DropBefore(keepFrom);
}

void EyeFolder::BinTrace(const Trace& t) {
    ++traces_;
    const double columnWidth = 2.0 / options_.phaseBins;  // [UI]
    const double rowsPerVolt = options_.levelBins / (2.0 * levelMax_);
    auto phaseOf = [&](std::uint64_t i) {
        return ((static_cast<double>(i) - options_.waveDelaySamples) * dt_ - t.samplingTime) / t.period;
    };
    double pa = phaseOf(t.first);
    int column = std::max(0, static_cast<int>(std::ceil((pa + 1.0) / columnWidth - 0.5)));
    for (std::uint64_t i = t.first; i < t.last; ++i) {
        const double pb = phaseOf(i + 1);
        const double va = Sample(i), vb = Sample(i + 1);
        for (; column < options_.phaseBins; ++column) {
            const double centre = -1.0 + (column + 0.5) * columnWidth;
            if (!(centre < pb)) break;
            if (centre < pa) continue;
            const double v = va + (vb - va) * (centre - pa) / (pb - pa);
            const int row = std::clamp(static_cast<int>(std::floor((levelMax_ - v) * rowsPerVolt)), 0,
                                       options_.levelBins - 1);
            ++density_[static_cast<std::size_t>(row) * static_cast<std::size_t>(options_.phaseBins) +
                       static_cast<std::size_t>(column)];
        }
        if ((va > 0.0) != (vb > 0.0)) {
            const double crossing = pa + (pb - pa) * va / (va - vb);
            if (crossing <= 0.0 && crossing >= -1.0) left_ = std::max(left_, crossing);
            if (crossing >= 0.0 && crossing <= 1.0) right_ = std::min(right_, crossing);
        }
        if (pa <= 0.0 && 0.0 < pb) {
            const double v0 = va + (vb - va) * (0.0 - pa) / (pb - pa);
            if (v0 > 0.0)
                upper_ = std::min(upper_, v0);
            else
                lower_ = std::max(lower_, v0);
        }
        pa = pb;
    }
}

EyeAnalysis EyeFolder::Finish() {
    if (!ranged_) FixRange();
    BinReadyTraces();
    pending_.clear();  // traces reaching past the end of the wave

    EyeAnalysis eye;
    eye.phaseBins = options_.phaseBins;
    eye.levelBins = options_.levelBins;
    eye.samplingPhaseUi = 0.5;
    eye.traces = traces_;
    eye.levelMaxV = levelMax_;
    eye.levelMinV = -levelMax_;
    eye.density = density_;
    // The traces are known only at their samples: a span narrower than one sample interval is no opening.
    const double inf = std::numeric_limits<double>::infinity();
    const bool open = traces_ > 0 && right_ - left_ >= dt_ / median_ && upper_ < inf && lower_ > -inf;
    if (open) {
        eye.widthLeftUi = left_;
        eye.widthRightUi = right_;
        eye.widthUi = right_ - left_;
        eye.heightUpperV = upper_;
        eye.heightLowerV = lower_;
        eye.heightV = upper_ - lower_;
    }
    return eye;
}

EyeAnalysis FoldEye(const std::vector<double>& wave, double sampleInterval, const std::vector<double>& fallingEdgeTimes,
                    double fromTime, const EyeOptions& options) {
    EyeFolder folder(sampleInterval, options, SIZE_MAX);
    folder.SetFrom(fromTime);
    folder.AddEdges(fallingEdgeTimes.data(), fallingEdgeTimes.size());
    folder.AddWave(wave.data(), wave.size());
    return folder.Finish();
}

}  // namespace ksim
