#include "sim/report/SummaryJson.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "rx/KelvaneRx.h"
#include "sim/report/EqualiserReport.h"
#include "sim/report/FileOutput.h"
#include "sim/report/PulseCursors.h"
#include "sim/report/StatisticsJson.h"
#include "sim/report/SvgPlot.h"
#include "sim/report/Verdicts.h"

namespace ksim {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kPeriodTracePoints = 500;

Json Taps(const double (&taps)[kelvane_rx::kDfeTaps]) {
    Json list = Json::array();
    for (double tap : taps) list.push_back(tap);
    return list;
}

Json ChannelJson(const RunReport& report) {
    const ChannelInfo& c = report.channel;
    Json pulse = Json::object();
    const PulseCursors cursors = MeasurePulseCursors(report, 2, 10);
    pulse["samples"] = c.pulseResponse.size();
    if (cursors.valid) {
        pulse["peak_index"] = cursors.peakIndex;
        pulse["peak_v"] = c.pulseResponse[cursors.peakIndex];
        pulse["first_cursor"] = cursors.firstCursor;
        pulse["cursors_v"] = cursors.values;
    }
    Json j;
    j["kind"] = c.kind;
    j["source"] = c.source;
    j["loss_db_at_nyquist"] = c.lossDbAtNyquist;
    if (c.extraLossDbAtNyquist > 0) j["extra_loss_db_at_nyquist"] = c.extraLossDbAtNyquist;
    j["dc_gain"] = c.dcGain;
    j["sample_interval_s"] = c.sampleInterval;
    j["delay_samples"] = c.delaySamples;
    j["delay_s"] = static_cast<double>(c.delaySamples) * c.sampleInterval;
    j["pulse_response"] = pulse;
    return j;
}

Json BerJson(const BerResult& ber) {
    Json j;
    j["aligned"] = ber.aligned;
    j["latency_bits"] = ber.latencyBits;
    j["inverted"] = ber.inverted;
    j["ignored_bits"] = ber.ignoredBits;
    j["bits_compared"] = ber.bitsCompared;
    j["errors"] = ber.errors;
    j["ber"] = ber.Ber();
    j["ber_limit_95"] = ber.errors == 0 && ber.bitsCompared > 0 ? Json(ZeroErrorBerLimit95(ber.bitsCompared)) : Json();
    j["bits_asked"] = ber.bitsAsked;
    j["realignments"] = ber.realignments;
    j["slip_bits"] = ber.slipBits;
    j["slip_errors"] = ber.slipErrors;
    j["segments"] = {{"latency_bits", ber.latencies}, {"bits", ber.segmentBits}, {"errors", ber.segmentErrors}};
    j["unaligned_mismatch"] = !ber.aligned && ber.bestMismatch > 0 ? Json(ber.bestMismatch)
                                                                   : Json("not measured: the decisions are aligned or too few");
    return j;
}

Json ClockJson(const ClockAnalysis& clock) {
    std::vector<double> times, periods;
    const std::size_t n = clock.timesS.empty() ? 0 : std::min(clock.periodsUi.size(), clock.timesS.size() - 1);
    for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(clock.timesS[k + 1]) || !std::isfinite(clock.periodsUi[k])) continue;
        times.push_back(clock.timesS[k + 1] * 1e6);
        periods.push_back(clock.periodsUi[k]);
    }
    std::vector<double> keptTimes, keptPeriods;
    DecimateMinMax(times, periods, kPeriodTracePoints, keptTimes, keptPeriods);
    Json j;
    j["edges"] = clock.edges;
    j["locked"] = clock.locked;
    j["acquired"] = clock.locked && !clock.stuck;
    j["lock_time_s"] = clock.lockTimeS;
    j["mean_period_ui"] = clock.meanPeriodUi;
    j["frequency_offset_ppm"] = clock.frequencyOffsetPpm;
    j["rms_jitter_ui"] = clock.rmsJitterUi;
    j["overall_period_ui"] = clock.overallPeriodUi;
    j["overall_offset_ppm"] = clock.overallOffsetPpm;
    j["data_period_ui"] = clock.dataPeriodUi;
    j["offset_from_data_ppm"] = clock.dataOffsetPpm;
    j["phase_tolerance_ui"] = clock.phaseToleranceUi;
    j["lock_phase_ui"] = clock.locked ? Json(clock.lockPhaseUi) : Json("not measured: no lock");
    j["drift_ui"] = clock.driftUi;
    j["slips"] = clock.slips;
    j["slips_per_bit"] = clock.edges > 1 ? static_cast<double>(clock.slips) / static_cast<double>(clock.edges - 1) : 0.0;
    j["period_trace"] = {{"decimation", "min/max"}, {"time_us", keptTimes}, {"period_ui", keptPeriods}};
    return j;
}

Json EyeJson(const EyeAnalysis& eye) {
    Json j;
    j["traces"] = eye.traces;
    j["height_v"] = eye.heightV;
    j["width_ui"] = eye.widthUi;
    j["left_out_clock_not_held_ui"] = eye.clockNotHeldUi;
    j["sampling_phase_ui"] = eye.samplingPhaseUi;
    j["phase_bins"] = eye.phaseBins;
    j["level_bins"] = eye.levelBins;
    j["level_min_v"] = eye.levelMinV;
    j["level_max_v"] = eye.levelMaxV;
    return j;
}

Json AdaptationJson(const AdaptationSummary& a) {
    Json steps = Json::array();
    for (std::size_t i = 0; i < a.steps.size(); ++i) {
        const AdaptationStep& s = a.steps[i];
        Json step;
        step["step"] = i + 1;
        step["vga_gain"] = s.vgaGain;
        step["eq_high_gain"] = s.eqHighGain;
        step["table_index"] = s.tableIndex;
        step["ctle_column"] = s.ctleColumn;
        step["taps_v"] = Taps(s.taps);
        step["heo_ui"] = s.heo;
        step["veo_v"] = s.veo;
        step["merit"] = s.Merit();
        steps.push_back(step);
    }
    Json j;
    j["complete"] = a.complete;
    j["completed_at_s"] = a.completedAtS;
    j["chosen_table_index"] = a.chosenTableIndex;
    j["chosen_column"] = a.chosenColumn;
    j["final_taps_v"] = Taps(a.finalTaps);
    j["step_count"] = a.steps.size();
    j["steps"] = steps;
    return j;
}

Json AppliedJson(const std::vector<AppliedParameter>& rows) {
    Json j = Json::object();
    for (const AppliedParameter& p : rows)
        j[p.name] = {{"requested", p.requested.empty() ? Json() : Json(p.requested)}, {"applied", p.applied},
                     {"changed_by_model", p.differs}};
    return j;
}

}  // namespace

double ZeroErrorBerLimit95(std::uint64_t bits) {
    return bits == 0 ? 0.0 : -std::log(0.05) / static_cast<double>(bits);
}

std::string SummaryJsonText(const RunReport& r) { return SummaryJsonText(r, ComputeEqualiserViews(r)); }

std::string SummaryJsonText(const RunReport& r, const EqualiserViews& views) {
    Json j;
    j["tool"] = {{"name", "kelvane-sim"}, {"version", r.toolVersion}, {"command_line", r.commandLine}};
    j["verdict"] = {{"clock_locked", r.clock.locked && !r.clock.stuck},
                    {"adaptation_complete", r.adaptation.complete},
                    {"error_free", r.ber.aligned && r.ber.bitsCompared > 0 && r.ber.errors == 0}};
    Json verdicts = Json::array();
    for (const RunVerdict& v : JudgeVerdicts(r))
        verdicts.push_back({{"what", v.what}, {"state", v.state}, {"headline", v.headline}, {"reason", v.reason}});
    j["verdicts"] = verdicts;
    j["diagnoses"] = r.diagnoses;
    j["libraries"] = {{"tx", r.txLibrary}, {"rx", r.rxLibrary}};
    j["parameters"] = {{"tx", r.txParameters}, {"rx", r.rxParameters}};
    j["applied_parameters"] = {{"tx", AppliedJson(r.txApplied)}, {"rx", AppliedJson(r.rxApplied)}};
    j["init_messages"] = {{"tx", r.txInitMessage}, {"rx", r.rxInitMessage}};
    j["timing"] = {{"bit_time_s", r.bitTime},
                   {"bit_rate_gbps", r.bitTime > 0 ? 1e-9 / r.bitTime : 0.0},
                   {"sample_interval_s", r.sampleInterval},
                   {"samples_per_bit", r.samplesPerBit},
                   {"block_size", r.blockSize}};
    j["stimulus"] = {{"prbs", r.prbs}, {"bits", r.bits}, {"noise_rms_v", r.noiseRmsV}, {"tx_clock_offset_ppm", r.txPpm}};
    if (r.txFfeKnown)
        j["tx_ffe_weights"] = {{"pre", r.txFfeWeights[0]}, {"main", r.txFfeWeights[1]}, {"post", r.txFfeWeights[2]}};
    j["channel"] = ChannelJson(r);
    j["ber"] = BerJson(r.ber);
    j["clock"] = ClockJson(r.clock);
    j["eye"] = EyeJson(r.eye);
    j["bathtub"] = BathtubJson(r.bathtub);
    j["jitter"] = JitterJson(r.jitter, r.bitTime);
    j["adaptation"] = AdaptationJson(r.adaptation);
    j["equaliser"] = EqualiserJson(r, views);
    j["decisions"] = {{"counted", r.decisionPattern.decisions},
                      {"alternating_share", r.decisionPattern.alternatingShare},
                      {"oscillating", r.decisionPattern.oscillating},
                      {"oscillating_from_decision", r.decisionPattern.oscillating ? Json(r.decisionPattern.oscillationFromBit)
                                                                                  : Json("not measured: no oscillation")}};
    j["run_length"] = {{"until_adapted", r.runLength.untilAdapted},
                       {"bits_to_count", r.runLength.bitsToCount},
                       {"max_bits", r.runLength.maxBits},
                       {"bits_simulated", r.bits},
                       {"cap_hit", r.runLength.capHit},
                       {"cap_note", r.runLength.capNote}};
    j["performance"] = {{"wall_seconds", r.wallSeconds}, {"samples_per_second", r.samplesPerSecond}};
    j["warnings"] = r.warnings;
    // model messages are arbitrary bytes; the default handler would throw on invalid UTF-8
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

void WriteSummaryJson(const RunReport& report, const std::string& path) {
    WriteTextFile(path, SummaryJsonText(report));
}

}  // namespace ksim
