#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ksim {

struct PlotSeries {
    std::string label;            // legend text; series without one stay out of the legend
    std::vector<double> x, y;     // paired by index; points with a non-finite coordinate are left out
    std::string colour = "#2563eb";
    double lineWidth = 1.5;       // [px]; 0 draws the markers alone
    bool steps = false;           // hold each value until the next point (settings per adaptation step)
    bool markers = false;         // a dot on every point (drawn for up to a few hundred points)
    bool dashed = false;
    double breakJump = 0;         // start a new line where y jumps by more than this (wrapped phase); 0 = never
};

// A reference line across the plot, with a short label.
struct PlotGuide {
    bool vertical = false;        // vertical at x = value, otherwise horizontal at y = value
    double value = 0;
    std::string label;
    std::string colour = "#6b7280";
};

struct PlotOptions {
    std::string id = "plot";      // unique within one HTML page (names the clip path); letters, digits, - and _
    std::string title, xLabel, yLabel;
    int width = 1100, height = 300;   // [px], at least 200 x 120
    std::size_t maxPoints = 3000;     // per series after min/max decimation, >= 2
    bool fixedY = false;              // use yMin..yMax instead of the data's range
    double yMin = 0, yMax = 0;
    std::vector<double> xInclude;     // values the x range must cover (for example time 0)
    std::vector<double> yInclude;     // values the automatic y range must cover (for example 0)
    bool integerX = false;            // x ticks on whole numbers only (step counts)
    bool integerY = false;            // y ticks on whole numbers only (setting indices)
    std::vector<PlotGuide> guides;
};

// Keeps at most maxPoints of the n = min(x.size(), y.size()) points. When n > maxPoints the points are split
// into maxPoints / 2 runs of consecutive points and each run contributes its lowest and its highest point,
// in their original order (the first and last point of a flat run), so spikes survive; otherwise all points
// are kept. Values must be finite.
void DecimateMinMax(const std::vector<double>& x, const std::vector<double>& y, std::size_t maxPoints,
                    std::vector<double>& keptX, std::vector<double>& keptY);

// Tick positions at 1, 2 or 5 times a power of ten (whole numbers when integerOnly), about `target` of them
// between lo and hi inclusive; `step` receives their spacing.
std::vector<double> NiceTicks(double lo, double hi, int target, bool integerOnly, double& step);

// A coordinate with one decimal ("12.3"), enough for screen pixels.
std::string SvgCoordinate(double value);

// Text of a tick at `value` on an axis with ticks `step` apart: as many decimals as the step needs.
std::string TickLabel(double value, double step);

// A complete standalone SVG document (with its namespace, without an XML declaration): title, framed plot
// area with grid, ticks, tick labels, axis labels, legend, guides and the series as polylines. With no
// drawable point it shows "no data".
std::string RenderLinePlot(const PlotOptions& options, const std::vector<PlotSeries>& series);

// The same SVG without its namespace attribute, for inline use in an HTML page (which needs none).
std::string InlineSvg(const std::string& svg);

}  // namespace ksim
