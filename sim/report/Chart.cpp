#include "sim/report/Chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "sim/report/MarkupEscape.h"
#include "sim/report/SvgPlot.h"

namespace ksim {
namespace {

using Json = nlohmann::json;

const char kFontFamily[] = "'Helvetica Neue', Helvetica, Arial, 'Liberation Sans', 'DejaVu Sans', sans-serif";

// 8 significant digits: finer than any screen and any hover text needs, and half the size of full precision.
Json Number(double value) {
    if (!std::isfinite(value)) return nullptr;
    char text[32];
    std::snprintf(text, sizeof text, "%.8g", value);
    return std::strtod(text, nullptr);
}

bool OnAxis(double value, bool log) { return std::isfinite(value) && (!log || value > 0); }

// The points of a line or marker trace as plotly draws them: finite (and positive on a log axis), min/max
// decimated, with a null between two points where the line breaks.
void TracePoints(const ChartTrace& t, bool logX, bool logY, std::size_t maxPoints, Json& xs, Json& ys) {
    std::vector<double> fx, fy, kx, ky;
    const std::size_t n = std::min(t.x.size(), t.y.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (OnAxis(t.x[i], logX) && OnAxis(t.y[i], logY)) {
            fx.push_back(t.x[i]);
            fy.push_back(t.y[i]);
        }
    }
    DecimateMinMax(fx, fy, std::max<std::size_t>(2, maxPoints), kx, ky);
    xs = Json::array();
    ys = Json::array();
    for (std::size_t i = 0; i < kx.size(); ++i) {
        if (i > 0 && t.breakJump > 0 && std::fabs(ky[i] - ky[i - 1]) > t.breakJump) {
            xs.push_back(nullptr);
            ys.push_back(nullptr);
        }
        xs.push_back(Number(kx[i]));
        ys.push_back(Number(ky[i]));
    }
}

Json ColourScale(const ChartTrace& t) {
    if (t.colourScale.empty()) return "Viridis";
    Json scale = Json::array();
    for (const auto& stop : t.colourScale) scale.push_back({Number(stop.first), stop.second});
    return scale;
}

// Row-major values as plotly's rows of a grid; missing values are gaps.
Json GridRows(const std::vector<double>& values, std::size_t columns, std::size_t rows) {
    Json grid = Json::array();
    for (std::size_t row = 0; row < rows; ++row) {
        Json cells = Json::array();
        for (std::size_t col = 0; col < columns; ++col) {
            const std::size_t at = row * columns + col;
            cells.push_back(at < values.size() ? Number(values[at]) : Json(nullptr));
        }
        grid.push_back(cells);
    }
    return grid;
}

Json GridTrace(const ChartTrace& t) {
    Json trace = {{"type", t.kind == TraceKind::HeatMap ? "heatmap" : "contour"}, {"x", Json::array()},
                  {"y", Json::array()}, {"colorscale", ColourScale(t)},
                  {"showscale", t.colourBar}, {"hoverongaps", false}};
    for (double v : t.x) trace["x"].push_back(Number(v));
    for (double v : t.y) trace["y"].push_back(Number(v));
    trace["z"] = GridRows(t.z, t.x.size(), t.y.size());
    if (!t.zHover.empty()) trace["text"] = GridRows(t.zHover, t.x.size(), t.y.size());
    if (std::isfinite(t.zMin)) trace["zmin"] = Number(t.zMin);
    if (std::isfinite(t.zMax)) trace["zmax"] = Number(t.zMax);
    if (!t.hoverTemplate.empty()) trace["hovertemplate"] = t.hoverTemplate;
    if (!t.name.empty()) trace["name"] = t.name;
    Json bar = {{"thickness", 14}, {"outlinewidth", 0}};
    if (!t.zTitle.empty()) bar["title"] = {{"text", t.zTitle}, {"side", "right"}};
    if (!t.zTickValues.empty() && t.zTickValues.size() == t.zTickTexts.size()) {
        bar["tickmode"] = "array";
        bar["tickvals"] = Json::array();
        for (double v : t.zTickValues) bar["tickvals"].push_back(Number(v));
        bar["ticktext"] = t.zTickTexts;
    }
    trace["colorbar"] = bar;
    if (t.kind == TraceKind::Contour) {
        trace["contours"] = {{"coloring", "lines"}, {"showlabels", true}};
        trace["line"] = {{"width", t.width}};
        if (t.contourLevels.size() >= 2) {
            const double first = t.contourLevels.front(), last = t.contourLevels.back();
            trace["autocontour"] = false;
            trace["contours"]["start"] = Number(first);
            trace["contours"]["end"] = Number(last);
            trace["contours"]["size"] = Number((last - first) / static_cast<double>(t.contourLevels.size() - 1));
        }
    } else {
        trace["zsmooth"] = false;
    }
    return trace;
}

Json PointTrace(const ChartTrace& t, const Chart& chart) {
    const bool logY = t.rightAxis ? chart.y2.log : chart.y.log;
    Json xs, ys;
    TracePoints(t, chart.x.log, logY, chart.maxPoints, xs, ys);
    const bool line = t.kind == TraceKind::Line;
    Json trace = {{"type", "scatter"}, {"x", xs}, {"y", ys},
                  {"mode", line ? (t.markers ? "lines+markers" : "lines") : "markers"},
                  {"showlegend", !t.name.empty()}, {"connectgaps", false}};
    trace["name"] = !t.name.empty() ? t.name : t.hoverText;
    if (line) {
        trace["line"] = {{"color", t.colour}, {"width", t.width}};
        if (t.dashed) trace["line"]["dash"] = "dash";
        if (t.steps) trace["line"]["shape"] = "hv";
    }
    if (!line || t.markers) trace["marker"] = {{"color", t.colour}, {"size", line ? 5 : 7}};
    if (!t.markerSymbol.empty()) trace["marker"]["symbol"] = t.markerSymbol;
    if (t.rightAxis) trace["yaxis"] = "y2";
    if (trace["name"].get<std::string>().empty()) trace["hoverinfo"] = "x+y";
    if (!t.hoverTemplate.empty()) trace["hovertemplate"] = t.hoverTemplate;
    return trace;
}

struct Span {
    double lo = 0, hi = 0;
    bool empty = true;
    void Add(double v) {
        if (!std::isfinite(v)) return;
        lo = empty ? v : std::min(lo, v);
        hi = empty ? v : std::max(hi, v);
        empty = false;
    }
};

// The points' span along one axis (0: x, 1: left y, 2: right y), in the axis' own units.
Span DataSpan(const Chart& chart, int which, bool log) {
    Span span;
    for (const ChartTrace& t : chart.traces) {
        if (which > 0 && (t.rightAxis != (which == 2))) continue;
        const std::vector<double>& values = which == 0 ? t.x : t.y;
        for (double v : values)
            if (OnAxis(v, log)) span.Add(v);
    }
    return span;
}

Json Axis(const ChartAxis& a, const Chart& chart, int which) {
    Json axis = {{"title", {{"text", a.title}, {"standoff", 8}}},
                 {"type", a.log ? "log" : "linear"},
                 {"gridcolor", chart.darkPlotArea ? "rgba(255,255,255,0.12)" : "#e5e7eb"},
                 {"linecolor", "#6b7280"},
                 {"mirror", true},
                 {"ticks", "outside"},
                 {"tickcolor", "#6b7280"},
                 {"zeroline", false},
                 {"showexponent", "all"},
                 {"exponentformat", a.log ? "power" : "none"}};
    if (!a.hoverFormat.empty()) axis["hoverformat"] = a.hoverFormat;
    auto ToAxis = [&](double v) { return a.log ? std::log10(v) : v; };
    Span span = DataSpan(chart, which, a.log);
    if (a.fixed && OnAxis(a.min, a.log) && OnAxis(a.max, a.log) && a.max > a.min) {
        axis["range"] = {Number(ToAxis(a.min)), Number(ToAxis(a.max))};
        axis["autorange"] = false;
        span = Span();
        span.Add(a.min);
        span.Add(a.max);
    } else if (!a.include.empty()) {
        for (double v : a.include)
            if (OnAxis(v, a.log)) span.Add(v);
        if (!span.empty) {
            double lo = ToAxis(span.lo), hi = ToAxis(span.hi);
            if (hi <= lo) {
                const double half = lo == 0 ? 0.5 : std::fabs(lo) * 0.1;
                lo -= half;
                hi += half;
            }
            const double pad = which == 0 ? 0 : 0.05 * (hi - lo);
            axis["range"] = {Number(lo - pad), Number(hi + pad)};
            axis["autorange"] = false;
        }
    }
    if (a.integer && !a.log && !span.empty) {
        double step = 1;
        NiceTicks(span.lo, std::max(span.hi, span.lo + 1), 8, true, step);
        axis["tick0"] = 0;
        axis["dtick"] = Number(step);
    }
    return axis;
}

Json Annotation(double x, const char* xref, double y, const char* yref, const std::string& text,
                const std::string& colour) {
    return {{"x", Number(x)}, {"xref", xref}, {"y", Number(y)}, {"yref", yref}, {"text", text},
            {"showarrow", false}, {"font", {{"size", 11}, {"color", colour}}}};
}

// plotly takes a log axis' shape and annotation positions as the logarithm of the value.
double AxisPosition(double value, bool log) { return log ? std::log10(value) : value; }

void AddGuides(const Chart& chart, Json& layout) {
    Json& shapes = layout["shapes"];
    Json& notes = layout["annotations"];
    for (const ChartGuide& g : chart.guides) {
        if (!OnAxis(g.value, g.vertical ? chart.x.log : chart.y.log)) continue;
        const double at = g.value;
        Json shape = {{"type", "line"}, {"line", {{"color", g.colour}, {"width", 1}, {"dash", "dot"}}}};
        if (g.vertical) {
            shape.update({{"xref", "x"}, {"x0", Number(at)}, {"x1", Number(at)}, {"yref", "paper"}, {"y0", 0},
                          {"y1", 1}});
        } else {
            shape.update({{"yref", "y"}, {"y0", Number(at)}, {"y1", Number(at)}, {"xref", "paper"}, {"x0", 0},
                          {"x1", 1}});
        }
        shapes.push_back(shape);
        if (g.label.empty()) continue;
        Json note = g.vertical ? Annotation(AxisPosition(at, chart.x.log), "x", 1, "paper", g.label, g.colour)
                               : Annotation(1, "paper", AxisPosition(at, chart.y.log), "y", g.label, g.colour);
        note.update(g.vertical ? Json{{"xanchor", "left"}, {"yanchor", "top"}, {"xshift", 3}}
                               : Json{{"xanchor", "right"}, {"yanchor", "bottom"}});
        notes.push_back(note);
    }
    for (const ChartSegment& s : chart.segments) {
        const Json line = {{"color", s.colour}, {"width", 2}};
        shapes.push_back({{"type", "line"}, {"xref", "x"}, {"yref", "y"}, {"x0", Number(s.x0)}, {"y0", Number(s.y0)},
                          {"x1", Number(s.x1)}, {"y1", Number(s.y1)}, {"line", line}});
        if (!s.label.empty()) {
            // at the segment's first end, so the labels of segments that cross (an eye's height and width)
            // do not overlap
            Json note = Annotation(AxisPosition(s.x0, chart.x.log), "x", AxisPosition(s.y0, chart.y.log), "y",
                                   s.label, s.colour);
            note.update({{"xanchor", "left"}, {"yanchor", "top"}, {"xshift", 8}, {"yshift", -4},
                         {"bgcolor", chart.darkPlotArea ? "rgba(0,0,0,0.6)" : "rgba(255,255,255,0.8)"}});
            note["font"]["size"] = 12;
            notes.push_back(note);
        }
    }
}

// A row of up to four entries fits above the plot beside the title; more go in a column right of the plot.
Json LegendLayout(const Chart& chart) {
    std::size_t named = 0;
    for (const ChartTrace& t : chart.traces) named += t.name.empty() ? 0 : 1;
    if (named <= 4) {
        return {{"orientation", "h"}, {"x", 1}, {"xanchor", "right"}, {"y", 1.0}, {"yanchor", "bottom"},
                {"bgcolor", "rgba(255,255,255,0)"}};
    }
    return {{"orientation", "v"}, {"x", 1.02}, {"xanchor", "left"}, {"y", 1.0}, {"yanchor", "top"},
            {"bgcolor", "rgba(255,255,255,0)"}, {"font", {{"size", 11}}}};
}

}  // namespace

std::string ChartFigureJson(const Chart& chart) {
    Json data = Json::array();
    bool rightAxis = false;
    for (const ChartTrace& t : chart.traces) {
        const bool grid = t.kind == TraceKind::HeatMap || t.kind == TraceKind::Contour;
        data.push_back(grid ? GridTrace(t) : PointTrace(t, chart));
        rightAxis = rightAxis || (!grid && t.rightAxis);
    }
    Json layout = {
        {"title", {{"text", chart.title}, {"x", 0}, {"xref", "paper"}, {"xanchor", "left"},
                   {"font", {{"size", 14}, {"color", "#111827"}}}}},
        {"height", std::max(120, chart.height)},
        {"margin", {{"l", 72}, {"r", rightAxis ? 72 : 24}, {"t", 48}, {"b", 52}}},
        {"font", {{"family", kFontFamily}, {"size", 12}, {"color", "#374151"}}},
        {"paper_bgcolor", "#ffffff"},
        {"plot_bgcolor", chart.darkPlotArea ? "#000000" : "#ffffff"},
        {"hovermode", chart.unifiedHover ? "x unified" : "closest"},
        {"legend", LegendLayout(chart)},
        {"xaxis", Axis(chart.x, chart, 0)},
        {"yaxis", Axis(chart.y, chart, 1)},
        {"shapes", Json::array()},
        {"annotations", Json::array()}};
    if (rightAxis) {
        Json y2 = Axis(chart.y2, chart, 2);
        y2.update({{"overlaying", "y"}, {"side", "right"}, {"showgrid", false}});
        layout["yaxis2"] = y2;
    }
    AddGuides(chart, layout);
    bool anyPoint = false;
    for (const Json& trace : data) {
        for (const Json& v : trace.contains("z") ? trace["z"] : Json::array({trace["y"]}))
            for (const Json& value : v) anyPoint = anyPoint || !value.is_null();
    }
    if (!anyPoint) {
        Json note = Annotation(0.5, "paper", 0.5, "paper", "no data", chart.darkPlotArea ? "#9ca3af" : "#6b7280");
        note["font"]["size"] = 14;
        layout["annotations"].push_back(note);
    }
    std::string text = Json{{"data", data}, {"layout", layout}}.dump();
    // '<' appears only inside strings, where its escape keeps "</script>" and "<!--" out of the page's markup
    std::string safe;
    safe.reserve(text.size());
    for (char c : text) {
        if (c == '<') {
            safe += "\\u003c";
        } else {
            safe += c;
        }
    }
    return safe;
}

std::string ChartSvg(const Chart& chart) {
    PlotOptions options;
    options.id = chart.id;
    options.title = chart.title;
    auto Title = [](const ChartAxis& a) { return a.log ? "log10 of " + a.title : a.title; };
    options.xLabel = Title(chart.x);
    options.yLabel = Title(chart.y);
    options.width = chart.width;
    options.height = chart.height;
    options.maxPoints = chart.maxPoints;
    auto Position = [](double v, bool log) { return log ? (v > 0 ? std::log10(v) : NAN) : v; };
    options.fixedY = chart.y.fixed;
    options.yMin = Position(chart.y.min, chart.y.log);
    options.yMax = Position(chart.y.max, chart.y.log);
    for (double v : chart.x.include) options.xInclude.push_back(Position(v, chart.x.log));
    for (double v : chart.y.include) options.yInclude.push_back(Position(v, chart.y.log));
    options.integerX = chart.x.integer;
    options.integerY = chart.y.integer;
    for (const ChartGuide& g : chart.guides)
        options.guides.push_back({g.vertical, Position(g.value, g.vertical ? chart.x.log : chart.y.log), g.label,
                                  g.colour});
    std::vector<PlotSeries> series;
    bool gridTraces = false;
    for (const ChartTrace& t : chart.traces) {
        if (t.kind == TraceKind::HeatMap || t.kind == TraceKind::Contour) {
            gridTraces = true;
            continue;
        }
        if (t.rightAxis) continue;  // one axis only: its values would read on the wrong scale
        PlotSeries s;
        s.label = t.name;
        s.colour = t.colour;
        s.lineWidth = t.kind == TraceKind::Markers ? 0 : t.width;
        s.markers = t.markers || t.kind == TraceKind::Markers;
        s.dashed = t.dashed;
        s.steps = t.steps;
        s.breakJump = t.breakJump;
        const bool logY = t.rightAxis ? chart.y2.log : chart.y.log;
        for (double v : t.x) s.x.push_back(Position(v, chart.x.log));
        for (double v : t.y) s.y.push_back(Position(v, logY));
        series.push_back(std::move(s));
    }
    for (const ChartSegment& g : chart.segments) {
        PlotSeries s;
        s.label = g.label;
        s.colour = g.colour;
        s.lineWidth = 2;
        s.x = {Position(g.x0, chart.x.log), Position(g.x1, chart.x.log)};
        s.y = {Position(g.y0, chart.y.log), Position(g.y1, chart.y.log)};
        series.push_back(std::move(s));
    }
    if (gridTraces && series.empty()) {
        return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(chart.width) + " 60\" width=\"" +
               std::to_string(chart.width) + "\" height=\"60\" font-family=\"" + kFontFamily +
               "\" font-size=\"13\"><text x=\"10\" y=\"22\" font-weight=\"600\" fill=\"#111827\">" +
               EscapeMarkup(chart.title) + "</text><text x=\"10\" y=\"44\" fill=\"#6b7280\">this map is drawn "
               "only in the interactive view</text></svg>\n";
    }
    return RenderLinePlot(options, series);
}

}  // namespace ksim
