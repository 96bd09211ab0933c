#pragma once

// One chart of a report, described once and drawn two ways: as an interactive plotly.js figure (zoom, hover
// values, PNG download) when the page carries the charting library, and as a static SVG otherwise. Report
// sections build a Chart and hand it to a ChartPage (ChartPage.h), which places it in the page.

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "sim/report/SvgPlot.h"

namespace ksim {

enum class TraceKind {
    Line,      // x/y points joined by a line (markers too when `markers`)
    Markers,   // x/y points as dots
    HeatMap,   // z over the grid of x (columns) and y (rows)
    Contour,   // lines of equal z over the same grid
};

struct ChartTrace {
    TraceKind kind = TraceKind::Line;
    std::string name;             // legend and hover label; a trace without one stays out of the legend
    std::vector<double> x, y;     // Line/Markers: paired points, non-finite ones left out;
                                  // HeatMap/Contour: column and row coordinates, ascending
    std::vector<double> z;        // HeatMap/Contour: y.size() rows of x.size() values; NaN leaves a cell empty
    std::string colour = "#2563eb";
    double width = 1.5;           // line width [px], > 0
    bool markers = false;         // Line: a dot on every point as well
    bool dashed = false;
    bool steps = false;           // Line: hold each value until the next point
    double breakJump = 0;         // Line: no line where y jumps by more than this (wrapped phase); 0 = never
    bool rightAxis = false;       // Line/Markers: against the chart's second y axis
    std::string markerSymbol;     // plotly's marker symbol ("diamond"); empty: a dot
    std::string hoverText;        // Line/Markers without a name: what hover calls the point, optional
    std::string hoverTemplate;    // plotly's hover template ("%{x:.3f} UI<br>%{text} hits"), optional
    std::vector<double> zHover;   // HeatMap: what hover shows per cell as %{text} (counts behind a log scale)
    // HeatMap/Contour only
    std::vector<std::pair<double, std::string>> colourScale;  // positions 0..1 and "#rrggbb"; empty: a default
    bool colourBar = true;
    std::string zTitle;           // colour bar title, with its unit
    std::vector<double> zTickValues;          // colour bar ticks (e.g. log10 of counts) ...
    std::vector<std::string> zTickTexts;      // ... and their texts ("1", "10", "100")
    std::vector<double> contourLevels;        // Contour: the z values drawn, evenly spaced and ascending
    double zMin = NAN, zMax = NAN;            // colour scale ends; NaN: the data's
};

struct ChartAxis {
    std::string title;            // with the unit in brackets: "time [µs]"
    bool log = false;             // logarithmic; values <= 0 are left out
    bool fixed = false;           // show min..max instead of the data's range
    double min = 0, max = 0;      // for `fixed` (on a log axis: the values themselves, not their logarithms)
    std::vector<double> include;  // values the automatic range must cover (for example 0)
    bool integer = false;         // ticks on whole numbers only (step counts, setting indices)
    std::string hoverFormat;      // d3 format of hover values (".4f"), optional
};

// A reference line across the chart, with a short label (the static drawing's PlotGuide).
using ChartGuide = PlotGuide;

// A labelled line segment in data coordinates (a measured eye opening, a marked span); the label sits at
// its first end.
struct ChartSegment {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    std::string label;
    std::string colour = "#67e8f9";
};

struct Chart {
    std::string id = "chart";     // unique within a page; letters, digits, - and _; names the PNG download
    std::string title;
    ChartAxis x, y;
    ChartAxis y2;                 // the second y axis, used when a trace has rightAxis
    std::vector<ChartTrace> traces;
    std::vector<ChartGuide> guides;
    std::vector<ChartSegment> segments;
    int height = 300;             // [px], >= 120
    int width = 1100;             // [px] of the static drawing; the interactive one fills the page's width
    std::size_t maxPoints = 3000; // per Line/Markers trace after min/max decimation, >= 2
    bool darkPlotArea = false;    // black plot area (eye densities)
    bool unifiedHover = false;    // hover shows every trace's value at the pointer's x (per-step plots)
};

// The chart as a plotly.js figure: {"data":[...],"layout":{...}}. The legend is a row above the plot for up
// to four named traces, a column right of it for more. Numbers carry 8 significant digits,
// non-finite ones become null (a gap). Every '<' is written as \u003c, so the text can sit inside an HTML
// <script> element.
std::string ChartFigureJson(const Chart& chart);

// The chart as a standalone SVG document (see RenderLinePlot): line and marker traces of the left axis with
// guides and segments; log axes plot the base-10 logarithm; traces of the second axis are left out; heat
// maps and contours, which the static drawing cannot show, leave a note.
std::string ChartSvg(const Chart& chart);

}  // namespace ksim
