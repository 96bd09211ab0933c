#include "sim/sweep/SweepReport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>

#include "sim/report/ChartPage.h"
#include "sim/report/ColourMap.h"
#include "sim/report/FileOutput.h"
#include "sim/report/MarkupEscape.h"
#include "sim/report/PageStyle.h"
#include "sim/report/NumberFormat.h"

namespace ksim {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const char kStyle[] = R"css(
.wrap { max-width: 1240px; }
p.note { color: var(--muted); font-size: 13px; margin: 8px 0 0; }
.best { border: 1px solid #a7f3d0; background: #ecfdf5; border-radius: 8px; padding: 10px 14px; margin-bottom: 14px; }
.best.bad { border-color: #fecaca; background: #fef2f2; }
.best b { font-size: 15px; }
.grids { display: grid; grid-template-columns: repeat(2, minmax(0, 1fr)); gap: 18px; }
.grid h3 { font-size: 13px; font-weight: 600; margin: 0 0 6px; color: #374151; }
table.heat { border-collapse: collapse; font-size: 12px; font-variant-numeric: tabular-nums; }
.heat td, .heat th { padding: 3px 6px; text-align: center; min-width: 38px; }
.heat th { color: var(--muted); font-weight: 600; }
.heat td.best { outline: 2px solid #10b981; outline-offset: -2px; }
.cases { max-height: 620px; overflow: auto; border: 1px solid var(--line); border-radius: 8px; }
table.data { border-collapse: collapse; width: 100%; font-size: 12.5px; font-variant-numeric: tabular-nums; }
.data th { position: sticky; top: 0; background: var(--soft); font-weight: 600; text-align: right;
  border-bottom: 1px solid var(--line); padding: 6px 8px; white-space: nowrap; }
.data td { text-align: right; padding: 3px 8px; border-bottom: 1px solid #f3f4f6; white-space: nowrap; }
.data td.name { text-align: left; }
.data tr.best td { background: #ecfdf5; }
.pass { color: #047857; font-weight: 600; } .fail { color: #b91c1c; font-weight: 600; } .nm { color: var(--muted); }
footer { color: var(--muted); font-size: 12px; text-align: center; margin: 22px 0; }
@media (max-width: 900px) { .grids { grid-template-columns: 1fr; } }
)css";

std::string E(const std::string& text) { return EscapeMarkup(text); }

bool AllNumbers(const std::vector<std::string>& values) {
    for (const std::string& v : values) {
        char* end = nullptr;
        std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0') return false;
    }
    return true;
}

std::vector<std::string> SortedValues(std::vector<std::string> values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    if (AllNumbers(values))
        std::stable_sort(values.begin(), values.end(),
                         [](const std::string& a, const std::string& b) { return std::strtod(a.c_str(), nullptr) < std::strtod(b.c_str(), nullptr); });
    return values;
}

std::string Setting(const CaseRow& row, const std::string& name) { return SettingOf(row, name); }

std::string Or(const std::optional<double>& value, const std::function<std::string(double)>& format) {
    return value ? format(*value) : std::string("—");
}

// The BER as a figure: counted, or the 95 % bound when no error was counted.
std::string BerText(const CaseFigures& f) {
    if (!f.ber || !f.errors) return "—";
    if (*f.errors == 0 && f.berLimit95) return "&lt; " + FormatScientific(*f.berLimit95, 2);
    return FormatScientific(*f.ber, 2);
}

double BerLog(const CaseFigures& f) {
    if (!f.ber || !f.errors) return kNaN;
    const double value = *f.errors == 0 ? f.berLimit95.value_or(kNaN) : *f.ber;
    return value > 0 ? std::log10(value) : kNaN;
}

std::string VerdictCell(Verdict v) {
    const char* cls = v == Verdict::Pass ? "pass" : v == Verdict::Fail ? "fail" : "nm";
    return std::string("<span class=\"") + cls + "\">" + VerdictText(v) + "</span>";
}

std::string SettingsText(const CaseRow& row, const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name + " = " + Setting(row, name);
    return text.empty() ? "the only case" : text;
}

std::string FiguresText(const CaseFigures& f) {
    std::string text = Or(f.eyeHeightV, [](double v) { return FormatFixed(v * 1e3, 1) + " mV"; }) + " × " +
                       Or(f.eyeWidthUi, [](double v) { return FormatFixed(v, 3) + " UI"; });
    if (f.eyeHeight1e12V && f.eyeWidth1e12Ui)
        text += " (at 1e-12: " + FormatFixed(*f.eyeHeight1e12V * 1e3, 1) + " mV × " + FormatFixed(*f.eyeWidth1e12Ui, 3) + " UI)";
    if (f.errors && f.bitsCompared)
        text += ", " + FormatCount(static_cast<std::uint64_t>(*f.errors)) + " errors in " +
                FormatCount(static_cast<std::uint64_t>(*f.bitsCompared)) + " bits";
    return text;
}

std::string HeatGridHtml(const HeatGrid& grid, const std::string& bestX, const std::string& bestY) {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (double v : grid.z)
        if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
    std::string html = "<div class=\"grid\"><h3>" + E(grid.title) + "</h3><table class=\"heat\"><tr><th>" +
                       E(grid.ySetting) + " \\ " + E(grid.xSetting) + "</th>";
    for (const std::string& x : grid.xValues) html += "<th>" + E(x) + "</th>";
    html += "</tr>\n";
    for (std::size_t r = 0; r < grid.yValues.size(); ++r) {
        html += "<tr><th>" + E(grid.yValues[r]) + "</th>";
        for (std::size_t c = 0; c < grid.xValues.size(); ++c) {
            const double v = grid.z[r * grid.xValues.size() + c];
            const bool best = grid.xValues[c] == bestX && grid.yValues[r] == bestY;
            html += best ? "<td class=\"best\"" : "<td";
            if (std::isfinite(v)) {
                double position = high > low ? (v - low) / (high - low) : 1.0;
                if (!grid.higherIsBetter) position = 1.0 - position;
                char colour[8];
                HexColour(Inferno(0.15 + 0.8 * position), colour);
                html += std::string(" style=\"background:") + colour + ";color:" + (position > 0.55 ? "#111827" : "#f9fafb") + "\"";
            }
            html += ">" + grid.text[r * grid.xValues.size() + c] + "</td>";
        }
        html += "</tr>\n";
    }
    return html + "</table></div>\n";
}

// Positions of setting values on a chart axis: the values themselves where all are numbers, else 0, 1, ...
std::vector<double> AxisPositions(const std::vector<std::string>& values) {
    std::vector<double> positions;
    const bool numbers = AllNumbers(values);
    for (std::size_t i = 0; i < values.size(); ++i)
        positions.push_back(numbers ? std::strtod(values[i].c_str(), nullptr) : static_cast<double>(i));
    return positions;
}

// The grid as an interactive heat map with the best case marked.
Chart HeatGridChart(const HeatGrid& grid, const std::string& id, const std::string& bestX, const std::string& bestY) {
    static const std::vector<std::pair<double, std::string>> kInferno = {
        {0.0, "#1b0c41"}, {0.25, "#6a176e"}, {0.5, "#bc3754"}, {0.75, "#f98e09"}, {1.0, "#fcffa4"}};
    ChartTrace map;
    map.kind = TraceKind::HeatMap;
    map.name = grid.title;
    map.x = AxisPositions(grid.xValues);
    map.y = grid.ySetting.empty() ? std::vector<double>{0.0} : AxisPositions(grid.yValues);
    map.z = grid.z;
    map.zTitle = grid.title;
    for (const auto& stop : kInferno) map.colourScale.push_back({grid.higherIsBetter ? stop.first : 1.0 - stop.first, stop.second});
    std::sort(map.colourScale.begin(), map.colourScale.end());
    Chart chart;
    chart.id = id;
    chart.title = grid.title;
    chart.x.title = grid.xSetting;
    chart.y.title = grid.ySetting.empty() ? " " : grid.ySetting;
    chart.x.integer = chart.y.integer = false;
    chart.traces.push_back(map);
    const auto bx = std::find(grid.xValues.begin(), grid.xValues.end(), bestX);
    const auto by = std::find(grid.yValues.begin(), grid.yValues.end(), bestY);
    if (bx != grid.xValues.end() && by != grid.yValues.end()) {
        ChartTrace best;
        best.kind = TraceKind::Markers;
        best.name = "best setting";
        best.colour = "#10b981";
        best.width = 10;
        best.x = {map.x[bx - grid.xValues.begin()]};
        best.y = {map.y[by - grid.yValues.begin()]};
        chart.traces.push_back(best);
    }
    chart.height = grid.ySetting.empty() ? 200 : 340;
    chart.width = 560;
    return chart;
}

std::string CaseTableHtml(const CaseTable& table, const std::vector<int>& bestRows, const std::string& reportFolder) {
    const bool at1e12 = std::any_of(table.rows.begin(), table.rows.end(), [](const CaseRow& r) { return r.figures.eyeHeight1e12V.has_value(); });
    std::string html = "<div class=\"cases\"><table class=\"data\"><tr><th style=\"text-align:left\">case</th><th>channel</th>";
    for (const std::string& name : table.sweptSettings) html += "<th>" + E(name) + "</th>";
    html += "<th>error-free</th><th>errors</th><th>bits</th><th>BER</th><th>eye height [mV]</th><th>eye width [UI]</th>";
    if (at1e12) html += "<th>height at 1e-12 [mV]</th><th>width at 1e-12 [UI]</th>";
    html += "<th>equaliser index</th><th>column</th><th>DFE tap 1 [V]</th><th>adaptation</th><th>clock</th></tr>\n";
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const CaseRow& row = table.rows[i];
        const bool best = std::find(bestRows.begin(), bestRows.end(), static_cast<int>(i)) != bestRows.end();
        std::string link = row.folder + "/report.html";
        if (link.compare(0, reportFolder.size() + 1, reportFolder + "/") == 0) link = link.substr(reportFolder.size() + 1);
        html += best ? "<tr class=\"best\">" : "<tr>";
        html += "<td class=\"name\"><a href=\"" + E(link) + "\">" + E(row.name) + "</a></td>";
        if (row.summary.is_null()) {
            html += "<td colspan=\"" + std::to_string(table.sweptSettings.size() + (at1e12 ? 13 : 11)) + "\" style=\"text-align:left\" class=\"fail\">" +
                    E(row.problem) + "</td></tr>\n";
            continue;
        }
        const CaseFigures& f = row.figures;
        html += "<td>" + E(row.channel) + "</td>";
        for (const std::string& name : table.sweptSettings) html += "<td>" + E(Setting(row, name)) + "</td>";
        auto count = [](const std::optional<double>& v) { return Or(v, [](double x) { return FormatCount(static_cast<std::uint64_t>(x)); }); };
        html += "<td>" + VerdictCell(f.errorFree) + "</td><td>" + count(f.errors) + "</td><td>" + count(f.bitsCompared) +
                "</td><td>" + BerText(f) + "</td>";
        html += "<td>" + Or(f.eyeHeightV, [](double v) { return FormatFixed(v * 1e3, 1); }) + "</td><td>" +
                Or(f.eyeWidthUi, [](double v) { return FormatFixed(v, 3); }) + "</td>";
        if (at1e12)
            html += "<td>" + Or(f.eyeHeight1e12V, [](double v) { return FormatFixed(v * 1e3, 1); }) + "</td><td>" +
                    Or(f.eyeWidth1e12Ui, [](double v) { return FormatFixed(v, 3); }) + "</td>";
        html += "<td>" + Or(f.equaliserIndex, [](double v) { return FormatFixed(v, 0); }) + "</td><td>" +
                Or(f.equaliserColumn, [](double v) { return FormatFixed(v, 0); }) + "</td><td>" +
                Or(f.dfeTap1V, [](double v) { return FormatFixed(v, 3); }) + "</td>";
        html += "<td>" + VerdictCell(f.adaptationComplete) + "</td><td>" + VerdictCell(f.clockLocked) + "</td></tr>\n";
    }
    return html + "</table></div>\n";
}

// Every distinct warning of the cases with the number of cases that gave it: a swept value the model did
// not apply shows here before anyone reads a map built on it.
std::string WarningsHtml(const CaseTable& table) {
    std::vector<std::pair<std::string, std::size_t>> counted;
    for (const CaseRow& row : table.rows)
        for (const std::string& w : row.warnings) {
            auto it = std::find_if(counted.begin(), counted.end(), [&](const auto& c) { return c.first == w; });
            if (it == counted.end()) counted.push_back({w, 1});
            else ++it->second;
        }
    if (counted.empty()) return "";
    constexpr std::size_t kShown = 30;
    std::string html = "<section><h2>Warnings from the cases</h2><ul>\n";
    for (std::size_t i = 0; i < counted.size() && i < kShown; ++i)
        html += "<li>" + E(counted[i].first) + " <span class=\"nm\">(" + FormatCount(counted[i].second) +
                (counted[i].second == 1 ? " case" : " cases") + ")</span></li>\n";
    if (counted.size() > kShown) html += "<li class=\"nm\">and " + FormatCount(counted.size() - kShown) + " more</li>\n";
    return html + "</ul></section>\n";
}

}  // namespace

std::vector<HeatGrid> ChannelHeatGrids(const CaseTable& table, const std::string& channel, int anchorRow) {
    if (table.sweptSettings.empty() || anchorRow < 0) return {};
    const std::string xName = table.sweptSettings[0];
    const std::string yName = table.sweptSettings.size() > 1 ? table.sweptSettings[1] : "";
    const CaseRow& best = table.rows[anchorRow];
    // The channel's cases on the plane through the best case.
    std::vector<const CaseRow*> plane;
    for (const CaseRow& row : table.rows) {
        if (row.summary.is_null() || row.channel != channel) continue;
        bool onPlane = true;
        for (std::size_t s = 2; s < table.sweptSettings.size(); ++s)
            onPlane = onPlane && Setting(row, table.sweptSettings[s]) == Setting(best, table.sweptSettings[s]);
        if (onPlane) plane.push_back(&row);
    }
    std::vector<std::string> xs, ys;
    for (const CaseRow* row : plane) xs.push_back(Setting(*row, xName)), ys.push_back(yName.empty() ? "" : Setting(*row, yName));
    xs = SortedValues(xs);
    ys = SortedValues(ys);

    struct Figure {
        const char* title;
        bool higherIsBetter;
        std::function<double(const CaseFigures&)> value;
        std::function<std::string(const CaseFigures&)> text;
    };
    const bool at1e12 = std::all_of(plane.begin(), plane.end(), [](const CaseRow* r) { return r->figures.eyeHeight1e12V.has_value(); });
    auto valueOf = [](const std::optional<double>& v, double scale) { return v ? *v * scale : kNaN; };
    std::vector<Figure> figures = {
        {"eye height [mV]", true, [&](const CaseFigures& f) { return valueOf(f.eyeHeightV, 1e3); },
         [](const CaseFigures& f) { return Or(f.eyeHeightV, [](double v) { return FormatFixed(v * 1e3, 0); }); }},
        {"eye width [UI]", true, [&](const CaseFigures& f) { return valueOf(f.eyeWidthUi, 1); },
         [](const CaseFigures& f) { return Or(f.eyeWidthUi, [](double v) { return FormatFixed(v, 2); }); }},
        {"log10 BER", false, BerLog,
         [](const CaseFigures& f) { return std::isfinite(BerLog(f)) ? (f.errors && *f.errors == 0 ? "&lt;" : "") + FormatFixed(BerLog(f), 1) : "—"; }},
        {"chosen equaliser index", true, [&](const CaseFigures& f) { return valueOf(f.equaliserIndex, 1); },
         [](const CaseFigures& f) { return Or(f.equaliserIndex, [](double v) { return FormatFixed(v, 0); }); }},
    };
    if (at1e12) {
        figures.insert(figures.begin() + 2,
                       {"eye height at 1e-12 [mV]", true, [&](const CaseFigures& f) { return valueOf(f.eyeHeight1e12V, 1e3); },
                        [](const CaseFigures& f) { return Or(f.eyeHeight1e12V, [](double v) { return FormatFixed(v * 1e3, 0); }); }});
        figures.insert(figures.begin() + 3,
                       {"eye width at 1e-12 [UI]", true, [&](const CaseFigures& f) { return valueOf(f.eyeWidth1e12Ui, 1); },
                        [](const CaseFigures& f) { return Or(f.eyeWidth1e12Ui, [](double v) { return FormatFixed(v, 2); }); }});
    }
    std::vector<HeatGrid> grids;
    for (const Figure& figure : figures) {
        HeatGrid grid;
        grid.title = figure.title;
        grid.xSetting = xName;
        grid.ySetting = yName;
        grid.xValues = xs;
        grid.yValues = ys;
        grid.higherIsBetter = figure.higherIsBetter;
        grid.z.assign(xs.size() * ys.size(), kNaN);
        grid.text.assign(xs.size() * ys.size(), "");
        for (const CaseRow* row : plane) {
            const std::size_t c = std::find(xs.begin(), xs.end(), Setting(*row, xName)) - xs.begin();
            const std::size_t r = std::find(ys.begin(), ys.end(), yName.empty() ? "" : Setting(*row, yName)) - ys.begin();
            grid.z[r * xs.size() + c] = figure.value(row->figures);
            grid.text[r * xs.size() + c] = figure.text(row->figures);
        }
        grids.push_back(std::move(grid));
    }
    return grids;
}

std::string SweepReportHtml(const CaseTable& table, const std::string& title, const std::string& reportFolder) {
    ChartPage page;
    std::size_t missing = 0;
    for (const CaseRow& row : table.rows) missing += row.summary.is_null() ? 1 : 0;
    std::string sub = FormatCount(table.rows.size()) + " cases over " + std::to_string(table.channels.size()) +
                      (table.channels.size() == 1 ? " channel" : " channels");
    if (!table.sweptSettings.empty()) {
        sub += "; swept:";
        for (const std::string& name : table.sweptSettings) sub += " " + name;
    }
    if (missing > 0) sub += "; " + FormatCount(missing) + " without a result";
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + E(title) +
                       "</title>\n<style>" + std::string(kPageStyle) + kStyle + ChartPage::Style() + "</style></head>\n<body><header><div class=\"wrap\"><h1>" + E(title) +
                       "</h1><div class=\"sub\">" + E(sub) + "</div></div></header>\n<main class=\"wrap\">\n";
    std::vector<int> bestRows;
    for (const std::string& channel : table.channels) {
        const int best = BestCase(table, channel);
        const int anchor = best >= 0 ? best : FirstCase(table, channel);
        bestRows.push_back(best);
        html += "<section><h2>" + E(channel) + "</h2>\n";
        const CaseRow& row = table.rows[anchor];
        const bool clean = best >= 0 && row.figures.errorFree == Verdict::Pass;
        if (best >= 0)
            html += std::string("<div class=\"best") + (clean ? "" : " bad") + "\">Best setting: <b>" +
                    E(SettingsText(row, table.sweptSettings)) + "</b> — " + E(FiguresText(row.figures)) +
                    (clean ? "" : " (no case of this channel ran error-free)") + "</div>\n";
        else
            html += "<div class=\"best bad\">No best setting: no case of this channel ran error-free, and in none "
                    "could the decisions be matched to the sent bits to count errors, so its eye figures are no "
                    "guide (see each case's report for what the receiver did).</div>\n";
        const std::vector<HeatGrid> grids = ChannelHeatGrids(table, channel, anchor);
        if (!grids.empty()) {
            html += "<div class=\"grids\">";
            const std::string bestX = best >= 0 ? Setting(row, grids[0].xSetting) : "\x01";  // no cell marked
            const std::string bestY = grids[0].ySetting.empty() ? "" : Setting(row, grids[0].ySetting);
            for (std::size_t g = 0; g < grids.size(); ++g)
                html += page.Interactive()
                            ? "<div>" + page.Place(HeatGridChart(grids[g], "map-" + std::to_string(bestRows.size()) + "-" + std::to_string(g), bestX, bestY)) + "</div>"
                            : HeatGridHtml(grids[g], bestX, bestY);
            html += "</div>\n<p class=\"note\">An error-free case's BER is its 95 % upper bound (about 3 / bits counted).</p>\n";
            if (table.sweptSettings.size() > 2) {
                std::string held;
                for (std::size_t s = 2; s < table.sweptSettings.size(); ++s)
                    held += (held.empty() ? "" : ", ") + table.sweptSettings[s] + " = " + Setting(row, table.sweptSettings[s]);
                html += "<p class=\"note\">The maps hold " + E(held) + (best >= 0 ? " at the best case's values" : " at the first case's values") + ".</p>\n";
            }
        }
        html += "</section>\n";
    }
    html += WarningsHtml(table);
    html += "<section><h2>Cases</h2>\n" + CaseTableHtml(table, bestRows, reportFolder) +
            "<p class=\"note\">The best setting of a channel is its error-free case with the largest eye height (at a "
            "BER of 1e-12 where every case gives it, else of the folded eye), then the widest eye; when no case is "
            "error-free, the lowest BER. Each case name links to its own report.</p></section>\n";
    html += page.Notice() + "</main><footer>kelvane-sim sweep report</footer>\n" + page.Scripts() + "</body></html>\n";
    return html;
}

std::string CaseTableCsv(const CaseTable& table) {
    auto number = [](const std::optional<double>& v) { return v ? FormatGeneral(*v, 10) : std::string(); };
    auto quoted = [](const std::string& text) {
        std::string out = "\"";
        for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
        return out + "\"";
    };
    std::string csv = "case,channel";
    for (const std::string& name : table.sweptSettings) csv += "," + quoted(name);
    csv += ",error_free,errors,bits_compared,ber,ber_limit_95,eye_height_v,eye_width_ui,eye_height_1e12_v,eye_width_1e12_ui,"
           "equaliser_index,equaliser_column,dfe_tap1_v,adaptation_complete,clock_locked,problem\n";
    for (const CaseRow& row : table.rows) {
        const CaseFigures& f = row.figures;
        csv += quoted(row.name) + "," + quoted(row.channel);
        for (const std::string& name : table.sweptSettings) csv += "," + quoted(Setting(row, name));
        const bool has = !row.summary.is_null();
        csv += "," + std::string(has ? VerdictText(f.errorFree) : "") + "," + number(f.errors) + "," + number(f.bitsCompared) + "," +
               number(f.ber) + "," + number(f.berLimit95) + "," + number(f.eyeHeightV) + "," + number(f.eyeWidthUi) + "," +
               number(f.eyeHeight1e12V) + "," + number(f.eyeWidth1e12Ui) + "," + number(f.equaliserIndex) + "," +
               number(f.equaliserColumn) + "," + number(f.dfeTap1V) + "," + (has ? VerdictText(f.adaptationComplete) : "") + "," +
               (has ? VerdictText(f.clockLocked) : "") + "," + quoted(row.problem) + "\n";
    }
    return csv;
}

void WriteSweepReport(const CaseTable& table, const std::string& title, const std::string& folder) {
    WriteTextFile(folder + "/report.html", SweepReportHtml(table, title, folder));
    WriteTextFile(folder + "/cases.csv", CaseTableCsv(table));
}

}  // namespace ksim
