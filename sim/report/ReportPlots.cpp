#include "sim/report/ReportPlots.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "rx/KelvaneRx.h"
#include "sim/report/ColourMap.h"
#include "sim/report/EyeImage.h"
#include "sim/report/MarkupEscape.h"
#include "sim/report/NumberFormat.h"
#include "sim/report/PulseCursors.h"
#include "sim/report/SvgPlot.h"

namespace ksim {
namespace {

const char* const kTapColours[] = {"#2563eb", "#dc2626", "#059669", "#d97706", "#7c3aed"};
static_assert(std::size(kTapColours) == kelvane_rx::kDfeTaps, "a colour for every DFE tap");
const char kLockColour[] = "#059669";
const char kAdaptColour[] = "#7c3aed";

void AddTimeGuides(const RunReport& report, Chart& chart) {
    if (report.clock.locked) {
        chart.guides.push_back({true, report.clock.lockTimeS * 1e6,
                                  "locked at " + FormatFixed(report.clock.lockTimeS * 1e6, 2) + " \xC2\xB5s",
                                  kLockColour});
    }
    if (report.adaptation.complete && report.adaptation.completedAtS > 0) {
        chart.guides.push_back({true, report.adaptation.completedAtS * 1e6, "adaptation complete", kAdaptColour});
    }
}

// About n / 256 values, rounded down to 1, 2 or 5 times a power of ten, at least 10.
std::size_t AveragingLength(std::size_t n) {
    const double target = std::max(10.0, static_cast<double>(n) / 256);
    const double decade = std::pow(10.0, std::floor(std::log10(target)));
    const double factor = target >= 5 * decade ? 5 : target >= 2 * decade ? 2 : 1;
    return static_cast<std::size_t>(factor * decade + 0.5);
}

// Centred running mean over `length` values, shorter at both ends.
std::vector<double> MovingAverage(const std::vector<double>& values, std::size_t length) {
    std::vector<double> prefix(values.size() + 1, 0.0);
    for (std::size_t i = 0; i < values.size(); ++i) prefix[i + 1] = prefix[i] + values[i];
    std::vector<double> mean(values.size());
    const std::size_t half = length / 2;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t begin = i >= half ? i - half : 0;
        const std::size_t end = std::min(values.size(), i + half + 1);
        mean[i] = (prefix[end] - prefix[begin]) / static_cast<double>(end - begin);
    }
    return mean;
}

// Circular mean of the phase [UI] over the edges after lock (all edges when the clock never locked).
double PhaseCentre(const ClockAnalysis& clock) {
    const double twoPi = 2 * std::acos(-1.0);
    double sumSin = 0, sumCos = 0;
    const std::size_t n = std::min(clock.phaseUi.size(), clock.timesS.size());
    for (std::size_t k = 0; k < n; ++k) {
        if (clock.locked && clock.timesS[k] < clock.lockTimeS) continue;
        if (!std::isfinite(clock.phaseUi[k])) continue;
        sumSin += std::sin(twoPi * clock.phaseUi[k]);
        sumCos += std::cos(twoPi * clock.phaseUi[k]);
    }
    if (sumSin == 0 && sumCos == 0) return 0;
    return std::atan2(sumSin, sumCos) / twoPi;
}

std::vector<double> StepNumbers(std::size_t count) {
    std::vector<double> steps(count);
    for (std::size_t i = 0; i < count; ++i) steps[i] = static_cast<double>(i + 1);
    return steps;
}

std::string Px(double value) { return SvgCoordinate(value); }

// A chart against the adaptation step, whose hover shows every trace of the step.
Chart StepChart(const char* id, const char* title, const char* yTitle, int height) {
    Chart chart;
    chart.id = id;
    chart.title = title;
    chart.x.title = "adaptation step";
    chart.y.title = yTitle;
    chart.x.integer = true;
    chart.height = height;
    chart.unifiedHover = true;
    return chart;
}

}  // namespace

Chart ClockPeriodChart(const RunReport& report, std::size_t maxPoints) {
    const ClockAnalysis& clock = report.clock;
    ChartTrace period;
    period.name = "each edge";
    period.colour = "#93c5fd";
    period.width = 1;
    const std::size_t n = clock.timesS.empty() ? 0 : std::min(clock.periodsUi.size(), clock.timesS.size() - 1);
    for (std::size_t k = 0; k < n; ++k) {
        if (std::isfinite(clock.timesS[k + 1]) && std::isfinite(clock.periodsUi[k])) {
            period.x.push_back(clock.timesS[k + 1] * 1e6);
            period.y.push_back(clock.periodsUi[k]);
        }
    }
    // edge periods sit on the sample grid, so the band alone hides slow wander; a running mean shows it
    ChartTrace mean;
    const std::size_t length = AveragingLength(period.y.size());
    if (period.y.size() > 4 * length) {
        mean.name = "mean of " + FormatCount(length) + " edges";
        mean.colour = "#1e3a8a";
        mean.width = 2;
        // the running mean is smooth: every (length / 4)th point draws it
        const std::vector<double> smooth = MovingAverage(period.y, length);
        for (std::size_t k = 0; k < smooth.size(); k += std::max<std::size_t>(1, length / 4)) {
            mean.x.push_back(period.x[k]);
            mean.y.push_back(smooth[k]);
        }
    }
    Chart chart;
    chart.id = "clock-period";
    chart.title = "Recovered clock period";
    chart.x.title = "time [\xC2\xB5s]";
    chart.y.title = "period [UI]";
    chart.x.hoverFormat = ".4f";
    chart.y.hoverFormat = ".6f";
    chart.maxPoints = maxPoints;
    chart.guides.push_back({false, 1.0, "1 UI", "#6b7280"});
    chart.x.include = {0};
    AddTimeGuides(report, chart);
    chart.traces = {period, mean};
    return chart;
}

Chart ClockPhaseChart(const RunReport& report, std::size_t maxPoints) {
    const ClockAnalysis& clock = report.clock;
    // the phase is shown within one UI around its mean after lock, so a clock that settles near the
    // wrap point is not torn between the top and the bottom of the plot
    const double centre = PhaseCentre(clock);
    ChartTrace phase;
    phase.colour = "#0891b2";
    phase.width = 1;
    phase.breakJump = 0.5;  // a wrap is no movement of the clock
    const std::size_t n = std::min(clock.phaseUi.size(), clock.timesS.size());
    for (std::size_t k = 0; k < n; ++k) {
        const double offset = clock.phaseUi[k] - centre;
        phase.x.push_back(clock.timesS[k] * 1e6);
        phase.y.push_back(centre + offset - std::round(offset));
    }
    Chart chart;
    chart.id = "clock-phase";
    chart.title = "Clock phase against the ideal bit grid";
    chart.x.title = "time [\xC2\xB5s]";
    chart.y.title = "phase [UI]";
    chart.x.hoverFormat = ".4f";
    chart.y.hoverFormat = ".4f";
    chart.maxPoints = maxPoints;
    chart.y.fixed = true;
    chart.y.min = centre - 0.5;
    chart.y.max = centre + 0.5;
    chart.x.include = {0};
    if (n > 0) chart.guides.push_back({false, centre, "mean " + FormatFixed(centre, 3) + " UI", "#6b7280"});
    AddTimeGuides(report, chart);
    chart.traces = {phase};
    return chart;
}

Chart AdaptationMeritChart(const RunReport& report) {
    const auto& steps = report.adaptation.steps;
    ChartTrace merit, heo, veo;
    merit.name = "merit = 0.25 VEO + HEO";
    merit.colour = "#111827";
    merit.width = 2;
    merit.markers = true;
    heo.name = "HEO [UI]";
    heo.colour = "#2563eb";
    heo.dashed = true;
    veo.name = "VEO [V]";
    veo.colour = "#dc2626";
    veo.dashed = true;
    merit.x = heo.x = veo.x = StepNumbers(steps.size());
    for (const AdaptationStep& s : steps) {
        merit.y.push_back(s.Merit());
        heo.y.push_back(s.heo);
        veo.y.push_back(s.veo);
    }
    Chart chart = StepChart("adapt-merit", "Eye measurements per adaptation step", "merit, HEO [UI], VEO [V]", 280);
    chart.y.include = {0};
    chart.y.hoverFormat = ".4f";
    chart.traces = {heo, veo, merit};
    return chart;
}

Chart AdaptationSettingChart(const RunReport& report) {
    const auto& steps = report.adaptation.steps;
    ChartTrace index;
    index.name = "equaliser table index";
    index.colour = "#7c3aed";
    index.width = 2;
    index.steps = true;
    index.markers = true;
    index.x = StepNumbers(steps.size());
    for (const AdaptationStep& s : steps) index.y.push_back(s.tableIndex);
    Chart chart = StepChart("adapt-setting", "Equaliser setting per adaptation step", "table index", 240);
    chart.y.integer = true;
    if (report.adaptation.chosenTableIndex >= 0) {
        chart.guides.push_back({false, static_cast<double>(report.adaptation.chosenTableIndex),
                                  "chosen " + std::to_string(report.adaptation.chosenTableIndex), "#6b7280"});
    }
    chart.traces = {index};
    return chart;
}

Chart AdaptationTapsChart(const RunReport& report) {
    const auto& steps = report.adaptation.steps;
    std::vector<ChartTrace> taps(kelvane_rx::kDfeTaps);
    const std::vector<double> x = StepNumbers(steps.size());
    for (int t = 0; t < kelvane_rx::kDfeTaps; ++t) {
        taps[t].name = "tap " + std::to_string(t + 1);
        taps[t].colour = kTapColours[t];
        taps[t].steps = true;
        taps[t].width = 1.8;
        taps[t].x = x;
        for (const AdaptationStep& s : steps) taps[t].y.push_back(s.taps[t] * 1e3);
    }
    Chart chart = StepChart("adapt-taps", "DFE taps per adaptation step", "tap weight [mV]", 280);
    chart.y.include = {0};
    chart.y.hoverFormat = ".1f";
    chart.traces = taps;
    return chart;
}

Chart PulseResponseChart(const RunReport& report) {
    const std::vector<double>& p = report.channel.pulseResponse;
    ChartTrace response, cursors;
    response.name = "pulse response";
    response.colour = "#2563eb";
    response.width = 2;
    cursors.name = "cursors";
    cursors.colour = "#dc2626";
    cursors.kind = TraceKind::Markers;
    cursors.markers = true;
    const PulseCursors measured = MeasurePulseCursors(report, 0, 0);
    if (measured.valid) {
        const std::size_t peak = measured.peakIndex;
        const double samplesPerUi = measured.samplesPerUi;
        const double level = 0.02 * std::fabs(p[peak]);
        std::size_t first = peak, last = peak;
        for (std::size_t i = 0; i < p.size(); ++i) {
            if (std::fabs(p[i]) >= level) {
                first = std::min(first, i);
                last = std::max(last, i);
            }
        }
        const double before = 4 * samplesPerUi, after = 6 * samplesPerUi, longest = 200 * samplesPerUi;
        const auto from = static_cast<std::size_t>(std::max(0.0, static_cast<double>(first) - before));
        const auto to = static_cast<std::size_t>(std::min({static_cast<double>(p.size() - 1),
                                                           static_cast<double>(last) + after,
                                                           static_cast<double>(peak) + longest}));
        for (std::size_t i = from; i <= to; ++i) {
            response.x.push_back((static_cast<double>(i) - static_cast<double>(peak)) / samplesPerUi);
            response.y.push_back(p[i]);
        }
        const int precursors = static_cast<int>(static_cast<double>(peak - from) / samplesPerUi);
        const int postcursors = static_cast<int>(static_cast<double>(to - peak) / samplesPerUi);
        const PulseCursors shown = MeasurePulseCursors(report, precursors, postcursors);
        for (std::size_t k = 0; k < shown.values.size(); ++k) {
            cursors.x.push_back(shown.firstCursor + static_cast<int>(k));
            cursors.y.push_back(shown.values[k]);
        }
    }
    Chart chart;
    chart.id = "pulse";
    chart.title = "Channel pulse response (one bit of +1 V)";
    chart.x.title = "time from the peak [UI]";
    chart.y.title = "response [V]";
    chart.x.hoverFormat = ".2f";
    chart.y.hoverFormat = ".4f";
    chart.y.include = {0};
    chart.guides.push_back({false, 0.0, "", "#9ca3af"});
    chart.traces = {response, cursors};
    return chart;
}

Chart InsertionLossChart(const RunReport& report) {
    const ChannelInfo& c = report.channel;
    ChartTrace loss;
    loss.name = "insertion loss";
    loss.colour = "#2563eb";
    loss.width = 2;
    for (std::size_t k = 0; k < std::min(c.lossFrequencyHz.size(), c.lossDb.size()); ++k) {
        if (!std::isfinite(c.lossDb[k])) continue;
        loss.x.push_back(c.lossFrequencyHz[k] * 1e-9);
        loss.y.push_back(c.lossDb[k]);
    }
    Chart chart;
    chart.id = "insertion-loss";
    chart.title = "Channel insertion loss";
    chart.x.title = "frequency [GHz]";
    chart.y.title = "loss [dB]";
    chart.x.hoverFormat = ".2f";
    chart.y.hoverFormat = ".2f";
    chart.x.include = {0};
    chart.y.include = {0};
    if (report.bitTime > 0) chart.guides.push_back({true, 0.5e-9 / report.bitTime, "Nyquist", "#6b7280"});
    if (c.dataEndHz > 0) chart.guides.push_back({true, c.dataEndHz * 1e-9, "end of data", "#dc2626"});
    chart.traces = {loss};
    return chart;
}

Chart EyeChart(const RunReport& report) {
    const EyeAnalysis& eye = report.eye;
    Chart chart;
    chart.id = "eye";
    chart.title = "Eye of the equalised signal (" + FormatCount(eye.traces) + " UI folded)";
    chart.x.title = "phase from the sampling point [UI]";
    chart.y.title = "level [mV]";
    chart.x.hoverFormat = ".3f";
    chart.y.hoverFormat = ".1f";
    chart.height = 520;
    chart.darkPlotArea = true;
    if (!EyeHasImage(eye) || !(eye.levelMaxV > eye.levelMinV)) {
        chart.title += ": no eye data";
        return chart;
    }
    ChartTrace map;
    map.kind = TraceKind::HeatMap;
    map.name = "hits per bin";
    const double mvLo = eye.levelMinV * 1e3, mvHi = eye.levelMaxV * 1e3;
    for (int c = 0; c < eye.phaseBins; ++c) map.x.push_back(-1 + (c + 0.5) * 2 / eye.phaseBins);
    for (int r = 0; r < eye.levelBins; ++r) map.y.push_back(mvLo + (r + 0.5) * (mvHi - mvLo) / eye.levelBins);
    // rows from the lowest level up; the density keeps its highest level in row 0. Empty bins stay black.
    const std::uint32_t most = *std::max_element(eye.density.begin(), eye.density.end());
    for (int r = eye.levelBins - 1; r >= 0; --r) {
        for (int c = 0; c < eye.phaseBins; ++c) {
            const std::uint32_t count = eye.density[static_cast<std::size_t>(r) * eye.phaseBins + c];
            map.z.push_back(count > 0 ? std::log10(static_cast<double>(count)) : NAN);
            map.zHover.push_back(count);
        }
    }
    // the same log scale and colours as the eye image (EyeShade)
    for (int i = 0; i <= 10; ++i) {
        char hex[8];
        map.colourScale.push_back({i / 10.0, HexColour(Inferno(kEyeFirstShade + (1 - kEyeFirstShade) * i / 10.0), hex)});
    }
    map.zMin = 0;
    map.zMax = std::max(std::log10(static_cast<double>(most)), 1e-9);
    for (double decade = 1; decade <= most; decade *= 10) {
        map.zTickValues.push_back(std::log10(decade));
        map.zTickTexts.push_back(FormatCount(static_cast<std::uint64_t>(decade)));
    }
    map.zTitle = "hits per bin (log scale)";
    map.hoverTemplate = "%{x:.3f} UI, %{y:.1f} mV<br>%{text} hits<extra></extra>";
    chart.traces.push_back(std::move(map));
    chart.x.fixed = true;
    chart.x.min = -1;
    chart.x.max = 1;
    chart.y.fixed = true;
    chart.y.min = mvLo;
    chart.y.max = mvHi;
    const char mark[] = "#67e8f9", grid[] = "rgba(255,255,255,0.45)";
    chart.guides.push_back({true, 0, "", grid});
    if (mvLo < 0 && mvHi > 0) chart.guides.push_back({false, 0, "", grid});
    if (eye.heightV > 0 && std::isfinite(eye.heightV)) {
        const double half = std::min(eye.heightV * 1e3 / 2, std::min(mvHi, -mvLo));
        chart.segments.push_back({0, half, 0, -half, "height " + FormatFixed(eye.heightV * 1e3, 1) + " mV", mark});
    }
    if (eye.widthUi > 0 && std::isfinite(eye.widthUi) && mvLo < 0 && mvHi > 0) {
        // the bar spans the crossing-free span where it lies, which need not be centred on the sampling point
        chart.segments.push_back({std::max(eye.widthLeftUi, -1.0), 0, std::min(eye.widthRightUi, 1.0), 0,
                                  "width " + FormatFixed(eye.widthUi, 3) + " UI", mark});
    }
    return chart;
}

std::string ClockPeriodPlot(const RunReport& report, std::size_t maxPoints) {
    return ChartSvg(ClockPeriodChart(report, maxPoints));
}
std::string ClockPhasePlot(const RunReport& report, std::size_t maxPoints) {
    return ChartSvg(ClockPhaseChart(report, maxPoints));
}
std::string AdaptationMeritPlot(const RunReport& report) { return ChartSvg(AdaptationMeritChart(report)); }
std::string AdaptationSettingPlot(const RunReport& report) { return ChartSvg(AdaptationSettingChart(report)); }
std::string AdaptationTapsPlot(const RunReport& report) { return ChartSvg(AdaptationTapsChart(report)); }
std::string PulseResponsePlot(const RunReport& report) { return ChartSvg(PulseResponseChart(report)); }
std::string InsertionLossPlot(const RunReport& report) { return ChartSvg(InsertionLossChart(report)); }

std::string EyeDiagramSvg(const RunReport& report) {
    const EyeAnalysis& eye = report.eye;
    const double width = 820, height = 515;
    const double left = 78, top = 40, plotW = 600, plotH = 420;
    const double barX = left + plotW + 30, barW = 14, zeroBox = 14, barH = plotH - zeroBox - 10;
    const bool hasImage = EyeHasImage(eye) && eye.levelMaxV > eye.levelMinV;

    std::string svg;
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Px(width) + " " + Px(height) +
           "\" width=\"" + Px(width) + "\" height=\"" + Px(height) +
           "\" font-family=\"'Helvetica Neue', Helvetica, Arial, 'Liberation Sans', 'DejaVu Sans', sans-serif\" "
           "font-size=\"12\" role=\"img\" aria-label=\"Eye diagram\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += "<text x=\"" + Px(left) + "\" y=\"24\" font-size=\"14\" font-weight=\"600\" fill=\"#111827\">"
           "Eye of the equalised signal (" + FormatCount(eye.traces) + " UI folded)</text>\n";
    svg += "<rect x=\"" + Px(left) + "\" y=\"" + Px(top) + "\" width=\"" + Px(plotW) + "\" height=\"" + Px(plotH) +
           "\" fill=\"#000000\"/>\n";
    if (!hasImage) {
        svg += "<text x=\"" + Px(left + plotW / 2) + "\" y=\"" + Px(top + plotH / 2) +
               "\" text-anchor=\"middle\" font-size=\"14\" fill=\"#9ca3af\">no eye data</text>\n</svg>\n";
        return svg;
    }
    svg += "<image x=\"" + Px(left) + "\" y=\"" + Px(top) + "\" width=\"" + Px(plotW) + "\" height=\"" + Px(plotH) +
           "\" preserveAspectRatio=\"none\" href=\"" + EyePngDataUri(eye) + "\"/>\n";

    const double mvLo = eye.levelMinV * 1e3, mvHi = eye.levelMaxV * 1e3;
    auto X = [&](double ui) { return left + (ui + 1) / 2 * plotW; };
    auto Y = [&](double mv) { return top + (mvHi - mv) / (mvHi - mvLo) * plotH; };

    // axes
    std::string ticks, labels;
    double step = 0.25;
    for (double ui : NiceTicks(-1, 1, 8, false, step)) {
        ticks += "M" + Px(X(ui)) + " " + Px(top + plotH) + "v5";
        labels += "<text x=\"" + Px(X(ui)) + "\" y=\"" + Px(top + plotH + 18) + "\" text-anchor=\"middle\">" +
                  TickLabel(ui, step) + "</text>";
    }
    for (double mv : NiceTicks(mvLo, mvHi, 8, false, step)) {
        ticks += "M" + Px(left) + " " + Px(Y(mv)) + "h-5";
        labels += "<text x=\"" + Px(left - 8) + "\" y=\"" + Px(Y(mv) + 4) + "\" text-anchor=\"end\">" +
                  TickLabel(mv, step) + "</text>";
    }
    svg += "<path d=\"" + ticks + "\" stroke=\"#6b7280\" fill=\"none\"/>\n<g fill=\"#4b5563\">" + labels + "</g>\n";
    svg += "<rect x=\"" + Px(left) + "\" y=\"" + Px(top) + "\" width=\"" + Px(plotW) + "\" height=\"" + Px(plotH) +
           "\" fill=\"none\" stroke=\"#6b7280\"/>\n";
    svg += "<text x=\"" + Px(left + plotW / 2) + "\" y=\"" + Px(top + plotH + 42) +
           "\" text-anchor=\"middle\" fill=\"#374151\">phase from the sampling point [UI]</text>\n";
    svg += "<text transform=\"translate(20 " + Px(top + plotH / 2) +
           ") rotate(-90)\" text-anchor=\"middle\" fill=\"#374151\">level [mV]</text>\n";

    // sampling point and the measured opening
    const char mark[] = "#67e8f9";
    svg += "<g stroke=\"#ffffff\" stroke-opacity=\"0.45\" stroke-dasharray=\"4 4\" fill=\"none\"><path d=\"M" +
           Px(X(0)) + " " + Px(top) + "V" + Px(top + plotH) + "\"/>";
    if (mvLo < 0 && mvHi > 0) svg += "<path d=\"M" + Px(left) + " " + Px(Y(0)) + "H" + Px(left + plotW) + "\"/>";
    svg += "</g>\n";
    const std::string halo = "\" stroke=\"#000000\" stroke-width=\"3\" paint-order=\"stroke\" font-size=\"12\" "
                             "font-weight=\"600\" fill=\"";
    if (eye.heightV > 0 && std::isfinite(eye.heightV)) {
        const double half = std::min(eye.heightV * 1e3 / 2, std::min(mvHi, -mvLo));
        const double y0 = Y(half), y1 = Y(-half), x0 = X(0);
        svg += "<path d=\"M" + Px(x0) + " " + Px(y0) + "V" + Px(y1) + "M" + Px(x0 - 6) + " " + Px(y0) + "h12M" +
               Px(x0 - 6) + " " + Px(y1) + "h12\" stroke=\"" + mark + "\" stroke-width=\"2\" fill=\"none\"/>\n";
        svg += "<text x=\"" + Px(x0 + 10) + "\" y=\"" + Px(y0 + 14) + halo + mark + "\">height " +
               FormatFixed(eye.heightV * 1e3, 1) + " mV</text>\n";
    }
    if (eye.widthUi > 0 && std::isfinite(eye.widthUi) && mvLo < 0 && mvHi > 0) {
        // the bar spans the crossing-free span where it lies, which need not be centred on the sampling point
        const double x0 = X(std::max(eye.widthLeftUi, -1.0)), x1 = X(std::min(eye.widthRightUi, 1.0)), y = Y(0);
        svg += "<path d=\"M" + Px(x0) + " " + Px(y) + "H" + Px(x1) + "M" + Px(x0) + " " + Px(y - 6) + "v12M" + Px(x1) +
               " " + Px(y - 6) + "v12\" stroke=\"" + mark + "\" stroke-width=\"2\" fill=\"none\"/>\n";
        svg += "<text x=\"" + Px(x0 + 6) + "\" y=\"" + Px(y + 20) + halo + mark + "\">width " +
               FormatFixed(eye.widthUi, 3) + " UI</text>\n";
    }

    // colour scale: black box for empty bins below a log-scaled gradient of hit counts
    const std::uint32_t maxCount = *std::max_element(eye.density.begin(), eye.density.end());
    svg += "<defs><linearGradient id=\"eye-scale\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">";
    for (int i = 0; i <= 10; ++i) {
        char hex[8];
        const double at = i / 10.0;
        svg += "<stop offset=\"" + FormatGeneral(at, 3) + "\" stop-color=\"" +
               HexColour(Inferno(kEyeFirstShade + (1 - kEyeFirstShade) * at), hex) + "\"/>";
    }
    svg += "</linearGradient></defs>\n";
    svg += "<rect x=\"" + Px(barX) + "\" y=\"" + Px(top) + "\" width=\"" + Px(barW) + "\" height=\"" + Px(barH) +
           "\" fill=\"url(#eye-scale)\" stroke=\"#6b7280\"/>\n";
    svg += "<rect x=\"" + Px(barX) + "\" y=\"" + Px(top + plotH - zeroBox) + "\" width=\"" + Px(barW) +
           "\" height=\"" + Px(zeroBox) + "\" fill=\"#000000\" stroke=\"#6b7280\"/>\n";
    std::string scale = "<text x=\"" + Px(barX + barW + 6) + "\" y=\"" + Px(top + plotH - 3) + "\">0</text>";
    auto BarY = [&](std::uint32_t count) {
        const double at = maxCount > 1 ? (EyeShade(count, maxCount) - kEyeFirstShade) / (1 - kEyeFirstShade) : 1;
        return top + barH - at * barH;
    };
    double lastLabelY = 1e9;
    for (double decade = 1; decade <= maxCount; decade *= 10) {
        const double y = BarY(static_cast<std::uint32_t>(decade));
        scale += "<path d=\"M" + Px(barX + barW) + " " + Px(y) + "h4\" stroke=\"#6b7280\"/><text x=\"" +
                 Px(barX + barW + 6) + "\" y=\"" + Px(y + 4) + "\">" + FormatCount(static_cast<std::uint64_t>(decade)) +
                 "</text>";
        lastLabelY = y;
    }
    if (maxCount > 1 && lastLabelY - top > 16) {
        scale += "<text x=\"" + Px(barX + barW + 6) + "\" y=\"" + Px(top + 4) + "\">" + FormatCount(maxCount) +
                 "</text>";
    }
    svg += "<g fill=\"#4b5563\" font-size=\"11\">" + scale + "</g>\n";
    const double labelX = barX + barW + 20 + 6.2 * static_cast<double>(FormatCount(maxCount).size());
    svg += "<text transform=\"translate(" + Px(labelX) + " " + Px(top + plotH / 2) +
           ") rotate(-90)\" text-anchor=\"middle\" fill=\"#374151\">hits per bin (log scale)</text>\n";
    svg += "</svg>\n";
    return svg;
}

}  // namespace ksim
