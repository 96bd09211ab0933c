#pragma once

// Test stimulus for the receiver: a PRBS-7 NRZ wave of ±0.5 V through a simple lossy channel (a first-order
// low pass of time constant tau samples), as a channel simulator would hand it over.

#include <cstddef>
#include <vector>

inline std::vector<double> LossyPrbsWave(std::size_t bits, int samplesPerBit, double tauSamples = 6.0) {
    std::vector<double> wave;
    wave.reserve(bits * static_cast<std::size_t>(samplesPerBit));
    unsigned state = 0x7f;
    const double alpha = 1.0 / (tauSamples + 1.0);
    double y = 0.0;
    for (std::size_t b = 0; b < bits; ++b) {
        const unsigned bit = ((state >> 6) ^ (state >> 5)) & 1u;
        state = ((state << 1) | bit) & 0x7fu;
        const double x = bit ? 0.5 : -0.5;
        for (int k = 0; k < samplesPerBit; ++k) {
            y += alpha * (x - y);
            wave.push_back(y);
        }
    }
    return wave;
}
