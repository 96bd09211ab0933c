#include "sim/analysis/Diagnoses.h"

#include <cmath>
#include <cstdio>

namespace ksim {

namespace {

constexpr double kOscillationShare = 0.9;
constexpr double kBerNearHalf = 0.25;
constexpr double kUnalignedNearHalf = 0.3;

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// 123456 as "123 456"
std::string Count(std::uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
        out += digits[i];
    }
    return out;
}

// Shares floored to 0.1 %, so that 99.96 % does not read as all
std::string Percent(double share) { return Fixed(std::floor(share * 1000.0) / 10.0, 1) + " %"; }

}  // namespace

std::vector<std::string> DiagnoseRun(const RunReport& r, const DiagnosisSettings& settings) {
    std::vector<std::string> found;
    const DecisionPattern& d = r.decisionPattern;
    if (d.decisions > 1 && d.alternatingShare >= kOscillationShare)
        found.push_back("the DFE is oscillating: " + Percent(d.alternatingShare) +
                        " of decisions alternate (each the opposite of the one before)" +
                        (d.oscillating ? ", from about decision " + Count(d.oscillationFromBit) + " on" : std::string()));

    const AdaptationSummary& a = r.adaptation;
    if (settings.sweepRan && a.steps.size() >= settings.sweepSteps && settings.sweepSteps > 0) {
        bool shut = true;
        for (std::size_t i = 0; i < settings.sweepSteps; ++i) shut = shut && a.steps[i].heo == 0 && a.steps[i].veo == 0;
        if (shut)
            found.push_back("no equaliser setting opened the eye during the sweep: all " +
                            std::to_string(settings.sweepSteps) + " measured HEO = VEO = 0, so index " +
                            std::to_string(a.chosenTableIndex) + " was chosen by the tie rule, not by a measurement");
    }

    const ClockAnalysis& c = r.clock;
    if (!c.locked && c.slips > 0 && c.edges > 1) {
        const double perBit = static_cast<double>(c.slips) / static_cast<double>(c.edges - 1);
        found.push_back("the recovered clock drifts off the data: mean period " + Fixed(c.overallPeriodUi, 6) + " UI (" +
                        (c.dataOffsetPpm >= 0 ? "+" : "") + Fixed(c.dataOffsetPpm, 0) + " ppm against the data), " +
                        Count(c.slips) + " unit intervals slipped over " + Count(c.edges - 1) +
                        " clock periods (one every " + Count(static_cast<std::uint64_t>(std::round(1.0 / perBit))) +
                        " bits)");
    }

    if (settings.tap1LimitV > 0 && std::fabs(a.finalTaps[0]) >= settings.tap1LimitV - 1e-9)
        found.push_back("DFE tap 1 ended at its limit of " + Fixed(settings.tap1LimitV, 3) +
                        " V (DFETap1Limit): the tap search pushed it as far as it goes");

    const BerResult& b = r.ber;
    if (b.aligned && b.bitsCompared > 0 && b.Ber() > kBerNearHalf)
        found.push_back("the BER is near one half (" + Fixed(b.Ber(), 3) + " over " + Count(b.bitsCompared) +
                        " bits): the decisions carry almost nothing of the data");
    else if (!b.aligned && b.bestMismatch > kUnalignedNearHalf)
        found.push_back("the BER is near one half: no latency explains the decisions, which differ from the sent bits "
                        "in " + Percent(b.bestMismatch) + " of the counted bits, as decisions unrelated to the data do");

    if (b.realignments > 0)
        found.push_back("the decisions moved " + Count(b.realignments) +
                        " times against the sent bits (cycle slips); the count followed them, with the " +
                        Count(b.slipBits) + " bits next to the moves counted apart (" + Count(b.slipErrors) +
                        " errors among them)");
    return found;
}

}  // namespace ksim
