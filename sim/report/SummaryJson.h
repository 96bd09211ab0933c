#pragma once

#include <cstdint>
#include <string>

#include "sim/SimResults.h"
#include "sim/analysis/EqualiserViews.h"

namespace ksim {

// Upper limit of the bit error ratio at 95 % confidence when no error was seen in `bits` bits
// (-ln 0.05 / bits, the "rule of three"); 0 for no bits.
double ZeroErrorBerLimit95(std::uint64_t bits);

// Every figure of the run as indented JSON: tool, verdict, libraries, parameter strings, init messages,
// timing, stimulus, channel (with the pulse cursors), BER, clock (with the period trace decimated to at most
// 500 points), eye, adaptation (every step), performance and warnings. Text that is not valid UTF-8 is
// written with replacement characters.
std::string SummaryJsonText(const RunReport& report);
// The same with the equaliser views already worked out from the report.
std::string SummaryJsonText(const RunReport& report, const EqualiserViews& views);

// SummaryJsonText to a file; throws std::runtime_error naming the path when it cannot be written.
void WriteSummaryJson(const RunReport& report, const std::string& path);

}  // namespace ksim
