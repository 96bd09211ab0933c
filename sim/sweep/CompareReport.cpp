#include "sim/sweep/CompareReport.h"

#include <algorithm>

#include "sim/report/ChartPage.h"
#include "sim/report/MarkupEscape.h"
#include "sim/report/PageStyle.h"

namespace ksim {

namespace {

const char kStyle[] = R"css(
header .sub { word-break: break-all; }
table.data { border-collapse: collapse; width: 100%; font-size: 12.5px; font-variant-numeric: tabular-nums; }
.data th { background: #f9fafb; font-weight: 600; text-align: left; border-bottom: 1px solid #e5e7eb; padding: 6px 8px; }
.data td { padding: 3px 8px; border-bottom: 1px solid #f3f4f6; word-break: break-word; }
.data td.key { font-family: 'DejaVu Sans Mono', Menlo, Consolas, monospace; font-size: 12px; }
p.note { color: #6b7280; font-size: 13px; }
)css";

std::string E(const std::string& text) { return EscapeMarkup(text); }

const char* const kRunColours[2] = {"#2563eb", "#dc2626"};

// One field of every adaptation step, against the step number.
ChartTrace StepTrace(const OrderedJson& summary, const char* field, int run) {
    ChartTrace trace;
    trace.name = run == 0 ? "first" : "second";
    trace.colour = kRunColours[run];
    trace.markers = true;
    const OrderedJson* steps = FindPath(summary, "adaptation/steps");
    if (steps == nullptr || !steps->is_array()) return trace;
    for (std::size_t i = 0; i < steps->size(); ++i) {
        const OrderedJson* value = FindPath((*steps)[i], field);
        if (value == nullptr || !value->is_number()) continue;
        trace.x.push_back(static_cast<double>(i + 1));
        trace.y.push_back(value->get<double>());
    }
    return trace;
}

ChartTrace PeriodTrace(const OrderedJson& summary, int run) {
    ChartTrace trace;
    trace.name = run == 0 ? "first" : "second";
    trace.colour = kRunColours[run];
    const OrderedJson* times = FindPath(summary, "clock/period_trace/time_us");
    const OrderedJson* periods = FindPath(summary, "clock/period_trace/period_ui");
    if (times == nullptr || periods == nullptr || !times->is_array() || !periods->is_array()) return trace;
    for (std::size_t i = 0; i < std::min(times->size(), periods->size()); ++i) {
        if (!(*times)[i].is_number() || !(*periods)[i].is_number()) continue;
        trace.x.push_back((*times)[i].get<double>());
        trace.y.push_back((*periods)[i].get<double>());
    }
    return trace;
}

std::string Charts(const OrderedJson& first, const OrderedJson& second, ChartPage& page) {
    struct Plot {
        const char* id;
        const char* title;
        const char* field;
        const char* yTitle;
    };
    std::string html = "<section><h2>Both runs</h2>\n";
    for (const Plot& plot : {Plot{"merit", "adaptation: merit of each step's eye (0.25 VEO + HEO)", "merit", "merit"},
                             Plot{"setting", "adaptation: equaliser table index measured at each step", "table_index", "table index"},
                             Plot{"tap1", "adaptation: DFE tap 1 at each step", "taps_v/0", "tap 1 [V]"}}) {
        Chart chart;
        chart.id = plot.id;
        chart.title = plot.title;
        chart.x.title = "adaptation step";
        chart.x.integer = true;
        chart.y.title = plot.yTitle;
        chart.traces = {StepTrace(first, plot.field, 0), StepTrace(second, plot.field, 1)};
        chart.height = 260;
        html += page.Place(chart);
    }
    Chart clock;
    clock.id = "period";
    clock.title = "recovered clock period";
    clock.x.title = "time [µs]";
    clock.y.title = "period [UI]";
    clock.traces = {PeriodTrace(first, 0), PeriodTrace(second, 1)};
    clock.height = 260;
    html += page.Place(clock);
    return html + page.Notice() + "</section>\n";
}

}  // namespace

std::string CompareReportHtml(const Comparison& c, const OrderedJson& first, const OrderedJson& second,
                              const std::string& firstName, const std::string& secondName) {
    ChartPage page;
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>kelvane-sim compare</title>\n<style>" +
                       std::string(kPageStyle) + kStyle + ChartPage::Style() + "</style></head>\n<body><header><div class=\"wrap\"><h1>kelvane-sim compare</h1>" +
                       "<div class=\"sub\">first: " + E(firstName) + "<br>second: " + E(secondName) + "</div></div></header>\n" +
                       "<main class=\"wrap\">\n";
    for (DifferenceGroup group : {DifferenceGroup::Settings, DifferenceGroup::Figures, DifferenceGroup::Adaptation, DifferenceGroup::Other}) {
        std::string rows;
        for (const Difference& d : c.differences)
            if (d.group == group)
                rows += "<tr><td class=\"key\">" + E(d.path) + "</td><td>" + E(ValueText(d.first)) + "</td><td>" +
                        E(ValueText(d.second)) + "</td><td>" + E(ChangeText(d.first, d.second)) + "</td></tr>\n";
        html += std::string("<section><h2>") + GroupName(group) + "</h2>\n";
        html += rows.empty() ? "<p class=\"note\">no differences</p>"
                             : "<table class=\"data\"><tr><th>key</th><th>first</th><th>second</th><th>change</th></tr>\n" + rows + "</table>";
        html += "</section>\n";
    }
    html += Charts(first, second, page);
    html += "<p class=\"note\">" + std::to_string(c.differences.size()) + " differences, " + std::to_string(c.equalKeys) +
            " values equal.</p></main>\n" + page.Scripts() + "</body></html>\n";
    return html;
}

}  // namespace ksim
