#include "sim/report/Verdicts.h"

#include "sim/report/NumberFormat.h"
#include "sim/report/SummaryJson.h"

namespace ksim {

namespace {

const char* const kPass = "pass";
const char* const kFail = "fail";
const char* const kNotMeasured = "not measured";

std::string Signed(double value, int decimals) { return (value >= 0 ? "+" : "") + FormatFixed(value, decimals); }

RunVerdict ClockVerdict(const ClockAnalysis& c) {
    const std::string tolerance = "within \xC2\xB1" + FormatFixed(c.phaseToleranceUi, 2) + " UI of the data";
    if (c.edges < 2) return {"Clock recovery", kNotMeasured, "Not locked", "no clock edges were reported"};
    if (c.locked && c.stuck)
        return {"Clock recovery", kFail, "Not acquired",
                "the loop never moved from where it started (" + FormatFixed(c.rmsJitterUi * 1e3, 2) +
                    " mUI RMS jitter); simulate with a frequency offset (--ppm)"};
    if (c.locked)
        return {"Clock recovery", kPass, "Locked",
                (c.lockEdge == 0 ? std::string("from the first edge (the loop started there)")
                                 : "after " + FormatFixed(c.lockTimeS * 1e6, 3) + " \xC2\xB5s") +
                    ", phase " + tolerance + ", " +
                    FormatFixed(c.rmsJitterUi * 1e3, 2) + " mUI RMS jitter"};
    return {"Clock recovery", kFail, "Not locked",
            "the phase never held " + tolerance + ": mean period " + FormatFixed(c.overallPeriodUi, 6) + " UI (" +
                Signed(c.dataOffsetPpm, 0) + " ppm against the data), " + FormatCount(c.slips) + " slips over " +
                FormatCount(c.edges) + " clock edges"};
}

RunVerdict AdaptationVerdict(const AdaptationSummary& a, const RunLength& length) {
    const std::string cap = length.capHit ? "; the run stopped at the --max-bits cap" : "";
    if (a.complete)
        return {"Adaptation", kPass, "Complete",
                std::to_string(a.steps.size()) + " steps, equaliser index " + std::to_string(a.chosenTableIndex)};
    if (a.steps.empty()) return {"Adaptation", kNotMeasured, "Not complete", "no adaptation steps were recorded" + cap};
    return {"Adaptation", kFail, "Not complete", std::to_string(a.steps.size()) + " steps recorded" + cap};
}

RunVerdict BerVerdict(const BerResult& b) {
    const std::string slips =
        b.realignments > 0 ? "; the count followed " + FormatCount(b.realignments) + " cycle slips" : "";
    if (b.aligned && b.bitsCompared > 0 && b.errors == 0)
        return {"Bit errors", kPass, "Error free",
                "0 errors in " + FormatCount(b.bitsCompared) + " bits, BER < " +
                    FormatScientific(ZeroErrorBerLimit95(b.bitsCompared), 2) + " (95 % confidence)" + slips};
    if (b.aligned && b.bitsCompared > 0)
        return {"Bit errors", kFail, "BER " + FormatScientific(b.Ber(), 3),
                FormatCount(b.errors) + " errors in " + FormatCount(b.bitsCompared) + " bits" + slips};
    if (b.aligned) return {"Bit errors", kNotMeasured, "No bits counted", FormatCount(b.ignoredBits) + " bits ignored"};
    if (b.bestMismatch > 0)
        return {"Bit errors", kFail, "Not aligned",
                "no latency and polarity explain the decisions: they differ from the sent bits in " +
                    FormatFixed(b.bestMismatch * 100, 1) + " %"};
    return {"Bit errors", kNotMeasured, "Not aligned", "too few decisions to compare with the sent bits"};
}

std::string LeftOut(const EyeAnalysis& e) {
    return e.clockNotHeldUi > 0 ? " (" + FormatCount(e.clockNotHeldUi) + " left out where the clock did not hold)" : "";
}

RunVerdict EyeVerdict(const EyeAnalysis& e) {
    if (e.traces == 0 && e.clockNotHeldUi > 0)
        return {"Eye", kNotMeasured, "No eye",
                "the clock never held the data's phase, so none of the " + FormatCount(e.clockNotHeldUi) +
                    " counted unit intervals was folded"};
    if (e.traces == 0) return {"Eye", kNotMeasured, "No eye", "no unit intervals were folded"};
    if (e.heightV > 0)
        return {"Eye", kPass, "Open",
                FormatFixed(e.heightV * 1e3, 1) + " mV \xC3\x97 " + FormatFixed(e.widthUi, 3) + " UI over " +
                    FormatCount(e.traces) + " unit intervals" + LeftOut(e)};
    return {"Eye", kFail, "Closed",
            "no opening at the sampling point over " + FormatCount(e.traces) + " unit intervals" + LeftOut(e)};
}

}  // namespace

std::vector<RunVerdict> JudgeVerdicts(const RunReport& r) {
    return {ClockVerdict(r.clock), AdaptationVerdict(r.adaptation, r.runLength), BerVerdict(r.ber), EyeVerdict(r.eye)};
}

}  // namespace ksim
