// The run's verdicts (pass, fail, not measured) and its plain-word diagnoses, on made-up run figures.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/analysis/Diagnoses.h"
#include "sim/report/Verdicts.h"

using namespace ksim;

namespace {

RunReport Healthy() {
    RunReport r;
    r.clock.edges = 200000;
    r.clock.locked = true;
    r.clock.lockEdge = 2800;
    r.clock.lockTimeS = 1e-7;
    r.clock.phaseToleranceUi = 0.1;
    r.clock.rmsJitterUi = 0.03;
    r.adaptation.complete = true;
    r.adaptation.steps.resize(40);
    for (AdaptationStep& s : r.adaptation.steps) s.heo = 0.5, s.veo = 0.2;
    r.adaptation.chosenTableIndex = 13;
    r.ber.aligned = true;
    r.ber.bitsCompared = 100000;
    r.eye.traces = 100000;
    r.eye.heightV = 0.3;
    r.eye.widthUi = 0.7;
    r.decisionPattern.decisions = 100000;
    r.decisionPattern.alternatingShare = 0.5;
    return r;
}

// The long backplane: every sweep step shut, tap 1 at its limit, the DFE oscillating, the clock slipping.
RunReport Backplane() {
    RunReport r = Healthy();
    r.clock.locked = false;
    r.clock.lockTimeS = 0;
    r.clock.slips = 109;
    r.clock.edges = 307283;
    r.clock.overallPeriodUi = 1.000356;
    r.clock.dataOffsetPpm = 356;
    for (AdaptationStep& s : r.adaptation.steps) s.heo = 0, s.veo = 0;
    r.adaptation.steps[30].heo = 1;  // the monitor's open eye once the DFE oscillates: after the sweep
    r.adaptation.chosenTableIndex = 14;
    r.adaptation.finalTaps[0] = 0.31;
    r.ber = BerResult();
    r.ber.bestMismatch = 0.498;
    r.decisionPattern.alternatingShare = 0.995;
    r.decisionPattern.oscillating = true;
    r.decisionPattern.oscillationFromBit = 116736;
    r.eye = EyeAnalysis();
    return r;
}

}  // namespace

TEST(Verdicts, ThreeStatesWithTheirReasons) {
    RunReport stuck = Healthy();
    stuck.clock.stuck = true;
    RunReport fromStart = Healthy();
    fromStart.clock.lockEdge = 0;
    fromStart.clock.lockTimeS = 0;
    RunReport slipping = Healthy();
    slipping.ber.errors = 12;
    slipping.ber.realignments = 2;
    slipping.eye.heightV = 0;
    RunReport capped = Healthy();
    capped.adaptation.complete = false;
    capped.runLength.capHit = true;
    capped.ber.bitsCompared = 0;
    const struct Case {
        const char* what;
        RunReport report;
        std::vector<std::string> states;          // clock, adaptation, bit errors, eye
        std::vector<std::string> headlines;
        std::string reasonPart;                   // in one of the reasons
    } cases[] = {
        {"healthy", Healthy(), {"pass", "pass", "pass", "pass"}, {"Locked", "Complete", "Error free", "Open"},
         "after 0.100 \xC2\xB5s, phase within \xC2\xB1" "0.10 UI of the data"},
        {"empty", RunReport(), {"not measured", "not measured", "not measured", "not measured"},
         {"Not locked", "Not complete", "Not aligned", "No eye"}, "no clock edges were reported"},
        {"backplane", Backplane(), {"fail", "pass", "fail", "not measured"},
         {"Not locked", "Complete", "Not aligned", "No eye"}, "differ from the sent bits in 49.8 %"},
        {"stuck", stuck, {"fail", "pass", "pass", "pass"}, {"Not acquired", "Complete", "Error free", "Open"}, "--ppm"},
        {"locked from the start", fromStart, {"pass", "pass", "pass", "pass"}, {"Locked", "Complete", "Error free", "Open"},
         "from the first edge (the loop started there), phase within \xC2\xB1" "0.10 UI of the data"},
        {"slipping", slipping, {"pass", "pass", "fail", "fail"}, {"Locked", "Complete", "BER 1.20e-4", "Closed"},
         "followed 2 cycle slips"},
        {"capped", capped, {"pass", "fail", "not measured", "pass"}, {"Locked", "Not complete", "No bits counted", "Open"},
         "--max-bits cap"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<RunVerdict> v = JudgeVerdicts(c.report);
        ASSERT_EQ(v.size(), 4u);
        std::string reasons;
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(v[i].state, c.states[i]) << v[i].what;
            EXPECT_EQ(v[i].headline, c.headlines[i]) << v[i].what;
            EXPECT_FALSE(v[i].reason.empty()) << v[i].what;
            reasons += v[i].reason + "\n";
        }
        EXPECT_NE(reasons.find(c.reasonPart), std::string::npos) << reasons;
    }
}

TEST(Diagnoses, PlainWordsWhereTheFiguresShowThem) {
    const DiagnosisSettings defaults;
    DiagnosisSettings fixedDfe;
    fixedDfe.tap1LimitV = 0;  // no tap search: a tap at the bound was asked for, not walked there
    RunReport nearHalf = Healthy();
    nearHalf.ber.errors = 40000;
    RunReport slipping = Healthy();
    slipping.ber.realignments = 3;
    slipping.ber.slipBits = 192;
    slipping.ber.slipErrors = 40;
    const struct Case {
        const char* what;
        RunReport report;
        DiagnosisSettings settings;
        std::vector<std::string> says;  // one part of each finding, in order
    } cases[] = {
        {"healthy", Healthy(), defaults, {}},
        {"backplane", Backplane(), defaults,
         {"the DFE is oscillating: 99.5 % of decisions alternate (each the opposite of the one before), from about "
          "decision 116 736 on",
          "no equaliser setting opened the eye during the sweep: all 16 measured HEO = VEO = 0, so index 14",
          "the recovered clock drifts off the data: mean period 1.000356 UI (+356 ppm against the data), 109 unit "
          "intervals slipped over 307 282 clock periods (one every 2 819 bits)",
          "DFE tap 1 ended at its limit of 0.310 V", "the BER is near one half: no latency explains the decisions, which "
          "differ from the sent bits in 49.8 % of the counted bits"}},
        {"backplane, taps fixed", Backplane(), fixedDfe,
         {"the DFE is oscillating", "no equaliser setting", "the recovered clock drifts", "the BER is near one half"}},
        {"aligned near a half", nearHalf, defaults, {"the BER is near one half (0.400 over 100 000 bits)"}},
        {"slips followed", slipping, defaults,
         {"the decisions moved 3 times against the sent bits (cycle slips); the count followed them, with the 192 bits "
          "next to the moves counted apart (40 errors among them)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::string> found = DiagnoseRun(c.report, c.settings);
        ASSERT_EQ(found.size(), c.says.size());
        for (std::size_t i = 0; i < found.size(); ++i) EXPECT_NE(found[i].find(c.says[i]), std::string::npos) << found[i];
    }
}
