#include "sim/sweep/CompareReport.h"

#include "sim/report/MarkupEscape.h"

namespace ksim {

namespace {

const char kStyle[] = R"css(
body { margin: 0; background: #f3f4f6; color: #111827;
  font: 14px/1.45 'Helvetica Neue', Helvetica, Arial, 'Liberation Sans', 'DejaVu Sans', sans-serif; }
header { background: #111827; color: #f9fafb; padding: 22px 0 20px; }
.wrap { max-width: 1180px; margin: 0 auto; padding: 0 28px; }
header h1 { margin: 0; font-size: 22px; font-weight: 600; }
header .sub { color: #9ca3af; margin-top: 4px; word-break: break-all; }
section { background: #fff; border: 1px solid #e5e7eb; border-radius: 10px; padding: 18px 22px; margin-top: 18px; }
section h2 { font-size: 16px; font-weight: 600; margin: 0 0 12px; }
table.data { border-collapse: collapse; width: 100%; font-size: 12.5px; font-variant-numeric: tabular-nums; }
.data th { background: #f9fafb; font-weight: 600; text-align: left; border-bottom: 1px solid #e5e7eb; padding: 6px 8px; }
.data td { padding: 3px 8px; border-bottom: 1px solid #f3f4f6; word-break: break-word; }
.data td.key { font-family: 'DejaVu Sans Mono', Menlo, Consolas, monospace; font-size: 12px; }
p.note { color: #6b7280; font-size: 13px; }
)css";

std::string E(const std::string& text) { return EscapeMarkup(text); }

}  // namespace

std::string CompareReportHtml(const Comparison& c, const OrderedJson&, const OrderedJson&, const std::string& firstName,
                              const std::string& secondName) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>kelvane-sim compare</title>\n<style>" +
                       std::string(kStyle) + "</style></head>\n<body><header><div class=\"wrap\"><h1>kelvane-sim compare</h1>" +
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
    html += "<p class=\"note\">" + std::to_string(c.differences.size()) + " differences, " + std::to_string(c.equalKeys) +
            " values equal.</p></main></body></html>\n";
    return html;
}

}  // namespace ksim
