#pragma once

// Whether a block size can carry the receiver's clock. The receiver reports at most
// min(n, floor(n / samples per bit) + 3) entries per AMI_GetWave call of n samples, the -1 terminator
// included (the bound every host's clock-time array allows); a clock time that does not fit is not
// reported at all. The simulator therefore refuses block sizes in which more clock edges can fall.

#include <cstddef>
#include <string>

namespace ksim {

// Clock times one call of n samples can report, without the terminator.
long ClockTimesPerCall(std::size_t n, int samplesPerBit);

// Most clock edges that can fall in n samples: the clock ticks factor times per bit and follows a bit
// clock ppm fast.
long ClockEdgesPerCall(std::size_t n, int samplesPerBit, double factor, double ppm);

// Empty when a call of n samples can carry its clock times; otherwise the reason, naming the block size.
std::string ClockCapacityProblem(std::size_t n, int samplesPerBit, double factor, double ppm);

}  // namespace ksim
