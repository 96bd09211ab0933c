#include "sim/analysis/EqualiserViews.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "rx/CtleBank.h"
#include "rx/EqualiserSelection.h"
#include "rx/KelvaneRx.h"

namespace ksim {
namespace {

bool AppliedValueOf(const std::vector<AppliedParameter>& applied, const std::string& name, double& value) {
    for (const AppliedParameter& p : applied) {
        if (p.name == name) {
            value = p.applied;
            return true;
        }
    }
    return false;
}

int GainBit(const std::vector<AppliedParameter>& applied, const char* name) {
    double value = 0;
    AppliedValueOf(applied, name, value);
    return value >= 1 ? 1 : 0;  // the receiver limits both gain bits to 0..1
}

// The frequencies of the views: the channel's own, else up to three times the Nyquist frequency.
void FrequencyGrid(const RunReport& report, EqualiserViews& views) {
    const ChannelInfo& c = report.channel;
    for (std::size_t k = 0; k < std::min(c.lossFrequencyHz.size(), c.lossDb.size()); ++k) {
        if (!std::isfinite(c.lossDb[k]) || !std::isfinite(c.lossFrequencyHz[k])) continue;
        views.frequencyHz.push_back(c.lossFrequencyHz[k]);
        views.channelDb.push_back(-c.lossDb[k]);
    }
    if (!views.frequencyHz.empty()) return;
    const double top = 1.5 / report.bitTime;
    for (int k = 0; k <= 300; ++k) views.frequencyHz.push_back(top * k / 300);
}

// Full linear convolution of a pulse with FIR taps.
std::vector<double> Convolve(const std::vector<double>& pulse, const std::vector<double>& taps) {
    if (pulse.empty() || taps.empty()) return {};
    std::vector<double> out(pulse.size() + taps.size() - 1, 0.0);
    for (std::size_t n = 0; n < pulse.size(); ++n)
        for (std::size_t k = 0; k < taps.size(); ++k) out[n + k] += pulse[n] * taps[k];
    return out;
}

}  // namespace

std::vector<double> FirGainDb(const std::vector<double>& taps, double dt, const std::vector<double>& frequencyHz) {
    const double twoPi = 2 * std::acos(-1.0);
    std::vector<double> gain;
    gain.reserve(frequencyHz.size());
    for (double f : frequencyHz) {
        // each term's phase computed directly, so long filters do not accumulate rounding
        std::complex<double> sum = 0;
        for (std::size_t k = 0; k < taps.size(); ++k) sum += taps[k] * std::polar(1.0, -twoPi * f * dt * static_cast<double>(k));
        gain.push_back(20 * std::log10(std::abs(sum)));
    }
    return gain;
}

EqualiserViews ComputeEqualiserViews(const RunReport& report) {
    EqualiserViews views;
    if (!(report.bitTime > 0) || report.samplesPerBit <= 0) {
        views.reason = "the run's bit time and samples per bit are unknown";
        return views;
    }
    std::vector<double> codes(kelvane_rx::kEqTableLength);
    for (int i = 0; i < kelvane_rx::kEqTableLength; ++i) {
        if (!AppliedValueOf(report.rxApplied, "EQ_TABLE." + std::to_string(i), codes[i])) {
            views.reason = "the receiver's EQ_TABLE is not in the run's applied parameters";
            return views;
        }
    }
    views.vgaGain = GainBit(report.rxApplied, "VGA_GAIN");
    views.eqHighGain = GainBit(report.rxApplied, "EQ_HIGAIN");
    views.sampleInterval = report.bitTime / report.samplesPerBit;
    views.samplesPerUi = report.samplesPerBit;
    FrequencyGrid(report, views);

    // the receiver's equaliser block, at the run's sample rate; each setting rebuilds its taps from a column
    EqualiserSection section;
    section.samplesPerBit = report.samplesPerBit;
    section.bitTime = report.bitTime;
    if (!section.Setup()) {
        views.reason = "the receiver's equaliser refused the run's sample rate";
        return views;
    }
    const std::vector<double> dcAndNyquist = {0.0, 0.5 / report.bitTime};
    std::vector<std::vector<double>> taps;
    for (int i = 0; i < kelvane_rx::kEqTableLength; ++i) {
        EqualiserSetting s;
        s.tableIndex = i;
        s.code = codes[i];
        s.selection = EqualiserSelectionIndex(views.vgaGain, views.eqHighGain, codes[i]);
        s.outsideBank = s.selection < 1 || s.selection > kCtleBankResponses;
        s.column = s.outsideBank ? 0 : s.selection - 1;
        section.equaliser.SelectionIndex = s.selection;
        if (!section.equaliser.Setup()) {
            views.reason = "the receiver's equaliser could not build the taps of table entry " + std::to_string(i);
            return views;
        }
        const Velmora::TimeResponseFIR& filter = section.equaliser.filter;
        taps.emplace_back(filter.Taps, filter.Taps + filter.NumberOfTaps);
        s.gainDb = FirGainDb(taps.back(), views.sampleInterval, views.frequencyHz);
        const std::vector<double> marks = FirGainDb(taps.back(), views.sampleInterval, dcAndNyquist);
        s.dcGainDb = marks[0];
        s.nyquistGainDb = marks[1];
        views.table.push_back(std::move(s));
    }
    views.pulseBefore = report.channel.pulseResponse;
    const int chosen = report.adaptation.chosenTableIndex;
    if (chosen >= 0 && chosen < kelvane_rx::kEqTableLength) {
        views.chosen = chosen;
        if (!views.channelDb.empty()) {
            for (std::size_t k = 0; k < views.channelDb.size(); ++k)
                views.combinedDb.push_back(views.channelDb[k] + views.table[chosen].gainDb[k]);
        }
        views.pulseAfter = Convolve(views.pulseBefore, taps[chosen]);
    }
    views.available = true;
    return views;
}

}  // namespace ksim
