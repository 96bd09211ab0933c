#include "ami/AmiTiming.h"

#include <cmath>

int SamplesPerBitFor(double sampleInterval, double bitTime) {
    if (!(sampleInterval > 0.0) || !(bitTime > 0.0)) return 0;  // also rejects NaN
    const double rounded = bitTime / sampleInterval + 0.5;
    if (!(rounded < 2147483648.0)) return 0;  // beyond int, or infinite
    return static_cast<int>(rounded);
}

long ClockTimeLimit(long waveSize, int samplesPerBit) {
    if (waveSize <= 0) return 1;
    if (samplesPerBit <= 0) return 1;
    const double bits = std::floor(static_cast<double>(waveSize) / static_cast<double>(samplesPerBit));
    // bits <= waveSize here, so the sum stays far inside long; the wave length caps it anyway.
    const long limit = static_cast<long>(bits) + 3;
    return limit < waveSize ? limit : waveSize;
}
