#pragma once

#include <cstddef>
#include <string>

#include "sim/SimResults.h"
#include "sim/report/Chart.h"

namespace ksim {

// The report's figures as charts (Chart.h), and the same as standalone SVG documents (ChartSvg) for the run
// folder and for pages without the charting library. Each has its own id, so all of them can sit in one HTML
// page. Missing data give a plot that says "no data".

// Period of every recovered clock edge [UI] against time [µs], min/max-decimated to maxPoints, with the lock
// time and the end of adaptation marked.
Chart ClockPeriodChart(const RunReport& report, std::size_t maxPoints = 3000);
std::string ClockPeriodPlot(const RunReport& report, std::size_t maxPoints = 3000);
// Edge time against the ideal bit grid [UI, wrapped to ±0.5] against time [µs].
Chart ClockPhaseChart(const RunReport& report, std::size_t maxPoints = 3000);
std::string ClockPhasePlot(const RunReport& report, std::size_t maxPoints = 3000);

// Per adaptation step: figure of merit with HEO and VEO; the equaliser table index; the five DFE taps [mV].
Chart AdaptationMeritChart(const RunReport& report);
std::string AdaptationMeritPlot(const RunReport& report);
Chart AdaptationSettingChart(const RunReport& report);
std::string AdaptationSettingPlot(const RunReport& report);
Chart AdaptationTapsChart(const RunReport& report);
std::string AdaptationTapsPlot(const RunReport& report);

// The channel's response to one bit [V] against time from its peak [UI], with a dot at every whole UI
// (the cursors); shows the part above 2 % of the peak plus a few UI either side.
Chart PulseResponseChart(const RunReport& report);
std::string PulseResponsePlot(const RunReport& report);
// The channel's insertion loss up to three times the Nyquist frequency, with the end of measured data.
Chart InsertionLossChart(const RunReport& report);
std::string InsertionLossPlot(const RunReport& report);

// The eye density image (embedded PNG) on phase [UI] and level [mV] axes with its log colour scale, the
// sampling point, and the measured inner height and width drawn as bars centred on the sampling point and
// on 0 V.
std::string EyeDiagramSvg(const RunReport& report);
// The same eye as an interactive heat map: hits per bin on a log colour scale (hover gives the count), with
// the sampling point and the measured height and width.
Chart EyeChart(const RunReport& report);

}  // namespace ksim
