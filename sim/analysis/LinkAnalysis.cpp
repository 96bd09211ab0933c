#include "sim/analysis/LinkAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <future>
#include <stdexcept>

#include "sim/analysis/Ber.h"
#include "sim/analysis/Clock.h"
#include "sim/analysis/ClockPhase.h"
#include "sim/analysis/DecisionPattern.h"
#include "sim/analysis/Prbs.h"

namespace ksim {

namespace {
constexpr std::size_t kDecisionSamplesKept = 64;  // a rising edge is reported at most this late

BathtubFolderSettings BathtubSettings(const LinkAnalysisSettings& link) {
    BathtubFolderSettings settings;
    settings.bitTime = link.bitTime;
    settings.sampleInterval = link.sampleInterval;
    settings.prbsOrder = link.prbsOrder;
    settings.waveDelaySamples = link.eye.waveDelaySamples;
    // As finely across a unit interval as the eye's own columns, which set the analysis' cost per interval.
    settings.eye.phaseSteps = std::max(2, link.eye.phaseBins / 4 * 2);
    return settings;
}
}

LinkAnalysis::LinkAnalysis(const LinkAnalysisSettings& settings)
    : settings_(settings),
      eye_(settings.sampleInterval, settings.eye, settings.eyeRangeSamples),
      hold_(settings.dataUnitInterval > 0.0 ? settings.dataUnitInterval : settings.bitTime > 0.0 ? settings.bitTime : 1.0),
      statistics_(BathtubSettings(settings), settings.spillFolder),
      falling_(settings.spillFolder),
      rising_(settings.spillFolder),
      received_(settings.spillFolder) {
    if (!(settings.bitTime > 0.0) || !(settings.sampleInterval > 0.0))
        throw std::runtime_error("the bit time and the sample interval must be positive");
}

void LinkAnalysis::SetCountStart(double time) {
    countStart_ = time;
    eyeLeftOut_ = 0;
    beforeStart_ = received_.Size();
    eye_.SetFrom(time);
    statistics_.SetFrom(time);
}

double LinkAnalysis::FallingEdge(std::size_t index) const {
    double t = 0;
    falling_.Read(index, 1, &t);
    return t;
}

// The decision of a rising edge is the decision wave at the edge's own sample (see SampleDecisions).
void LinkAnalysis::Decide(double time) {
    const double index = std::round(time / settings_.sampleInterval);
    if (!(index >= static_cast<double>(decisionWaveStart_))) return;  // before the wave began, or NaN
    const double d = decisionWave_[static_cast<std::size_t>(index - static_cast<double>(decisionWaveStart_))];
    if (d == 0.0 || d != d) return;
    received_.Append(static_cast<std::uint8_t>(d > 0.0 ? 1 : 0));
    if (time < countStart_) ++beforeStart_;
    else if (CountedDecisions() == countLimit_) {
        eye_.SetUntil(time);
        statistics_.SetUntil(time);
    }
}

void LinkAnalysis::AddBlock(const double* equalised, const double* decisions, std::size_t n,
                            const std::vector<double>& falling, const std::vector<double>& rising) {
    AddDecisions(decisions, n, rising);
    AddEqualised(equalised, n, falling);
}

void LinkAnalysis::AddDecisions(const double* decisions, std::size_t n, const std::vector<double>& rising) {
    decisionWave_.insert(decisionWave_.end(), decisions, decisions + n);
    const double end = static_cast<double>(decisionWaveStart_ + decisionWave_.size());
    waitingEdges_.insert(waitingEdges_.end(), rising.begin(), rising.end());
    std::size_t done = 0;
    for (; done < waitingEdges_.size(); ++done) {
        if (std::round(waitingEdges_[done] / settings_.sampleInterval) >= end) break;
        Decide(waitingEdges_[done]);
    }
    waitingEdges_.erase(waitingEdges_.begin(), waitingEdges_.begin() + static_cast<long>(done));
    if (decisionWave_.size() > kDecisionSamplesKept) {
        const std::size_t drop = decisionWave_.size() - kDecisionSamplesKept;
        decisionWave_.erase(decisionWave_.begin(), decisionWave_.begin() + static_cast<long>(drop));
        decisionWaveStart_ += drop;
    }
    if (!rising.empty()) rising_.Append(rising.data(), rising.size());
}

void LinkAnalysis::AddEqualised(const double* equalised, std::size_t n, const std::vector<double>& falling) {
    if (!falling.empty()) falling_.Append(falling.data(), falling.size());
    eye_.AddWave(equalised, n);
    std::size_t held = 0;  // start of the present run of edges where the clock holds
    for (std::size_t i = 0; i < falling.size(); ++i) {
        if (hold_.Holds(falling[i])) continue;
        eye_.AddEdges(falling.data() + held, i - held);
        eye_.Break();
        held = i + 1;
        if (falling[i] >= countStart_ && !CountComplete()) ++eyeLeftOut_;
    }
    eye_.AddEdges(falling.data() + held, falling.size() - held);
    statistics_.AddBlock(equalised, n, falling.data(), falling.size());
}

void LinkAnalysis::Finish(RunReport& report) {
    const std::size_t stride = (falling_.Size() + settings_.plotEdges - 1) / std::max<std::size_t>(1, settings_.plotEdges);
    const SpillSeries<double> falling(falling_);
    // The clock's figures on a second thread, beside the rest, which reads the same clock times.
    falling_.Flush();
    std::future<ClockAnalysis> clockLater = std::async(std::launch::async, [this, &falling, stride] {
        ClockAnalysis clock = AnalyzeClock(falling, settings_.bitTime, ClockLockCriteria(), stride);
        const double dataUi = settings_.dataUnitInterval > 0.0 ? settings_.dataUnitInterval : settings_.bitTime;
        JudgeClockAgainstData(falling, settings_.bitTime, dataUi, PhaseLockCriteria(), clock);
        return clock;
    });
    report.eye = eye_.Finish();
    report.eye.clockNotHeldUi = eyeLeftOut_;
    const PrbsSeries sent(settings_.prbsOrder, settings_.seed, static_cast<std::size_t>(settings_.bits));
    const SpillSeries<std::uint8_t> received(received_);
    const std::uint64_t end = countLimit_ == UINT64_MAX ? received_.Size()
                                                        : std::min<std::uint64_t>(received_.Size(), beforeStart_ + countLimit_);
    report.ber = CountBitErrors(sent, PrefixSeries<std::uint8_t>(received, static_cast<std::size_t>(end)), beforeStart_,
                                settings_.maxLatency);
    if (countLimit_ != UINT64_MAX) report.ber.bitsAsked = countLimit_;
    statistics_.Finish(falling, report);
    const PrefixSeries<std::uint8_t> judged(received, static_cast<std::size_t>(end));
    report.decisionPattern = FindDecisionPattern(judged, beforeStart_);
    // Where an oscillation began, which may be well before the count.
    const DecisionPattern whole = FindDecisionPattern(judged, 0);
    if (report.decisionPattern.oscillating && whole.oscillating)
        report.decisionPattern.oscillationFromBit = whole.oscillationFromBit;
    report.clock = clockLater.get();
}

}  // namespace ksim
