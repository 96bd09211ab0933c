#pragma once

// Places charts in one HTML page. With the charting library each chart becomes a box that plotly.js draws
// when the page opens (zoom, pan, hover values, a camera button that downloads the chart as a PNG); the
// library's text and the few lines that draw the boxes go into the page itself, so it stays one file that
// opens offline. Without it each chart is drawn as inline SVG and the page says why.

#include <set>
#include <string>
#include <string_view>

#include "sim/report/Chart.h"
#include "sim/report/ChartLibrary.h"

namespace ksim {

class ChartPage {
public:
    // library: the text of plotly.js's minified script; "" draws static SVG charts. A text that could end
    // its <script> element early is refused (static charts, and Notice() says so).
    explicit ChartPage(std::string_view library = EmbeddedChartLibrary(), std::string libraryName = EmbeddedChartLibraryName());

    bool Interactive() const { return !library_.empty(); }

    // The chart's markup at its place in the page. A repeated id gets a suffix ("eye-2"). staticSvg, when
    // given, replaces ChartSvg(chart) in the static view (a drawing of its own, such as the eye image).
    std::string Place(const Chart& chart, const std::string& staticSvg = "");

    // At the end of <body>: the library and the code that draws every placed chart; "" for static charts.
    std::string Scripts() const;

    // A short paragraph about the charts: the library and how to export PNGs, or why they are static.
    std::string Notice() const;

    // CSS for the chart boxes, for the page's <style>.
    static const char* Style();

private:
    std::string_view library_;
    std::string libraryName_;
    std::string whyStatic_;
    std::set<std::string> ids_;
};

}  // namespace ksim
