#pragma once

#include <vector>

namespace ctle_bank {

// Undelayed feed-through path shared by every column: it fixes column 0's first samples, then rings down
// with zero net area (so no column's DC gain moves) and ends before any main peak.
// It ends before sample 37, the earlier neighbour of the first peak (76 ps), so the peaks solved on the model
// alone stay where they are.
constexpr int precursorLength = 32;                // samples; zero from here on
constexpr double precursorRingingPeriod = 9.5;     // [samples]
constexpr double precursorRingingDecay = 10.0;     // e-folding length of the ringing [samples]

// headTargets: the first headLength values column 0 must take [1/s]; modelColumn0: column 0 of the model
// alone. Returns precursorLength values [1/s] to add to the start of every column.
std::vector<double> BuildPrecursor(const double* headTargets, int headLength, const double* modelColumn0);

}  // namespace ctle_bank
