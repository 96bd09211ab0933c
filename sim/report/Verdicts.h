#pragma once

// The run's verdicts, each pass, fail or not measured, with the reason in plain words: the clock, the
// adaptation, the bit errors and the eye. Shared by the report's cards and the summary.

#include <string>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

struct RunVerdict {
    std::string what;      // "Clock recovery", "Adaptation", "Bit errors", "Eye"
    std::string state;     // "pass", "fail" or "not measured"
    std::string headline;  // e.g. "Locked", "Not aligned", "BER 1.2e-3"
    std::string reason;    // plain text, what the state rests on
};

std::vector<RunVerdict> JudgeVerdicts(const RunReport& report);

}  // namespace ksim
