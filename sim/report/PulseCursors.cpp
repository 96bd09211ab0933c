#include "sim/report/PulseCursors.h"

#include <cmath>

namespace ksim {

double ChannelSamplesPerUi(const RunReport& report) {
    if (report.bitTime > 0 && report.channel.sampleInterval > 0) return report.bitTime / report.channel.sampleInterval;
    return report.samplesPerBit > 0 ? report.samplesPerBit : 0;
}

PulseCursors MeasurePulseCursors(const RunReport& report, int precursors, int postcursors) {
    return MeasureCursors(report.channel.pulseResponse, ChannelSamplesPerUi(report), precursors, postcursors);
}

PulseCursors MeasureCursors(const std::vector<double>& p, double samplesPerUi, int precursors, int postcursors) {
    PulseCursors cursors;
    cursors.samplesPerUi = samplesPerUi;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (std::isfinite(p[i]) && std::fabs(p[i]) > std::fabs(p[cursors.peakIndex])) cursors.peakIndex = i;
    }
    if (p.empty() || !(cursors.samplesPerUi > 0) || !(std::fabs(p[cursors.peakIndex]) > 0)) return cursors;
    cursors.valid = true;
    const double peak = static_cast<double>(cursors.peakIndex);
    for (int k = -precursors; k <= postcursors; ++k) {
        const double at = std::round(peak + k * cursors.samplesPerUi);
        if (at < 0) continue;
        if (at > static_cast<double>(p.size() - 1)) break;
        if (cursors.values.empty()) cursors.firstCursor = k;
        cursors.values.push_back(p[static_cast<std::size_t>(at)]);
    }
    return cursors;
}

}  // namespace ksim
