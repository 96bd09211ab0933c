#pragma once

// The report's sections for the BER over the eye (bathtubs, contour, eye at 1e-6 and 1e-12) and for the
// jitter (TIE histograms with RMS, peak-to-peak and the RJ/DJ split), each saying its method.

#include <string>

#include "sim/SimResults.h"
#include "sim/report/Chart.h"
#include "sim/report/ChartPage.h"

namespace ksim {

// BER [log axis] against sampling phase [UI] at 0 V, and against threshold [mV] at the sampling point:
// counted points and extrapolated ones as two traces, the two target BERs as guides.
Chart HorizontalBathtubChart(const RunReport& report);
Chart VerticalBathtubChart(const RunReport& report);
// Lines of equal BER (1e-3 .. 1e-12) over phase [UI] and threshold [mV].
Chart BerContourChart(const RunReport& report);
// Counts [log axis] of the TIE [UI] of the clock's edges or the data crossings.
Chart TieHistogramChart(const TieAnalysis& tie, const std::string& id, const std::string& title);

std::string BathtubSection(const RunReport& report, ChartPage& page);
std::string JitterSection(const RunReport& report, ChartPage& page);

}  // namespace ksim
