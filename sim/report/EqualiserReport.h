#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "sim/SimResults.h"
#include "sim/analysis/EqualiserViews.h"
#include "sim/report/Chart.h"
#include "sim/report/ChartPage.h"

namespace ksim {

// Gain [dB] against frequency [GHz] of the sixteen EQ_TABLE settings, the chosen one drawn bold.
Chart EqualiserTableChart(const RunReport& report, const EqualiserViews& views);
// The channel, the chosen equaliser setting and the two together [dB] against frequency [GHz].
Chart ChannelAndEqualiserChart(const RunReport& report, const EqualiserViews& views);
// The channel's pulse response before and after the chosen equaliser [V] against time from each one's peak
// [UI], the equalised cursors marked, and the DFE's final taps [mV, right axis] at post-cursors 1 to 5.
Chart EqualisedPulseChart(const RunReport& report, const EqualiserViews& views);

// The views' figures for the run's summary: per EQ_TABLE setting its code, selection index, bank column and
// gains [dB]; the chosen index and the gain of channel plus equaliser at Nyquist; "not measured" with the
// reason when the views are missing.
nlohmann::json EqualiserJson(const RunReport& report, const EqualiserViews& views);

// The report's "Equaliser" section: the three charts and a table of the sixteen settings (code, bank
// column, gain at DC and at Nyquist, boost), or the reason the views are missing.
std::string EqualiserReportSection(const RunReport& report, const EqualiserViews& views, ChartPage& page);

}  // namespace ksim
