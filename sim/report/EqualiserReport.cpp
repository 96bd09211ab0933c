#include "sim/report/EqualiserReport.h"

#include <algorithm>
#include <cmath>

#include "rx/KelvaneRx.h"
#include "sim/report/ColourMap.h"
#include "sim/report/MarkupEscape.h"
#include "sim/report/NumberFormat.h"
#include "sim/report/PulseCursors.h"

namespace ksim {
namespace {

const char kChannelColour[] = "#2563eb";
const char kEqualiserColour[] = "#7c3aed";
const char kCombinedColour[] = "#111827";

std::vector<double> Gigahertz(const std::vector<double>& hz) {
    std::vector<double> ghz;
    for (double f : hz) ghz.push_back(f * 1e-9);
    return ghz;
}

Chart FrequencyChart(const RunReport& report, const char* id, const std::string& title) {
    Chart chart;
    chart.id = id;
    chart.title = title;
    chart.x.title = "frequency [GHz]";
    chart.y.title = "gain [dB]";
    chart.x.hoverFormat = ".2f";
    chart.y.hoverFormat = ".2f";
    chart.x.include = {0};
    chart.height = 340;
    if (report.bitTime > 0) chart.guides.push_back({true, 0.5e-9 / report.bitTime, "Nyquist", "#6b7280"});
    return chart;
}

std::string SettingName(const EqualiserSetting& s) {
    return "index " + std::to_string(s.tableIndex) + " (column " + std::to_string(s.column) + ")";
}

ChartTrace Line(const std::string& name, const std::vector<double>& x, const std::vector<double>& y,
                const std::string& colour, double width) {
    ChartTrace t;
    t.name = name;
    t.x = x;
    t.y = y;
    t.colour = colour;
    t.width = width;
    return t;
}

// The part of a pulse around its peak, as time from the peak [UI] and value [V].
void AroundPeak(const std::vector<double>& pulse, const PulseCursors& cursors, double fromUi, double toUi,
                std::vector<double>& x, std::vector<double>& y) {
    for (std::size_t i = 0; i < pulse.size(); ++i) {
        const double ui = (static_cast<double>(i) - static_cast<double>(cursors.peakIndex)) / cursors.samplesPerUi;
        if (ui < fromUi || ui > toUi) continue;
        x.push_back(ui);
        y.push_back(pulse[i]);
    }
}

// Both y axes with their zero at the same height: the pulses' range on the left (reaching below zero by at
// least a third of its top when a tap is negative), the taps scaled to fill about four fifths of the right.
void AlignZeros(Chart& chart, const std::vector<double>& tapsMv) {
    double lo = 0, hi = 0, tapLo = 0, tapHi = 0;
    for (const ChartTrace& t : chart.traces) {
        if (t.rightAxis) continue;
        for (double v : t.y)
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    }
    for (double v : tapsMv)
        if (std::isfinite(v)) tapLo = std::min(tapLo, v), tapHi = std::max(tapHi, v);
    if (tapLo < 0) lo = std::min(lo, -hi / 3);
    const double pad = 0.05 * (hi - lo);
    lo -= pad;
    hi += pad;
    if (!(hi > 0) || !(lo < 0)) return;
    double scale = std::max(tapHi / hi, tapLo / lo) * 1.25;
    if (!(scale > 0)) scale = 1e3 / std::max(-lo, hi) * 0.01;  // no taps: a right axis of +-10 mV or so
    chart.y.fixed = chart.y2.fixed = true;
    chart.y.min = lo;
    chart.y.max = hi;
    chart.y2.min = lo * scale;
    chart.y2.max = hi * scale;
}

std::string Cell(const std::string& text) { return "<td>" + text + "</td>"; }

std::string SettingsTable(const EqualiserViews& views) {
    std::string html = "<div class=\"cursors\"><table class=\"data\"><thead><tr><th>Table index</th><th>Code</th>"
                       "<th>Bank column</th><th>DC gain [dB]</th><th>Gain at Nyquist [dB]</th>"
                       "<th>Boost [dB]</th></tr></thead><tbody>";
    for (const EqualiserSetting& s : views.table) {
        html += s.tableIndex == views.chosen ? "<tr class=\"chosen\">" : "<tr>";
        html += Cell(std::to_string(s.tableIndex)) + Cell(FormatGeneral(s.code, 10)) +
                Cell(std::to_string(s.column) + (s.outsideBank ? " (code outside the bank)" : "")) +
                Cell(FormatFixed(s.dcGainDb, 2)) + Cell(FormatFixed(s.nyquistGainDb, 2)) +
                Cell(FormatFixed(s.nyquistGainDb - s.dcGainDb, 2)) + "</tr>";
    }
    return html + "</tbody></table></div>";
}

}  // namespace

Chart EqualiserTableChart(const RunReport& report, const EqualiserViews& views) {
    Chart chart = FrequencyChart(report, "eq-table", "Equaliser settings of the table (EQ_TABLE)");
    chart.height = 440;  // room for the sixteen legend entries
    const std::vector<double> ghz = Gigahertz(views.frequencyHz);
    const std::size_t n = views.table.size();
    for (const EqualiserSetting& s : views.table) {
        char hex[8];
        const bool chosen = s.tableIndex == views.chosen;
        const double at = n > 1 ? 0.1 + 0.75 * static_cast<double>(s.tableIndex) / static_cast<double>(n - 1) : 0.5;
        chart.traces.push_back(Line(SettingName(s) + (chosen ? ", chosen" : ""), ghz, s.gainDb,
                                    chosen ? kEqualiserColour : HexColour(Inferno(at), hex), chosen ? 3.5 : 1.2));
    }
    return chart;
}

Chart ChannelAndEqualiserChart(const RunReport& report, const EqualiserViews& views) {
    Chart chart = FrequencyChart(report, "eq-channel", "Channel and chosen equaliser");
    const std::vector<double> ghz = Gigahertz(views.frequencyHz);
    if (!views.channelDb.empty()) chart.traces.push_back(Line("channel (SDD21)", ghz, views.channelDb, kChannelColour, 2));
    if (views.chosen >= 0) {
        const EqualiserSetting& s = views.table[static_cast<std::size_t>(views.chosen)];
        chart.traces.push_back(Line("equaliser, " + SettingName(s), ghz, s.gainDb, kEqualiserColour, 2));
        if (!views.combinedDb.empty())
            chart.traces.push_back(Line("channel + equaliser", ghz, views.combinedDb, kCombinedColour, 2.5));
    }
    return chart;
}

Chart EqualisedPulseChart(const RunReport& report, const EqualiserViews& views) {
    Chart chart;
    chart.id = "eq-pulse";
    chart.title = "Pulse response before and after the equaliser (one bit of +1 V)";
    chart.x.title = "time from each pulse's peak [UI]";
    chart.y.title = "response [V]";
    chart.y2.title = "DFE tap [mV]";
    chart.x.hoverFormat = ".2f";
    chart.y.hoverFormat = ".4f";
    chart.y.include = {0};
    chart.y2.include = {0};
    chart.height = 360;
    chart.guides.push_back({false, 0.0, "", "#9ca3af"});
    const double fromUi = -4, toUi = 12;
    const PulseCursors before = MeasureCursors(views.pulseBefore, views.samplesPerUi, 0, 0);
    if (before.valid) {
        ChartTrace t = Line("channel", {}, {}, "#93c5fd", 2);
        AroundPeak(views.pulseBefore, before, fromUi, toUi, t.x, t.y);
        chart.traces.push_back(t);
    }
    const PulseCursors after = MeasureCursors(views.pulseAfter, views.samplesPerUi, 0, 0);
    if (after.valid) {
        ChartTrace t = Line("after the equaliser", {}, {}, kCombinedColour, 2.5);
        AroundPeak(views.pulseAfter, after, fromUi, toUi, t.x, t.y);
        chart.traces.push_back(t);
        const PulseCursors shown = MeasureCursors(views.pulseAfter, views.samplesPerUi, -static_cast<int>(fromUi),
                                                  static_cast<int>(toUi));
        ChartTrace cursors = Line("equalised cursors", {}, {}, "#dc2626", 0);
        cursors.kind = TraceKind::Markers;
        for (std::size_t k = 0; k < shown.values.size(); ++k) {
            cursors.x.push_back(shown.firstCursor + static_cast<int>(k));
            cursors.y.push_back(shown.values[k]);
        }
        chart.traces.push_back(cursors);
        ChartTrace taps = Line("DFE taps 1 to 5 (right axis)", {}, {}, "#d97706", 0);
        taps.kind = TraceKind::Markers;
        taps.markerSymbol = "diamond";
        taps.rightAxis = true;
        for (int t = 0; t < kelvane_rx::kDfeTaps; ++t) {
            taps.x.push_back(t + 1);
            taps.y.push_back(report.adaptation.finalTaps[t] * 1e3);
        }
        chart.traces.push_back(taps);
        AlignZeros(chart, taps.y);
    }
    chart.guides.push_back({true, 0.5, "", "#fdba74"});
    chart.guides.push_back({true, kelvane_rx::kDfeTaps + 0.5, "DFE span", "#d97706"});
    return chart;
}

nlohmann::json EqualiserJson(const RunReport& report, const EqualiserViews& views) {
    using Json = nlohmann::json;
    if (!views.available) return {{"available", false}, {"reason", "not measured: " + views.reason}};
    Json table = Json::array();
    for (const EqualiserSetting& s : views.table) {
        table.push_back({{"table_index", s.tableIndex}, {"code", s.code}, {"selection_index", s.selection},
                         {"bank_column", s.column}, {"outside_bank", s.outsideBank}, {"dc_gain_db", s.dcGainDb},
                         {"nyquist_gain_db", s.nyquistGainDb}, {"boost_db", s.nyquistGainDb - s.dcGainDb}});
    }
    Json j = {{"available", true}, {"vga_gain", views.vgaGain}, {"eq_high_gain", views.eqHighGain},
              {"table", table}, {"chosen_table_index", views.chosen}};
    if (views.chosen >= 0) {
        j["channel_plus_equaliser_at_nyquist_db"] =
            views.table[static_cast<std::size_t>(views.chosen)].nyquistGainDb - report.channel.lossDbAtNyquist;
    } else {
        j["channel_plus_equaliser_at_nyquist_db"] = "not measured: no chosen equaliser setting";
    }
    return j;
}

std::string EqualiserReportSection(const RunReport& report, const EqualiserViews& views, ChartPage& page) {
    std::string html = "<section><h2>Equaliser</h2>";
    if (!views.available) {
        return html + "<p class=\"note\">Equaliser views not measured: " + EscapeMarkup(views.reason) +
               ".</p></section>\n";
    }
    html += page.Place(ChannelAndEqualiserChart(report, views)) + page.Place(EqualiserTableChart(report, views)) +
            page.Place(EqualisedPulseChart(report, views));
    html += "<p class=\"note\">Responses of the receiver's equaliser as it filters: each setting's bank column "
            "resampled at the run's sample rate by the receiver's own equaliser block (gain bits VGA_GAIN " +
            std::to_string(views.vgaGain) + ", EQ_HIGAIN " + std::to_string(views.eqHighGain) +
            "), before the gain stage. The channel's curve is the insertion loss of its impulse response. The "
            "DFE subtracts its taps from the equalised post-cursors 1 to 5; they are given at the DFE's input, "
            "after the gain stage, hence on an axis of their own.</p>";
    if (views.chosen < 0) html += "<p class=\"note\">The run did not reach a chosen equaliser setting.</p>";
    return html + SettingsTable(views) + "</section>\n";
}

}  // namespace ksim
