#include "sim/report/StatisticsSection.h"

#include <cmath>

#include "sim/report/MarkupEscape.h"
#include "sim/report/NumberFormat.h"

namespace ksim {

namespace {

const double kContourLowest = -12, kContourHighest = -3;  // log10 BER of the contour's outer and inner lines

void AddTargetGuides(const RunReport& report, Chart& chart) {
    for (const EyeAtBer& at : report.bathtub.eyeAt)
        chart.guides.push_back({false, at.targetBer, FormatScientific(at.targetBer, 1), "#6b7280"});
}

// Counted and extrapolated points of a bathtub as two traces, positions scaled by `scale`, with the target
// BERs as guides.
Chart BathtubChart(const RunReport& report, const std::vector<BathtubPoint>& points, double scale, const char* id,
                   const char* title, const char* xTitle) {
    ChartTrace counted, extrapolated;
    counted.kind = TraceKind::Markers;  // dots: the counted parts lie apart, a line would join them across the eye
    counted.name = "counted errors";
    counted.colour = "#1d4ed8";
    extrapolated.name = "extrapolated (tail fit)";
    extrapolated.colour = "#f97316";
    extrapolated.dashed = true;
    for (const BathtubPoint& p : points) {
        (p.counted ? counted : extrapolated).x.push_back(p.position * scale);
        (p.counted ? counted : extrapolated).y.push_back(p.ber);
        (p.counted ? extrapolated : counted).x.push_back(p.position * scale);
        (p.counted ? extrapolated : counted).y.push_back(NAN);  // a gap, so each trace is only its own part
    }
    Chart chart;
    chart.id = id;
    chart.title = title;
    chart.x.title = xTitle;
    chart.y.title = "BER";
    chart.y.log = true;
    chart.y.fixed = true;
    chart.y.min = 1e-18;
    chart.y.max = 1;
    chart.traces = {counted, extrapolated};
    chart.height = 320;
    AddTargetGuides(report, chart);
    return chart;
}

std::string Rows(const std::vector<std::pair<std::string, std::string>>& rows) {
    std::string html = "<table class=\"kv\">";
    for (const auto& [name, value] : rows) html += "<tr><td>" + name + "</td><td class=\"v\">" + value + "</td></tr>";
    return html + "</table>";
}

std::string Ui(double ui) { return FormatFixed(ui, 4) + " UI"; }

std::string Ps(double ui, double bitTime) { return FormatFixed(ui * bitTime * 1e12, 2) + " ps"; }

std::string TieRows(const TieAnalysis& tie, double bitTime) {
    if (!tie.measured) return Rows({{"Figures", "not measured: " + EscapeMarkup(tie.reason)}});
    std::vector<std::pair<std::string, std::string>> rows = {
        {"Events", FormatCount(tie.events)},
        {"Grid offset", FormatFixed(tie.frequencyOffsetPpm, 1) + " ppm"},
        {"RMS", Ui(tie.rmsUi) + " (" + Ps(tie.rmsUi, bitTime) + ")"},
        {"Peak-to-peak", Ui(tie.peakToPeakUi) + " (" + Ps(tie.peakToPeakUi, bitTime) + ")"}};
    if (tie.splitMeasured) {
        rows.push_back({"RJ (RMS)", Ui(tie.rjUi) + " (" + Ps(tie.rjUi, bitTime) + ")"});
        rows.push_back({"DJ (dual-Dirac)", Ui(tie.djUi) + " (" + Ps(tie.djUi, bitTime) + ")"});
        rows.push_back({"TJ at 1e-12", Ui(tie.tjUi) + " (" + Ps(tie.tjUi, bitTime) + ")"});
    } else {
        rows.push_back({"RJ / DJ", "not measured: " + EscapeMarkup(tie.splitReason)});
    }
    return Rows(rows);
}

}  // namespace

Chart HorizontalBathtubChart(const RunReport& report) {
    return BathtubChart(report, report.bathtub.horizontal, 1.0, "bathtub-horizontal", "Horizontal bathtub (threshold 0 V)",
                        "sampling phase from the sampling point [UI]");
}

Chart VerticalBathtubChart(const RunReport& report) {
    return BathtubChart(report, report.bathtub.vertical, 1e3, "bathtub-vertical", "Vertical bathtub (at the sampling point)",
                        "decision threshold [mV]");
}

Chart BerContourChart(const RunReport& report) {
    const BathtubAnalysis& b = report.bathtub;
    ChartTrace contour;
    contour.kind = TraceKind::Contour;
    contour.name = "log10 BER";
    contour.x = b.mapPhasesUi;
    for (double v : b.mapThresholdsV) contour.y.push_back(v * 1e3);
    for (double ber : b.mapBer) contour.z.push_back(std::log10(ber));
    for (double level = kContourLowest; level <= kContourHighest; level += 1) contour.contourLevels.push_back(level);
    contour.zTitle = "log10 BER";
    contour.zMin = kContourLowest;
    contour.zMax = kContourHighest;
    Chart chart;
    chart.id = "ber-contour";
    chart.title = "BER contour over the eye";
    chart.x.title = "sampling phase from the sampling point [UI]";
    chart.y.title = "decision threshold [mV]";
    chart.traces = {contour};
    chart.height = 420;
    return chart;
}

Chart TieHistogramChart(const TieAnalysis& tie, const std::string& id, const std::string& title) {
    ChartTrace counts;
    counts.name = "events";
    counts.colour = "#1d4ed8";
    counts.steps = true;
    const std::size_t bins = tie.histogram.size();
    const double width = bins ? (tie.maxUi - tie.minUi) / static_cast<double>(bins) : 0.0;
    for (std::size_t k = 0; k < bins; ++k) {
        counts.x.push_back(tie.minUi + (static_cast<double>(k) + 0.5) * width);
        counts.y.push_back(tie.histogram[k] > 0 ? static_cast<double>(tie.histogram[k]) : NAN);
    }
    Chart chart;
    chart.id = id;
    chart.title = title;
    chart.x.title = "time-interval error [UI]";
    chart.y.title = "events";
    chart.y.log = true;
    chart.traces = {counts};
    chart.height = 260;
    return chart;
}

std::string BathtubSection(const RunReport& r, ChartPage& page) {
    const BathtubAnalysis& b = r.bathtub;
    std::string html = "<section><h2>Bathtubs and BER contour</h2>";
    if (!b.measured)
        return html + "<p class=\"note\">Not measured: " + EscapeMarkup(b.reason) + ".</p></section>\n";
    std::vector<std::pair<std::string, std::string>> rows = {
        {"Unit intervals judged", FormatCount(b.unitIntervals)},
        {"Left out (bit not known)", FormatCount(b.unknownIntervals)},
        {"Pattern found again", FormatCount(b.resyncs) + " times"},
        {"Errors at the sampling point", FormatCount(b.errorsAtSamplingPoint)}};
    for (const EyeAtBer& at : b.eyeAt)
        rows.push_back({"Eye at " + FormatScientific(at.targetBer, 1),
                        FormatFixed(at.widthUi, 3) + " UI \xC3\x97 " + FormatFixed(at.heightV * 1e3, 1) + " mV"});
    html += "<div class=\"cards\"><div class=\"card\"><h3>Eye at a target BER</h3>" + Rows(rows) + "</div></div>";
    html += page.Place(HorizontalBathtubChart(r)) + page.Place(VerticalBathtubChart(r)) + page.Place(BerContourChart(r));
    html += "<p class=\"note\">Each unit interval's bit: " + EscapeMarkup(b.conditioning) +
            ". The equalised signal is histogrammed per sampling phase and level for each bit; the BER at a phase "
            "and threshold is the share of unit intervals that would be decided wrongly there, " +
            EscapeMarkup(b.method) +
            ". The eye at a target BER is the span around the sampling point (at 0 V) and around 0 V (at the "
            "sampling point) where the BER stays at or below it.</p></section>\n";
    return html;
}

std::string JitterSection(const RunReport& r, ChartPage& page) {
    const JitterAnalysis& j = r.jitter;
    std::string html = "<section><h2>Jitter</h2><div class=\"cards\"><div class=\"card\"><h3>Recovered clock</h3>" +
                       TieRows(j.clock, r.bitTime) + "</div><div class=\"card\"><h3>Data crossings</h3>" +
                       TieRows(j.data, r.bitTime) + "</div></div>";
    if (j.clock.measured) html += page.Place(TieHistogramChart(j.clock, "tie-clock", "TIE of the recovered clock's edges"));
    if (j.data.measured) html += page.Place(TieHistogramChart(j.data, "tie-data", "TIE of the equalised signal's 0 V crossings"));
    html += "<p class=\"note\">Over the counted stretch: " + EscapeMarkup(j.method) +
            ". Data crossings are the equalised signal's crossings of 0 V placed between samples by a straight "
            "line; a unit interval without a transition has none. TJ at 1e-12 = DJ + 2 \xC3\x97 7.034 \xC3\x97 "
            "RJ.</p></section>\n";
    return html;
}

}  // namespace ksim
