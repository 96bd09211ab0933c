#pragma once

// The summary's lines for the eye at a target BER and the jitter, e.g.
//   "eye at BER   1e-6: 0.612 UI, 231.4 mV; 1e-12: 0.488 UI, 180.2 mV"
// with "not measured (reason)" where a figure has no data.

#include <string>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

std::vector<std::string> StatisticsSummaryLines(const RunReport& report);

// The eye's opening at a target BER as "0.589 UI × 235.5 mV", or "not measured".
std::string EyeAtBerText(const BathtubAnalysis& bathtub, double targetBer);

}  // namespace ksim
