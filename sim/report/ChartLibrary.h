#pragma once

#include <string>
#include <string_view>

namespace ksim {

// The charting library built into the simulator: the text of plotly.js's minified script, or "" when the
// build found none (then reports draw static SVG charts and say why).
std::string_view EmbeddedChartLibrary();
// "plotly.js 4.1.2", or "" when none is built in.
std::string EmbeddedChartLibraryName();

}  // namespace ksim
