#pragma once

// What went wrong in a run, said in plain words where its figures show it: a DFE oscillating by itself, an
// equaliser sweep that never saw an open eye, a clock drifting off the data, DFE tap 1 at its limit,
// decisions no better than a coin.

#include <string>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

struct DiagnosisSettings {
    bool sweepRan = true;        // the equaliser sweep was part of the adaptation
    std::size_t sweepSteps = 16; // its measurements, the first lines of the trace
    double tap1LimitV = 0.31;    // DFE tap 1's bound [V], > 0
};

// Each finding is one sentence without a final full stop; none when the run shows nothing amiss.
//   oscillation: the counted decisions alternate by 90 % or more (DecisionPattern), with the share and,
//     when it lasted, the decision where it began;
//   shut sweep: every sweep measurement gave HEO = VEO = 0;
//   drifting clock: the clock did not lock and slipped, with its period, offset and slips per bit;
//   tap 1 at its limit: |final tap 1| within 1e-9 V of the bound;
//   BER near one half: a counted BER above 0.25, or unaligned decisions mismatching by more than 0.3;
//   slips in the count: the decisions moved against the sent bits and the count followed.
std::vector<std::string> DiagnoseRun(const RunReport& report, const DiagnosisSettings& settings);

}  // namespace ksim
