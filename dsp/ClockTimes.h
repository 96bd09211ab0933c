#pragma once

#include <cstdint>

#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"

namespace Velmora {

// Watches a waveform for zero crossings in one direction and emits, per sample, the time of a crossing
// since the previous sample or -1. Without interpolation the time is that of the first sample at or past
// the crossing, the first sample after Initialize being time 0; that first sample never reports.
class ClockTimes : public DFModel {
public:
    CircularBuffer<double> input;   // waveform sample
    CircularBuffer<double> output;  // crossing time [s], or -1 for none

    double SampleInterval = 1e-10;  // sample interval [s], > 0 (checked by Initialize)
    double TimeOffset = 0.0;        // added to every reported time [s]
    std::int32_t EdgeType = 0;      // 1 rising crossings, 0 falling crossings, any other value none
    std::int32_t Interpolate = 0;   // 1 places the crossing inside the sample interval
    double previousInput = -1.0;    // input of the previous firing
    std::uint64_t sampleCounter = 0;  // firings since Initialize
    double Amplitude = 1.0;         // amplitude of the assumed sinusoid when interpolating [V], != 0

    bool Initialize() override;
    bool Run() override;
    bool Finalize() override { return true; }

    // Fraction of the sample interval at which a sinusoid of the given amplitude that passes through
    // `previous` and `present` crosses zero; in (0, 1] when the two lie on opposite sides of zero.
    // Normalised values are clamped to [-1, 1].
    static double CrossingFraction(double previous, double present, double amplitude);
};

}  // namespace Velmora
