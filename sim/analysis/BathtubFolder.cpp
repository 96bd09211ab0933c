#include "sim/analysis/BathtubFolder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace ksim {

namespace {
constexpr std::size_t kKeptSamples = 4096;  // kept before the last edge, for edges reported late
}

BathtubFolder::BathtubFolder(const BathtubFolderSettings& settings)
    : settings_(settings), eye_(settings.eye), sync_(settings.prbsOrder) {
    if (!(settings.bitTime > 0.0) || !(settings.sampleInterval > 0.0) || settings.waveDelaySamples < 0)
        throw std::runtime_error("bathtub: the bit time and the sample interval must be positive, the delay >= 0");
    const std::size_t rows = PatternSync::kWindowBits + 1;
    unconfirmed_.resize(rows * static_cast<std::size_t>(eye_.Columns()));
    unconfirmedBits_.resize(rows);
}

void BathtubFolder::SetFrom(double fromTime) {
    from_ = fromTime;
    until_ = std::numeric_limits<double>::infinity();
    haveEdge_ = false;
    waiting_.clear();
    unconfirmedCount_ = 0;
    unknown_ = 0;
    eye_ = BerEye(settings_.eye);
    sync_ = PatternSync(settings_.prbsOrder);
}

void BathtubFolder::AddWave(const double* samples, std::size_t n) {
    history_.Append(samples, n);
    FoldReady();
    Trim();
}

void BathtubFolder::AddEdges(const double* times, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        const double edge = times[k];
        if (!(edge >= from_) || !(edge < until_)) continue;
        if (haveEdge_) {
            const double period = edge - lastEdge_;
            // A missed or extra edge: the bits around it no longer follow each other, the pattern is found again.
            if (period >= 0.5 * settings_.bitTime && period <= 1.5 * settings_.bitTime)
                waiting_.push_back({lastEdge_ + 0.5 * period, period});
        }
        lastEdge_ = edge;
        haveEdge_ = true;
    }
    FoldReady();
    Trim();
}

void BathtubFolder::FoldReady() {
    const double end = static_cast<double>(history_.End());
    while (!waiting_.empty()) {
        const Interval& next = waiting_.front();
        const double last = std::floor((next.samplingTime + 0.5 * next.period) / settings_.sampleInterval) + 1 +
                            settings_.waveDelaySamples;
        if (!(last < end)) break;
        Fold(next);
        waiting_.pop_front();
    }
}

void BathtubFolder::Fold(const Interval& interval) {
    const double first = std::floor((interval.samplingTime - 0.5 * interval.period) / settings_.sampleInterval) +
                         settings_.waveDelaySamples;
    if (!(first >= static_cast<double>(history_.Start()))) {
        ++unknown_;  // its samples were given up (an edge reported very late)
        return;
    }
    const std::size_t rows = unconfirmedBits_.size();
    const std::size_t row = (unconfirmedFirst_ + unconfirmedCount_) % rows;
    double* values = &unconfirmed_[row * static_cast<std::size_t>(eye_.Columns())];
    // Column c lies at sample position x0 + c·step of the history (all positions are >= 0 here).
    const double x0 = (interval.samplingTime + eye_.PhaseUi(0) * interval.period) / settings_.sampleInterval +
                      settings_.waveDelaySamples - static_cast<double>(history_.Start());
    const double* samples = history_.Data();
    const double step = interval.period / (settings_.eye.phaseSteps * settings_.sampleInterval);
    for (int c = 0; c < eye_.Columns(); ++c) {
        const double x = x0 + c * step;
        const std::size_t at = static_cast<std::size_t>(x);
        const double a = samples[at], b = samples[at + 1];
        values[c] = a + (b - a) * (x - static_cast<double>(at));
    }
    const int decided = values[eye_.Columns() / 2] > 0.0 ? 1 : 0;
    const int expected = sync_.Next(decided);
    if (sync_.JustLost()) {
        unknown_ += unconfirmedCount_ + 1;
        unconfirmedCount_ = 0;
        return;
    }
    if (expected < 0) {
        ++unknown_;
        return;
    }
    unconfirmedBits_[row] = expected;
    ++unconfirmedCount_;
    Commit(PatternSync::kWindowBits);
}

void BathtubFolder::Commit(std::size_t keep) {
    const std::size_t rows = unconfirmedBits_.size();
    while (unconfirmedCount_ > keep) {
        eye_.Add(&unconfirmed_[unconfirmedFirst_ * static_cast<std::size_t>(eye_.Columns())], unconfirmedBits_[unconfirmedFirst_]);
        unconfirmedFirst_ = (unconfirmedFirst_ + 1) % rows;
        --unconfirmedCount_;
    }
}

void BathtubFolder::Trim() {
    double needed = static_cast<double>(history_.End());
    if (!waiting_.empty())
        needed = std::floor((waiting_.front().samplingTime - 0.5 * waiting_.front().period) / settings_.sampleInterval) +
                 settings_.waveDelaySamples;
    if (haveEdge_)
        needed = std::min(needed, std::floor(lastEdge_ / settings_.sampleInterval) + settings_.waveDelaySamples);
    needed -= static_cast<double>(kKeptSamples);
    if (!(needed > static_cast<double>(history_.Start()))) return;
    history_.DropBefore(static_cast<std::uint64_t>(needed));
}

BathtubAnalysis BathtubFolder::Finish() {
    Commit(0);
    BathtubAnalysis result = eye_.Finish();
    result.conditioning = "the sent bit: the PRBS found again in the decisions at the sampling point and run on by "
                          "itself, so that errors show; an interval counts once the pattern held for " +
                          std::to_string(PatternSync::kWindowBits) + " intervals after it";
    result.unknownIntervals = unknown_;
    result.resyncs = sync_.Locks() > 0 ? sync_.Locks() - 1 : 0;
    if (!result.measured && sync_.Locks() == 0 && unknown_ > 0)
        result.reason = "the decisions at the sampling point never followed the sent PRBS for " +
                        std::to_string(PatternSync::kConfirmBits) + " bits, so no bit was known to judge errors by";
    return result;
}

}  // namespace ksim
