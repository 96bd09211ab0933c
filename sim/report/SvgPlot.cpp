#include "sim/report/SvgPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sim/report/MarkupEscape.h"
#include "sim/report/NumberFormat.h"

namespace ksim {
namespace {

const char kSvgNamespace[] = " xmlns=\"http://www.w3.org/2000/svg\"";
const char kFontFamily[] = "'Helvetica Neue', Helvetica, Arial, 'Liberation Sans', 'DejaVu Sans', sans-serif";
constexpr double kCharWidth = 6.6;         // average glyph advance at the 12 px tick font [px]
constexpr std::size_t kMaxMarkers = 400;
constexpr double kMinLeftMargin = 76;      // [px]   // beyond this the dots merge into a line anyway

std::string Px(double value) { return SvgCoordinate(value); }

std::string SafeId(const std::string& id) {
    std::string out;
    for (char c : id) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '_';
        if (ok) out += c;
    }
    return out.empty() ? "plot" : out;
}

struct Range {
    double lo = 0, hi = 0;
    bool empty = true;
    void Add(double v) {
        if (!std::isfinite(v)) return;
        if (empty) {
            lo = hi = v;
            empty = false;
        } else {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
};

// A flat or single-valued range still needs some height for the axis.
void Widen(Range& r) {
    if (r.hi > r.lo) return;
    const double half = r.lo == 0 ? 0.5 : std::fabs(r.lo) * 0.1;
    r.lo -= half;
    r.hi += half;
}

// Series points ready to draw: finite, decimated, split where the series breaks.
std::vector<std::vector<std::pair<double, double>>> Segments(const PlotSeries& s, std::size_t maxPoints) {
    std::vector<double> fx, fy;
    const std::size_t n = std::min(s.x.size(), s.y.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isfinite(s.x[i]) && std::isfinite(s.y[i])) {
            fx.push_back(s.x[i]);
            fy.push_back(s.y[i]);
        }
    }
    std::vector<double> kx, ky;
    DecimateMinMax(fx, fy, maxPoints, kx, ky);
    std::vector<std::vector<std::pair<double, double>>> segments(1);
    for (std::size_t i = 0; i < kx.size(); ++i) {
        if (i > 0 && s.breakJump > 0 && std::fabs(ky[i] - ky[i - 1]) > s.breakJump && !segments.back().empty()) {
            segments.emplace_back();
        }
        if (s.steps && i > 0 && !segments.back().empty()) segments.back().emplace_back(kx[i], ky[i - 1]);
        segments.back().emplace_back(kx[i], ky[i]);
    }
    return segments;
}

}  // namespace

std::string SvgCoordinate(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string TickLabel(double value, double step) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    if (decimals > 6 || std::fabs(value) >= 1e7) return FormatGeneral(value, 4);
    return FormatFixed(value, decimals);
}

void DecimateMinMax(const std::vector<double>& x, const std::vector<double>& y, std::size_t maxPoints,
                    std::vector<double>& keptX, std::vector<double>& keptY) {
    const std::size_t n = std::min(x.size(), y.size());
    if (maxPoints < 2) maxPoints = 2;
    keptX.clear();
    keptY.clear();
    if (n <= maxPoints) {
        keptX.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
        keptY.assign(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n));
        return;
    }
    const unsigned long long runs = maxPoints / 2;
    keptX.reserve(2 * runs);
    keptY.reserve(2 * runs);
    for (unsigned long long r = 0; r < runs; ++r) {
        // n > 2 * runs, so every run holds at least two points
        const std::size_t begin = static_cast<std::size_t>(r * n / runs);
        const std::size_t end = static_cast<std::size_t>((r + 1) * n / runs);
        std::size_t low = begin, high = begin;
        for (std::size_t i = begin + 1; i < end; ++i) {
            if (y[i] < y[low]) low = i;
            if (y[i] > y[high]) high = i;
        }
        if (low == high) high = end - 1;
        const std::size_t first = std::min(low, high), second = std::max(low, high);
        keptX.push_back(x[first]);
        keptY.push_back(y[first]);
        keptX.push_back(x[second]);
        keptY.push_back(y[second]);
    }
}

std::vector<double> NiceTicks(double lo, double hi, int target, bool integerOnly, double& step) {
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi)) {
        step = 1;
        return {std::isfinite(lo) ? lo : 0.0};
    }
    if (target < 2) target = 2;
    const double raw = (hi - lo) / target;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double normalised = raw / magnitude;
    const double factor = normalised < 1.5 ? 1 : normalised < 3 ? 2 : normalised < 7 ? 5 : 10;
    step = factor * magnitude;
    if (integerOnly && step < 1) step = 1;
    std::vector<double> ticks;
    const double first = std::ceil(lo / step - 1e-9);
    const double last = std::floor(hi / step + 1e-9);
    for (double k = first; k <= last && ticks.size() < 100; k += 1) ticks.push_back(k * step);
    return ticks;
}

std::string RenderLinePlot(const PlotOptions& options, const std::vector<PlotSeries>& series) {
    const double width = std::max(options.width, 200), height = std::max(options.height, 120);
    const std::string id = SafeId(options.id);

    std::vector<std::vector<std::vector<std::pair<double, double>>>> drawn;
    Range xr, yr;
    for (const PlotSeries& s : series) {
        drawn.push_back(Segments(s, options.maxPoints));
        for (const auto& segment : drawn.back()) {
            for (const auto& p : segment) {
                xr.Add(p.first);
                yr.Add(p.second);
            }
        }
    }
    const bool hasData = !xr.empty;
    if (xr.empty) xr.Add(0), xr.Add(1);
    if (yr.empty) yr.Add(0), yr.Add(1);
    Widen(yr);
    // air above and below the data only; included values and guides then extend the range exactly
    if (!options.fixedY) {
        // the air never crosses zero: data that stay on one side of it keep their axis there
        const double pad = 0.06 * (yr.hi - yr.lo);
        yr.lo = yr.lo >= 0 ? std::max(0.0, yr.lo - pad) : yr.lo - pad;
        yr.hi = yr.hi <= 0 ? std::min(0.0, yr.hi + pad) : yr.hi + pad;
    }
    if (hasData) {
        for (double v : options.xInclude) xr.Add(v);
        for (double v : options.yInclude) yr.Add(v);
        for (const PlotGuide& g : options.guides) {
            if (!g.vertical) yr.Add(g.value);
        }
    }
    if (options.fixedY && options.yMax > options.yMin) {
        yr.lo = options.yMin;
        yr.hi = options.yMax;
    }
    Widen(xr);
    if (options.integerX) {
        // half a step of room so the first and last markers are not cut by the frame
        xr.lo -= 0.5;
        xr.hi += 0.5;
    }
    double xStep = 1, yStep = 1;
    std::vector<double> xTicks = NiceTicks(xr.lo, xr.hi, static_cast<int>(width / 110), options.integerX, xStep);
    std::vector<double> yTicks = NiceTicks(yr.lo, yr.hi, static_cast<int>(height / 55), options.integerY, yStep);
    if (!options.fixedY) {
        // round the automatic range out to whole ticks so the frame starts and ends on a labelled line
        yr.lo = std::floor(yr.lo / yStep + 1e-9) * yStep;
        yr.hi = std::ceil(yr.hi / yStep - 1e-9) * yStep;
        yTicks = NiceTicks(yr.lo, yr.hi, static_cast<int>(height / 55), options.integerY, yStep);
    }

    std::size_t longestLabel = 1;
    for (double t : yTicks) longestLabel = std::max(longestLabel, TickLabel(t, yStep).size());
    // a common minimum keeps the plot areas of stacked plots aligned
    const double left = std::max(kMinLeftMargin, 30 + kCharWidth * static_cast<double>(longestLabel));
    const double right = 18, top = 38, bottom = 46;
    const double plotW = width - left - right, plotH = height - top - bottom;
    auto X = [&](double v) { return left + (v - xr.lo) / (xr.hi - xr.lo) * plotW; };
    auto Y = [&](double v) { return top + (yr.hi - v) / (yr.hi - yr.lo) * plotH; };

    std::string svg;
    svg.reserve(4096);
    svg += "<svg" + std::string(kSvgNamespace) + " viewBox=\"0 0 " + Px(width) + " " + Px(height) + "\" width=\"" +
           Px(width) + "\" height=\"" + Px(height) + "\" font-family=\"" + kFontFamily +
           "\" font-size=\"12\" role=\"img\" aria-label=\"" + EscapeMarkup(options.title) + "\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += "<text x=\"" + Px(left) + "\" y=\"22\" font-size=\"14\" font-weight=\"600\" fill=\"#111827\">" +
           EscapeMarkup(options.title) + "</text>\n";
    svg += "<defs><clipPath id=\"" + id + "-area\"><rect x=\"" + Px(left) + "\" y=\"" + Px(top) + "\" width=\"" +
           Px(plotW) + "\" height=\"" + Px(plotH) + "\"/></clipPath></defs>\n";

    // grid and ticks
    std::string grid, labels;
    for (double t : xTicks) {
        const double px = X(t);
        grid += "M" + Px(px) + " " + Px(top) + "V" + Px(top + plotH);
        labels += "<text x=\"" + Px(px) + "\" y=\"" + Px(top + plotH + 16) + "\" text-anchor=\"middle\">" +
                  TickLabel(t, xStep) + "</text>";
    }
    for (double t : yTicks) {
        const double py = Y(t);
        grid += "M" + Px(left) + " " + Px(py) + "H" + Px(left + plotW);
        labels += "<text x=\"" + Px(left - 6) + "\" y=\"" + Px(py + 4) + "\" text-anchor=\"end\">" +
                  TickLabel(t, yStep) + "</text>";
    }
    svg += "<path d=\"" + grid + "\" stroke=\"#e5e7eb\" stroke-width=\"1\" fill=\"none\"/>\n";
    svg += "<g fill=\"#4b5563\">" + labels + "</g>\n";
    svg += "<rect x=\"" + Px(left) + "\" y=\"" + Px(top) + "\" width=\"" + Px(plotW) + "\" height=\"" + Px(plotH) +
           "\" fill=\"none\" stroke=\"#9ca3af\"/>\n";
    svg += "<text x=\"" + Px(left + plotW / 2) + "\" y=\"" + Px(height - 8) +
           "\" text-anchor=\"middle\" fill=\"#374151\">" + EscapeMarkup(options.xLabel) + "</text>\n";
    svg += "<text transform=\"translate(14 " + Px(top + plotH / 2) +
           ") rotate(-90)\" text-anchor=\"middle\" fill=\"#374151\">" + EscapeMarkup(options.yLabel) + "</text>\n";

    // guides
    for (const PlotGuide& g : options.guides) {
        if (!std::isfinite(g.value)) continue;
        const std::string colour = EscapeMarkup(g.colour);
        if (g.vertical) {
            if (g.value < xr.lo || g.value > xr.hi) continue;
            const double px = X(g.value);
            const bool nearRight = px > left + plotW - 160;
            svg += "<path d=\"M" + Px(px) + " " + Px(top) + "V" + Px(top + plotH) + "\" stroke=\"" + colour +
                   "\" stroke-dasharray=\"4 3\" fill=\"none\"/>";
            svg += "<text x=\"" + Px(nearRight ? px - 4 : px + 4) + "\" y=\"" + Px(top + 13) + "\" text-anchor=\"" +
                   (nearRight ? "end" : "start") + "\" font-size=\"11\" fill=\"" + colour + "\">" +
                   EscapeMarkup(g.label) + "</text>\n";
        } else {
            if (g.value < yr.lo || g.value > yr.hi) continue;
            const double py = Y(g.value);
            svg += "<path d=\"M" + Px(left) + " " + Px(py) + "H" + Px(left + plotW) + "\" stroke=\"" + colour +
                   "\" stroke-dasharray=\"4 3\" fill=\"none\"/>";
            svg += "<text x=\"" + Px(left + plotW - 4) + "\" y=\"" + Px(py - 4) +
                   "\" text-anchor=\"end\" font-size=\"11\" fill=\"" + colour + "\">" + EscapeMarkup(g.label) +
                   "</text>\n";
        }
    }

    // series
    svg += "<g clip-path=\"url(#" + id + "-area)\" fill=\"none\" stroke-linejoin=\"round\">\n";
    for (std::size_t s = 0; s < series.size(); ++s) {
        const PlotSeries& ps = series[s];
        const std::string colour = EscapeMarkup(ps.colour);
        std::size_t points = 0;
        for (const auto& segment : drawn[s]) {
            points += segment.size();
            if (segment.empty() || !(ps.lineWidth > 0)) continue;
            svg += "<polyline stroke=\"" + colour + "\" stroke-width=\"" + FormatGeneral(ps.lineWidth, 3) + "\"";
            if (ps.dashed) svg += " stroke-dasharray=\"6 4\"";
            svg += " points=\"";
            for (std::size_t i = 0; i < segment.size(); ++i) {
                if (i > 0) svg += ' ';
                svg += Px(X(segment[i].first)) + "," + Px(Y(segment[i].second));
            }
            svg += "\"/>\n";
        }
        if (ps.markers && points <= kMaxMarkers) {
            svg += "<g fill=\"" + colour + "\" stroke=\"none\">";
            for (const auto& segment : drawn[s]) {
                for (std::size_t i = 0; i < segment.size(); ++i) {
                    // a step line's corner points are not data points
                    if (ps.steps && i + 1 < segment.size() && segment[i].first == segment[i + 1].first) continue;
                    svg += "<circle cx=\"" + Px(X(segment[i].first)) + "\" cy=\"" + Px(Y(segment[i].second)) +
                           "\" r=\"2.6\"/>";
                }
            }
            svg += "</g>\n";
        }
    }
    svg += "</g>\n";

    if (!hasData) {
        svg += "<text x=\"" + Px(left + plotW / 2) + "\" y=\"" + Px(top + plotH / 2) +
               "\" text-anchor=\"middle\" font-size=\"14\" fill=\"#9ca3af\">no data</text>\n";
    }

    // legend, right-aligned on the title line
    double legendX = left + plotW;
    std::string legend;
    for (std::size_t s = series.size(); s-- > 0;) {
        const PlotSeries& ps = series[s];
        if (ps.label.empty()) continue;
        const double textWidth = kCharWidth * static_cast<double>(ps.label.size());
        const double itemStart = legendX - textWidth - 24;
        if (ps.lineWidth > 0) {
            legend += "<path d=\"M" + Px(itemStart) + " 18H" + Px(itemStart + 16) + "\" stroke=\"" +
                      EscapeMarkup(ps.colour) + "\" stroke-width=\"2.5\"" +
                      (ps.dashed ? " stroke-dasharray=\"5 3\"" : "") + "/>";
        } else {
            legend += "<circle cx=\"" + Px(itemStart + 8) + "\" cy=\"18\" r=\"3\" fill=\"" + EscapeMarkup(ps.colour) +
                      "\"/>";
        }
        legend += "<text x=\"" + Px(itemStart + 20) + "\" y=\"22\" fill=\"#374151\">" + EscapeMarkup(ps.label) +
                  "</text>";
        legendX = itemStart - 14;
    }
    svg += legend + "\n</svg>\n";
    return svg;
}

std::string InlineSvg(const std::string& svg) {
    std::string out = svg;
    const std::size_t at = out.find(kSvgNamespace);
    if (at != std::string::npos) out.erase(at, sizeof kSvgNamespace - 1);
    return out;
}

}  // namespace ksim
