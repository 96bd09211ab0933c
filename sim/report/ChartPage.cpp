#include "sim/report/ChartPage.h"

#include <cctype>

#include "sim/report/MarkupEscape.h"
#include "sim/report/SvgPlot.h"

namespace ksim {
namespace {

// Draws every chart box from the figure stored beside it. PNG downloads come out at twice the screen size,
// named after the chart. The drawing starts at once, so a page printed or captured right after loading
// holds the charts.
const char kDrawCharts[] = R"js(
(function () {
  var boxes = document.querySelectorAll('script[type="application/json"][data-chart]');
  for (var i = 0; i < boxes.length; ++i) {
    var id = boxes[i].getAttribute('data-chart');
    var figure = JSON.parse(boxes[i].textContent);
    Plotly.newPlot(document.getElementById(id), figure.data, figure.layout, {
      responsive: true, displaylogo: false, scrollZoom: false,
      modeBarButtonsToRemove: ['select2d', 'lasso2d'],
      toImageButtonOptions: { format: 'png', filename: id, scale: 2 }
    });
  }
})();
)js";

std::string SafeId(const std::string& id) {
    std::string out;
    for (char c : id)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') out += c;
    return out.empty() ? "chart" : out;
}

bool Contains(std::string_view text, std::string_view what) {
    if (what.empty()) return true;
    // Only the places that hold the first character, in either case, need a closer look: the library is
    // megabytes long and looked through at every page.
    const char first[] = {what[0], static_cast<char>(std::toupper(static_cast<unsigned char>(what[0]))), '\0'};
    auto next = [&](std::size_t from) {
        return first[0] == first[1] ? text.find(first[0], from) : text.find_first_of(first, from);
    };
    for (std::size_t at = next(0); at != std::string_view::npos && at + what.size() <= text.size(); at = next(at + 1)) {
        std::size_t k = 0;
        while (k < what.size() && std::tolower(static_cast<unsigned char>(text[at + k])) == what[k]) ++k;
        if (k == what.size()) return true;
    }
    return false;
}

}  // namespace

ChartPage::ChartPage(std::string_view library, std::string libraryName)
    : library_(library), libraryName_(std::move(libraryName)) {
    if (library_.empty()) {
        whyStatic_ = "this build of kelvane-sim carries no charting library (npm was missing or offline when it "
                     "was built)";
    } else if (Contains(library_, "</script") || Contains(library_, "<script")) {
        whyStatic_ = "the charting library's text cannot be embedded in a page safely";
        library_ = {};
    }
}

std::string ChartPage::Place(const Chart& chart, const std::string& staticSvg) {
    std::string id = SafeId(chart.id);
    for (int n = 2; !ids_.insert(id).second; ++n) id = SafeId(chart.id) + "-" + std::to_string(n);
    if (!Interactive()) {
        return "<div class=\"plot\">" + InlineSvg(staticSvg.empty() ? ChartSvg(chart) : staticSvg) + "</div>";
    }
    return "<div class=\"chart\" id=\"" + id + "\" style=\"height:" + std::to_string(std::max(120, chart.height)) +
           "px\"></div><script type=\"application/json\" data-chart=\"" + id + "\">" + ChartFigureJson(chart) +
           "</script>";
}

std::string ChartPage::Scripts() const {
    if (!Interactive()) return "";
    std::string html;
    html.reserve(library_.size() + 1024);
    html += "<script>\n";
    html += library_;
    html += "\n</script>\n<script>";
    html += kDrawCharts;
    html += "</script>\n";
    return html;
}

std::string ChartPage::Notice() const {
    if (Interactive()) {
        return "<p class=\"note charts\">Charts drawn with " + EscapeMarkup(libraryName_) +
               " (embedded; the page needs no network): drag to zoom, double-click to reset, hover for values; "
               "the camera button saves a chart as a PNG.</p>";
    }
    return "<p class=\"note charts static\">Static charts: " + EscapeMarkup(whyStatic_) +
           ". Build kelvane-sim with npm reachable for interactive charts.</p>";
}

const char* ChartPage::Style() {
    return ".chart { width: 100%; }\n.chart + script + .chart, .plot + .chart, .chart + script + .plot { margin-top: 10px; }\n"
           "p.note.charts { margin: 14px 0 0; }\np.note.static { color: #b45309; }\n";
}

}  // namespace ksim
