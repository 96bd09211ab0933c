#include "sim/report/StatisticsJson.h"

#include <cmath>
#include <string>

namespace ksim {

namespace {

using Json = nlohmann::ordered_json;

const char* const kNotMeasured = "not measured";

Json Points(const std::vector<BathtubPoint>& points, const char* positionName) {
    std::vector<double> positions, ber;
    std::vector<bool> counted;
    for (const BathtubPoint& p : points) {
        positions.push_back(p.position);
        ber.push_back(p.ber);
        counted.push_back(p.counted);
    }
    Json j;
    j[positionName] = positions;
    j["ber"] = ber;
    j["counted"] = counted;
    return j;
}

Json TieJson(const TieAnalysis& tie, double bitTime) {
    Json j;
    j["measured"] = tie.measured;
    if (!tie.measured) {
        j["reason"] = tie.reason;
        for (const char* key : {"rms_ui", "peak_to_peak_ui", "rj_ui", "dj_ui", "tj_ui_at_1e-12"}) j[key] = kNotMeasured;
        return j;
    }
    j["events"] = tie.events;
    j["grid_period_s"] = tie.gridPeriodS;
    j["frequency_offset_ppm"] = tie.frequencyOffsetPpm;
    j["rms_ui"] = tie.rmsUi;
    j["peak_to_peak_ui"] = tie.peakToPeakUi;
    j["rms_ps"] = tie.rmsUi * bitTime * 1e12;
    j["peak_to_peak_ps"] = tie.peakToPeakUi * bitTime * 1e12;
    if (tie.splitMeasured) {
        j["rj_ui"] = tie.rjUi;
        j["dj_ui"] = tie.djUi;
        j["tj_ui_at_1e-12"] = tie.tjUi;
        j["rj_ps"] = tie.rjUi * bitTime * 1e12;
        j["dj_ps"] = tie.djUi * bitTime * 1e12;
        j["tj_ps_at_1e-12"] = tie.tjUi * bitTime * 1e12;
    } else {
        for (const char* key : {"rj_ui", "dj_ui", "tj_ui_at_1e-12"}) j[key] = kNotMeasured;
        j["split_reason"] = tie.splitReason;
    }
    j["histogram"] = {{"min_ui", tie.minUi}, {"max_ui", tie.maxUi}, {"counts", tie.histogram}};
    return j;
}

}  // namespace

std::string AtBerKey(const std::string& figure, double targetBer) {
    const int exponent = static_cast<int>(std::lround(std::log10(targetBer)));
    return figure + "_at_1e" + std::to_string(exponent);
}

Json BathtubJson(const BathtubAnalysis& b) {
    Json j;
    j["measured"] = b.measured;
    if (!b.measured) j["reason"] = b.reason;
    j["conditioning"] = b.conditioning;
    j["method"] = b.method;
    j["unit_intervals"] = b.unitIntervals;
    j["unknown_intervals"] = b.unknownIntervals;
    j["pattern_resyncs"] = b.resyncs;
    for (double target : {1e-6, 1e-12}) {
        Json width = kNotMeasured, height = kNotMeasured;
        for (const EyeAtBer& at : b.eyeAt)
            if (at.targetBer == target) {
                width = at.widthUi;
                height = at.heightV;
            }
        j[AtBerKey("width_ui", target)] = width;
        j[AtBerKey("height_v", target)] = height;
    }
    if (b.measured) {
        j["errors_at_sampling_point"] = b.errorsAtSamplingPoint;
        j["horizontal"] = Points(b.horizontal, "phase_ui");
        j["vertical"] = Points(b.vertical, "threshold_v");
    }
    return j;
}

Json JitterJson(const JitterAnalysis& jitter, double bitTime) {
    Json j;
    j["method"] = jitter.method;
    j["clock"] = TieJson(jitter.clock, bitTime);
    j["data"] = TieJson(jitter.data, bitTime);
    return j;
}

}  // namespace ksim
