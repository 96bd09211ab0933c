#include "sim/report/StatisticsText.h"

#include <cstdio>

namespace ksim {

namespace {

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string TieText(const char* name, const TieAnalysis& tie) {
    if (!tie.measured) return std::string(name) + " not measured (" + tie.reason + ")";
    std::string text = std::string(name) + Format(" TIE %.4f UI RMS, %.4f UI p-p", tie.rmsUi, tie.peakToPeakUi);
    if (tie.splitMeasured)
        text += Format(", RJ %.4f UI, DJ %.4f UI, TJ(1e-12) %.3f UI", tie.rjUi, tie.djUi, tie.tjUi);
    else
        text += ", RJ/DJ not measured (" + tie.splitReason + ")";
    return text;
}

}  // namespace

std::string EyeAtBerText(const BathtubAnalysis& bathtub, double targetBer) {
    for (const EyeAtBer& at : bathtub.eyeAt)
        if (bathtub.measured && at.targetBer == targetBer)
            return Format("%.3f UI \xC3\x97 %.1f mV", at.widthUi, at.heightV * 1e3);
    return "not measured";
}

std::vector<std::string> StatisticsSummaryLines(const RunReport& r) {
    std::vector<std::string> lines;
    std::string eye = "eye at BER   ";
    if (!r.bathtub.measured) {
        eye += "not measured (" + r.bathtub.reason + ")";
    } else {
        for (std::size_t i = 0; i < r.bathtub.eyeAt.size(); ++i) {
            const EyeAtBer& at = r.bathtub.eyeAt[i];
            eye += (i ? "; " : "") + Format("%.0e: %.3f UI, %.1f mV", at.targetBer, at.widthUi, at.heightV * 1e3);
        }
    }
    lines.push_back(eye);
    lines.push_back("jitter       " + TieText("clock", r.jitter.clock));
    lines.push_back("             " + TieText("data crossings", r.jitter.data));
    return lines;
}

}  // namespace ksim
