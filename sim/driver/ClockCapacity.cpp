#include "sim/driver/ClockCapacity.h"

#include <algorithm>
#include <cmath>

#include "ami/AmiTiming.h"

namespace ksim {

long ClockTimesPerCall(std::size_t n, int samplesPerBit) {
    return ClockTimeLimit(static_cast<long>(n), samplesPerBit) - 1;
}

long ClockEdgesPerCall(std::size_t n, int samplesPerBit, double factor, double ppm) {
    const double ticksPerSample = std::max(factor, 1.0) * (1.0 + std::max(ppm, 0.0) * 1e-6) / samplesPerBit;
    return static_cast<long>(std::floor(static_cast<double>(n) * ticksPerSample)) + 1;
}

std::string ClockCapacityProblem(std::size_t n, int samplesPerBit, double factor, double ppm) {
    const long room = ClockTimesPerCall(n, samplesPerBit);
    const long edges = ClockEdgesPerCall(n, samplesPerBit, factor, ppm);
    if (edges <= room) return "";
    return "a block of " + std::to_string(n) + " samples cannot carry the clock: up to " + std::to_string(edges) +
           " clock edges can fall in it (Factor " + std::to_string(static_cast<int>(std::max(factor, 1.0))) +
           "), but the receiver reports at most " + std::to_string(room) +
           " clock times per call of that length (min(n, floor(n / samples per bit) + 3) entries with the "
           "terminator) and drops the rest; choose another --block-size" + (factor > 1 ? " or Factor 1" : "");
}

}  // namespace ksim
