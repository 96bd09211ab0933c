#pragma once

#include <string>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

// Writes the run's output files into an existing folder and returns their names, report.html last:
// "summary.json", "eye.png" (when the eye has a density image), "eye.svg", "clock_period.svg",
// "clock_phase.svg", "adaptation_merit.svg", "adaptation_setting.svg", "adaptation_taps.svg",
// "pulse_response.svg" and "report.html", which links the others plus `extraFiles` (for example waveform
// CSV files the caller wrote). Throws std::runtime_error naming the first file that cannot be written.
std::vector<std::string> WriteReportFiles(const RunReport& report, const std::string& folder,
                                          const std::vector<std::string>& extraFiles = {});

}  // namespace ksim
