#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/SimResults.h"
#include "sim/analysis/EqualiserViews.h"
#include "sim/report/ChartLibrary.h"

namespace ksim {

struct HtmlReportOptions {
    std::string title = "kelvane-sim link report";
    // other files of the run folder, named relative to the report ("summary.json"), listed with links;
    // names with a scheme or an absolute path are listed without a link
    std::vector<std::string> files;
    // the charting library embedded in the page for interactive charts; "" draws static SVG charts
    std::string_view chartLibrary = EmbeddedChartLibrary();
    std::string chartLibraryName = EmbeddedChartLibraryName();
    // the equaliser views when already worked out from the report; null works them out
    const EqualiserViews* equaliserViews = nullptr;
};

// One self-contained HTML page: inline CSS, interactive charts drawn by the embedded charting library (static
// inline SVG without it), the eye image as a data: URI, no external resource, so it opens offline in any
// browser. Shows the verdict (clock lock, adaptation, BER with bit
// counts), the key figures, the eye with its colour scale, the clock period and phase, the adaptation plots
// and table of steps, the channel's pulse response and cursors, the parameter strings and init messages and
// any warnings. All text from users and models is escaped.
std::string RenderHtmlReport(const RunReport& report, const HtmlReportOptions& options = {});

// RenderHtmlReport to a file; throws std::runtime_error naming the path when it cannot be written.
void WriteHtmlReport(const RunReport& report, const std::string& path, const HtmlReportOptions& options = {});

}  // namespace ksim
