#pragma once

#include <string>

#include "tools/sim/SimResults.h"
#include "tools/sim/driver/LinkSimulation.h"
#include "tools/sim/driver/SimOptions.h"

namespace ksim {

// Creates the run folder (and its parents) and returns its absolute path.
std::string PrepareRunFolder(const std::string& path);

// Writes the summary, images, plots, the HTML report and, when asked, the waveforms as CSV.
void WriteRunFolder(const SimOptions& options, const std::string& folder, const LinkWaves& waves,
                    const RunReport& report);

// A few lines on standard output: the verdict and where the report is.
void PrintSummary(const RunReport& report, const std::string& folder);

}  // namespace ksim
