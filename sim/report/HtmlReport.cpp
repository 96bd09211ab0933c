#include "sim/report/HtmlReport.h"

#include <algorithm>
#include <cmath>

#include "rx/KelvaneRx.h"
#include "sim/report/ChartPage.h"
#include "sim/report/EqualiserReport.h"
#include "sim/report/StatisticsSection.h"
#include "sim/report/StatisticsText.h"
#include "sim/report/FileOutput.h"
#include "sim/report/MarkupEscape.h"
#include "sim/report/NumberFormat.h"
#include "sim/report/PulseCursors.h"
#include "sim/report/ReportPlots.h"
#include "sim/report/SummaryJson.h"
#include "sim/report/PageStyle.h"
#include "sim/report/SvgPlot.h"
#include "sim/report/Verdicts.h"

namespace ksim {
namespace {

const char kStyle[] = R"css(
header h1 { letter-spacing: -0.01em; }
main { padding-bottom: 40px; }
.verdict { display: grid; grid-template-columns: repeat(4, 1fr); gap: 12px; margin-top: 20px; }
.badge { border-radius: 10px; padding: 12px 16px; border: 1px solid; background: #fff; }
.badge .what { font-size: 12px; text-transform: uppercase; letter-spacing: 0.06em; font-weight: 600; }
.badge .state { font-size: 17px; font-weight: 600; margin-top: 2px; }
.badge .detail { color: var(--muted); font-size: 13px; }
.ok { border-color: #a7f3d0; background: #ecfdf5; } .ok .what, .ok .state { color: #047857; }
.bad { border-color: #fecaca; background: #fef2f2; } .bad .what, .bad .state { color: #b91c1c; }
.warn { border-color: #fde68a; background: #fffbeb; } .warn .what, .warn .state { color: #b45309; }
.warnings { margin-top: 16px; border: 1px solid #fde68a; background: #fffbeb; border-radius: 10px; padding: 10px 16px; }
.warnings h2 { color: #b45309; font-size: 14px; margin: 0 0 4px; }
.warnings ul { margin: 0; padding-left: 20px; }
section p.note { color: var(--muted); font-size: 13px; margin: 8px 0 0; }
.cards { display: grid; grid-template-columns: repeat(3, 1fr); gap: 12px; }
.card { border: 1px solid var(--line); border-radius: 8px; padding: 10px 14px; }
.card h3 { font-size: 12px; text-transform: uppercase; letter-spacing: 0.06em; color: var(--muted); margin: 0 0 6px; }
table.kv { width: 100%; border-collapse: collapse; }
.kv td { padding: 2px 0; vertical-align: top; }
.kv td.v { text-align: right; font-weight: 600; font-variant-numeric: tabular-nums; padding-left: 12px; }
svg { display: block; width: 100%; height: auto; }
.eye-row { display: grid; grid-template-columns: minmax(0, 1fr) 280px; gap: 20px; align-items: start; }
.plot + .plot { margin-top: 10px; }
.steps { max-height: 440px; overflow: auto; border: 1px solid var(--line); border-radius: 8px; margin-top: 14px; }
table.data { border-collapse: collapse; width: 100%; font-size: 13px; font-variant-numeric: tabular-nums; }
.data th { position: sticky; top: 0; background: var(--soft); font-weight: 600; text-align: right;
  border-bottom: 1px solid var(--line); padding: 6px 10px; white-space: nowrap; }
.data td { text-align: right; padding: 3px 10px; border-bottom: 1px solid #f3f4f6; white-space: nowrap; }
.data tr.chosen td { background: #f5f3ff; }
.cursors { margin-top: 12px; overflow-x: auto; }
.cursors table.data { border: 1px solid var(--line); }
h3.sub { font-size: 13px; font-weight: 600; margin: 16px 0 6px; color: #374151; }
pre { white-space: pre-wrap; word-break: break-all; background: var(--soft); border: 1px solid var(--line);
  border-radius: 6px; padding: 8px 12px; margin: 0; font: 12px/1.5 'DejaVu Sans Mono', Menlo, Consolas, monospace; }
pre.empty { color: var(--muted); font-style: italic; }
ul.files { columns: 3; margin: 0; padding-left: 20px; }
footer { color: var(--muted); font-size: 12px; text-align: center; margin-top: 22px; }
@media print { body { background: #fff; } .steps { max-height: none; overflow: visible; } }
@media (max-width: 900px) { .verdict, .cards, .eye-row { grid-template-columns: 1fr; } }
)css";

std::string E(const std::string& text) { return EscapeMarkup(text); }

std::string Row(const std::string& name, const std::string& value) {
    return "<tr><td>" + name + "</td><td class=\"v\">" + value + "</td></tr>";
}

std::string Card(const std::string& heading, const std::string& rows) {
    return "<div class=\"card\"><h3>" + heading + "</h3><table class=\"kv\">" + rows + "</table></div>\n";
}

std::string Badge(const char* kind, const std::string& what, const std::string& state, const std::string& detail) {
    return std::string("<div class=\"badge ") + kind + "\"><div class=\"what\">" + what +
           "</div><div class=\"state\">" + state + "</div><div class=\"detail\">" + detail + "</div></div>\n";
}

std::string Index(int index) { return index >= 0 ? std::to_string(index) : "n/a"; }

std::string Mv(double volts, int decimals) { return FormatFixed(volts * 1e3, decimals) + " mV"; }

std::string TapList(const double (&taps)[kelvane_rx::kDfeTaps]) {
    std::string out;
    for (int t = 0; t < kelvane_rx::kDfeTaps; ++t) out += (t ? ", " : "") + FormatFixed(taps[t] * 1e3, 1);
    return out + " mV";
}

// A cursor weight of the main weight's sign adds that cursor; of the opposite sign it de-emphasises.
std::string FfeWeights(const RunReport& r) {
    if (!r.txFfeKnown) return "n/a";
    const double main = r.txFfeWeights[1];
    auto cursor = [main](double w) {
        const std::string value = (w > 0 ? "+" : "") + FormatFixed(w, 4);
        if (w == 0) return value;
        return value + ((w > 0) == (main > 0) ? " (adds)" : " (de-emphasises)");
    };
    return "pre " + cursor(r.txFfeWeights[0]) + ", main " + (main > 0 ? "+" : "") + FormatFixed(main, 4) + ", post " +
           cursor(r.txFfeWeights[2]);
}

// Pass, fail and not measured, each with its reason; then the diagnoses, in plain words.
std::string VerdictCards(const RunReport& r) {
    std::string html = "<div class=\"verdict\">\n";
    for (const RunVerdict& v : JudgeVerdicts(r)) {
        const char* kind = v.state == "pass" ? "ok" : v.state == "fail" ? "bad" : "warn";
        html += Badge(kind, E(v.what) + " \xC2\xB7 " + E(v.state), E(v.headline), E(v.reason));
    }
    html += "</div>\n";
    if (!r.runLength.capNote.empty()) html += "<div class=\"warnings\"><h2>Run length</h2><p>" + E(r.runLength.capNote) + "</p></div>\n";
    if (r.diagnoses.empty()) return html;
    html += "<div class=\"warnings\"><h2>Diagnosis</h2><ul>";
    for (const std::string& d : r.diagnoses) html += "<li>" + E(d) + "</li>";
    return html + "</ul></div>\n";
}

std::string Warnings(const RunReport& r) {
    if (r.warnings.empty()) return "";
    std::string html = "<div class=\"warnings\"><h2>Warnings</h2><ul>";
    for (const std::string& w : r.warnings) html += "<li>" + E(w) + "</li>";
    return html + "</ul></div>\n";
}

std::string KeyFigures(const RunReport& r) {
    const double ui = r.bitTime;
    std::string link = Row("Bit rate", r.bitTime > 0 ? FormatFixed(1e-9 / r.bitTime, 3) + " Gb/s" : "n/a") +
                       Row("Bit time", FormatFixed(r.bitTime * 1e12, 3) + " ps") +
                       Row("Samples per bit", std::to_string(r.samplesPerBit)) +
                       Row("Sample interval", FormatFixed(r.sampleInterval * 1e15, 1) + " fs") +
                       Row("Stimulus", E(r.prbs)) + Row("Bits sent", FormatCount(r.bits)) +
                       Row("Added noise", Mv(r.noiseRmsV, 2) + " RMS") +
                       Row("Transmitter clock offset", FormatFixed(r.txPpm, 1) + " ppm") +
                       Row("Transmitter FFE", FfeWeights(r)) +
                       Row("Block size", FormatCount(r.blockSize) + " samples");
    const ChannelInfo& c = r.channel;
    const PulseCursors cursors = MeasurePulseCursors(r, 0, 0);
    std::string channel = Row("Kind", E(c.kind)) +
                          Row("Loss at Nyquist", FormatFixed(c.lossDbAtNyquist, 2) + " dB") +
                          Row("DC gain", FormatFixed(c.dcGain, 4)) +
                          Row("Flight delay", FormatFixed(static_cast<double>(c.delaySamples) * c.sampleInterval * 1e9,
                                                          3) + " ns") +
                          Row("Pulse peak", cursors.valid ? Mv(c.pulseResponse[cursors.peakIndex], 1) : "n/a");
    const BerResult& b = r.ber;
    std::string ber = Row("Aligned", b.aligned ? "yes" : "no") +
                      Row("Latency", std::to_string(b.latencyBits) + " bits") +
                      Row("Polarity", b.inverted ? "inverted" : "normal") +
                      Row("Bits ignored", FormatCount(b.ignoredBits)) +
                      Row("Bits compared", FormatCount(b.bitsCompared)) + Row("Errors", FormatCount(b.errors)) +
                      Row("BER", FormatScientific(b.Ber(), 3));
    const ClockAnalysis& k = r.clock;
    std::string clock = Row("Edges", FormatCount(k.edges)) + Row("Locked", k.locked ? "yes" : "no") +
                        Row("Lock time", FormatFixed(k.lockTimeS * 1e6, 3) + " \xC2\xB5s") +
                        Row("Mean period", FormatFixed(k.meanPeriodUi, 6) + " UI") +
                        Row("Frequency offset", FormatFixed(k.frequencyOffsetPpm, 1) + " ppm") +
                        Row("RMS jitter", FormatFixed(k.rmsJitterUi * 1e3, 2) + " mUI (" +
                                              FormatFixed(k.rmsJitterUi * ui * 1e15, 0) + " fs)");
    const EyeAnalysis& e = r.eye;
    std::string eye = Row("Inner height", Mv(e.heightV, 1)) + Row("Inner width", FormatFixed(e.widthUi, 3) + " UI") +
                      Row("Sampling point", FormatFixed(e.samplingPhaseUi, 3) + " UI from the falling edge") +
                      Row("UI folded", FormatCount(e.traces)) +
                      Row("At BER 1e-12", E(EyeAtBerText(r.bathtub, 1e-12)));
    const AdaptationSummary& a = r.adaptation;
    std::string adaptation = Row("Complete", a.complete ? "yes" : "no") +
                             Row("Completed at", a.completedAtS > 0
                                                     ? FormatFixed(a.completedAtS * 1e6, 3) + " \xC2\xB5s"
                                                     : "n/a") +
                             Row("Steps", std::to_string(a.steps.size())) +
                             Row("Equaliser index", Index(a.chosenTableIndex)) +
                             Row("Bank column", Index(a.chosenColumn)) +
                             Row("DFE taps", TapList(a.finalTaps)) +
                             Row("Wall time", FormatFixed(r.wallSeconds, 2) + " s") +
                             Row("Throughput", FormatFixed(r.samplesPerSecond * 1e-6, 2) + " M samples/s");
    return "<section><h2>Key figures</h2><div class=\"cards\">\n" + Card("Link", link) + Card("Channel", channel) +
           Card("Bit errors", ber) + Card("Clock", clock) + Card("Eye", eye) + Card("Adaptation and run", adaptation) +
           "</div></section>\n";
}

std::string EyeSection(const RunReport& r, ChartPage& page) {
    const EyeAnalysis& e = r.eye;
    std::uint32_t most = 0;
    for (std::uint32_t count : e.density) most = std::max(most, count);
    const std::string figures =
        Row("Inner height", Mv(e.heightV, 1)) + Row("Inner width", FormatFixed(e.widthUi, 3) + " UI") +
        Row("Sampling point", FormatFixed(e.samplingPhaseUi, 3) + " UI") + Row("UI folded", FormatCount(e.traces)) +
        Row("Bins", std::to_string(e.phaseBins) + " \xC3\x97 " + std::to_string(e.levelBins)) +
        Row("Level range", FormatFixed(e.levelMinV * 1e3, 0) + " to " + FormatFixed(e.levelMaxV * 1e3, 0) + " mV") +
        Row("Most hits in a bin", FormatCount(most));
    return "<section><h2>Eye diagram</h2><div class=\"eye-row\"><div class=\"eye\">" + page.Place(EyeChart(r), EyeDiagramSvg(r)) +
           "</div><div>" + Card("Eye opening", figures) +
           "<p class=\"note\">Density of the equalised signal folded at the recovered clock over two unit intervals "
           "centred on the sampling point. Colour is the number of hits per bin on a log scale; black where no "
           "trace passed.</p><p class=\"note\">The cyan bars show the measured inner height, drawn centred on 0 V "
           "at the sampling point, and the inner width, drawn at 0 V over the crossing-free span where it lies. "
           "The sampling point is given from the falling clock edge.</p></div></div></section>\n";
}

std::string ClockSection(const RunReport& r, ChartPage& page) {
    return "<section><h2>Clock recovery</h2>" + page.Place(ClockPeriodChart(r)) + page.Place(ClockPhaseChart(r)) +
           "<p class=\"note\">Period and phase of every recovered clock edge (min/max decimated to a few "
           "thousand points per curve, so single outliers stay visible).</p></section>\n";
}

// The equaliser code of a table entry as the receiver applies it; -1 when the report does not hold it.
double EqualiserCode(const RunReport& r, int tableIndex) {
    const std::string name = "EQ_TABLE." + std::to_string(tableIndex);
    for (const AppliedParameter& p : r.rxApplied)
        if (p.name == name) return p.applied;
    return -1;
}

std::string StepTable(const RunReport& r) {
    const AdaptationSummary& a = r.adaptation;
    std::string html = "<div class=\"steps\"><table class=\"data\"><thead><tr><th>Step</th><th>Table index</th>"
                       "<th>Bank column</th><th>VGA gain</th><th>EQ high gain</th>";
    for (int t = 1; t <= 5; ++t) html += "<th>Tap " + std::to_string(t) + " [mV]</th>";
    html += "<th>HEO [UI]</th><th>VEO [mV]</th><th>Merit</th><th>Role</th></tr></thead><tbody>\n";
    // The sweep measures table indexes 0 to 15 in its first 16 steps; index 15 is measured but never chosen.
    std::size_t sweepSteps = 0;
    while (sweepSteps < std::min<std::size_t>(a.steps.size(), 16) && a.steps[sweepSteps].tableIndex == static_cast<int>(sweepSteps))
        ++sweepSteps;
    if (sweepSteps < 16) sweepSteps = 0;
    for (std::size_t i = 0; i < a.steps.size(); ++i) {
        const AdaptationStep& s = a.steps[i];
        html += s.tableIndex == a.chosenTableIndex ? "<tr class=\"chosen\">" : "<tr>";
        html += "<td>" + std::to_string(i + 1) + "</td><td>" + std::to_string(s.tableIndex) + "</td><td>" +
                std::to_string(s.ctleColumn) + "</td><td>" + std::to_string(s.vgaGain) + "</td><td>" +
                std::to_string(s.eqHighGain) + "</td>";
        for (double tap : s.taps) html += "<td>" + FormatFixed(tap * 1e3, 1) + "</td>";
        std::string role = i < sweepSteps ? (i + 1 < sweepSteps ? "sweep candidate" : "sweep, measured only (never chosen)")
                                          : "DFE search";
        if (i < sweepSteps && static_cast<int>(i) == a.chosenTableIndex) {
            role += ", chosen";
            const double code = EqualiserCode(r, a.chosenTableIndex);
            if (code > 255) role += " (code " + FormatGeneral(code, 10) + " lies outside the bank: it acts as the bank's first response)";
        }
        html += "<td>" + FormatFixed(s.heo, 4) + "</td><td>" + FormatFixed(s.veo * 1e3, 1) + "</td><td>" +
                FormatFixed(s.Merit(), 4) + "</td><td>" + role + "</td></tr>\n";
    }
    if (a.steps.empty()) html += "<tr><td colspan=\"14\" style=\"text-align:center\">no adaptation steps</td></tr>";
    return html + "</tbody></table></div>\n";
}

std::string AdaptationSection(const RunReport& r, ChartPage& page) {
    const AdaptationSummary& a = r.adaptation;
    std::string chosen = a.complete ? "Chosen setting: equaliser table index " + std::to_string(a.chosenTableIndex) +
                                          " (bank column " + std::to_string(a.chosenColumn) + "), DFE taps " +
                                          TapList(a.finalTaps) + "."
                                    : "The adaptation did not finish within the run.";
    return "<section><h2>Adaptation</h2>" + page.Place(AdaptationMeritChart(r)) +
           page.Place(AdaptationSettingChart(r)) + page.Place(AdaptationTapsChart(r)) + "<p class=\"note\">" + chosen +
           " Shaded rows use the chosen equaliser setting.</p>" + StepTable(r) + "</section>\n";
}

std::string ChannelSection(const RunReport& r, ChartPage& page) {
    const ChannelInfo& c = r.channel;
    std::string html = "<section><h2>Channel</h2><p style=\"margin:0 0 10px\">" + E(c.kind) + ": " + E(c.source) +
                       "</p>" + page.Place(InsertionLossChart(r)) + page.Place(PulseResponseChart(r));
    const PulseCursors cursors = MeasurePulseCursors(r, 2, 10);
    if (cursors.valid) {
        std::string head = "<th>Cursor</th>", values = "<td><b>[mV]</b></td>";
        for (std::size_t i = 0; i < cursors.values.size(); ++i) {
            const int k = cursors.firstCursor + static_cast<int>(i);
            head += "<th>" + std::string(k > 0 ? "+" : "") + std::to_string(k) + "</th>";
            values += "<td>" + FormatFixed(cursors.values[i] * 1e3, 2) + "</td>";
        }
        html += "<div class=\"cursors\"><table class=\"data\"><thead><tr>" + head + "</tr></thead><tbody><tr>" +
                values + "</tr></tbody></table></div>";
    }
    return html + "</section>\n";
}

std::string Pre(const std::string& text) {
    if (text.empty()) return "<pre class=\"empty\">none</pre>";
    return "<pre>" + E(text) + "</pre>";
}

// Every parameter as asked and as the model applies it; rows the model changed are marked.
std::string AppliedTable(const std::vector<AppliedParameter>& rows) {
    std::string html = "<table class=\"data\"><thead><tr><th>Parameter</th><th>Asked</th><th>Applied</th></tr></thead><tbody>";
    for (const AppliedParameter& p : rows) {
        html += p.differs ? "<tr class=\"chosen\">" : "<tr>";
        html += "<td>" + E(p.name) + "</td><td>" + (p.requested.empty() ? std::string("default") : E(p.requested)) +
                "</td><td>" + E(FormatGeneral(p.applied, 12)) + (p.differs ? " (changed by the model)" : "") + "</td></tr>";
    }
    return html + "</tbody></table>";
}

std::string ConfigurationSection(const RunReport& r) {
    return "<section><h2>Models and parameters</h2>"
           "<h3 class=\"sub\">Kit version</h3>" + Pre(r.toolVersion) +
           "<h3 class=\"sub\">Command line</h3>" + Pre(r.commandLine) +
           "<h3 class=\"sub\">Transmitter library</h3>" + Pre(r.txLibrary) +
           "<h3 class=\"sub\">Transmitter parameters</h3>" + Pre(r.txParameters) +
           "<h3 class=\"sub\">Transmitter parameters as applied</h3>" + AppliedTable(r.txApplied) +
           "<h3 class=\"sub\">Transmitter AMI_Init message</h3>" + Pre(r.txInitMessage) +
           "<h3 class=\"sub\">Receiver library</h3>" + Pre(r.rxLibrary) +
           "<h3 class=\"sub\">Receiver parameters</h3>" + Pre(r.rxParameters) +
           "<h3 class=\"sub\">Receiver parameters as applied</h3>" + AppliedTable(r.rxApplied) +
           "<h3 class=\"sub\">Receiver AMI_Init message</h3>" + Pre(r.rxInitMessage) + "</section>\n";
}

bool IsRelativeName(const std::string& name) {
    return !name.empty() && name[0] != '/' && name[0] != '\\' && name.find(':') == std::string::npos &&
           name.find("//") == std::string::npos;
}

std::string FilesSection(const HtmlReportOptions& options) {
    if (options.files.empty()) return "";
    std::string html = "<section><h2>Files of this run</h2><ul class=\"files\">";
    for (const std::string& name : options.files) {
        if (IsRelativeName(name)) {
            std::string href;
            for (char c : name) href += c == ' ' ? std::string("%20") : std::string(1, c);
            html += "<li><a href=\"" + E(href) + "\">" + E(name) + "</a></li>";
        } else {
            html += "<li>" + E(name) + "</li>";
        }
    }
    return html + "</ul></section>\n";
}

}  // namespace

std::string RenderHtmlReport(const RunReport& r, const HtmlReportOptions& options) {
    std::string subtitle = (r.bitTime > 0 ? FormatFixed(1e-9 / r.bitTime, 3) + " Gb/s" : std::string("rate n/a")) +
                           " \xC2\xB7 " + std::to_string(r.samplesPerBit) + " samples per bit \xC2\xB7 " +
                           E(r.prbs) + " \xC2\xB7 " + FormatCount(r.bits) + " bits \xC2\xB7 " + E(r.channel.kind) +
                           " channel, " + FormatFixed(r.channel.lossDbAtNyquist, 1) + " dB at Nyquist";
    ChartPage page(options.chartLibrary, options.chartLibraryName);
    std::string html;
    html.reserve((1 << 20) + options.chartLibrary.size());
    html += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
            E(options.title) + "</title>\n<style>" + std::string(kPageStyle) + kStyle + ChartPage::Style() + "</style>\n</head>\n<body>\n";
    html += "<header><div class=\"wrap\"><h1>" + E(options.title) + "</h1><div class=\"sub\">" + subtitle +
            "</div></div></header>\n<main class=\"wrap\">\n";
    html += VerdictCards(r) + Warnings(r) + KeyFigures(r) + EyeSection(r, page) + BathtubSection(r, page) +
            JitterSection(r, page) + ClockSection(r, page) + AdaptationSection(r, page) + ChannelSection(r, page) +
            EqualiserReportSection(r, options.equaliserViews ? *options.equaliserViews : ComputeEqualiserViews(r), page) +
            ConfigurationSection(r) + FilesSection(options);
    html += page.Notice();
    html += "<footer>kelvane-sim " + E(r.toolVersion) + " \xC2\xB7 wall time " + FormatFixed(r.wallSeconds, 2) +
            " s \xC2\xB7 " + FormatFixed(r.samplesPerSecond * 1e-6, 2) + " M samples/s</footer>\n";
    html += "</main>\n" + page.Scripts() + "</body>\n</html>\n";
    return html;
}

void WriteHtmlReport(const RunReport& report, const std::string& path, const HtmlReportOptions& options) {
    WriteTextFile(path, RenderHtmlReport(report, options));
}

}  // namespace ksim
