#pragma once

#include <cstddef>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

// The channel's pulse response read at whole unit intervals from its peak (the sample nearest to each).
struct PulseCursors {
    bool valid = false;          // a non-zero peak and a known UI length
    std::size_t peakIndex = 0;   // sample of the largest magnitude
    double samplesPerUi = 0;     // bit time / channel sample interval, else the run's samples per bit
    int firstCursor = 0;         // cursor number of values[0] (negative: precursors)
    std::vector<double> values;  // [V]; cursors that fall outside the response are left out
};

double ChannelSamplesPerUi(const RunReport& report);
PulseCursors MeasurePulseCursors(const RunReport& report, int precursors, int postcursors);
// The same for any pulse sampled samplesPerUi samples per unit interval.
PulseCursors MeasureCursors(const std::vector<double>& pulse, double samplesPerUi, int precursors, int postcursors);

}  // namespace ksim
