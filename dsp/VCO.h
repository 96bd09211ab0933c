#pragma once

#include <cstdint>

#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"

namespace Velmora {

// Sampled voltage-controlled oscillator: integrates its control input into a phase and emits cosine and
// sine waves plus 0/1 square waves that are 1 while the matching wave is above zero. All ports move one
// element per firing.
class VCO : public DFModel {
public:
    CircularBuffer<double> input;             // control value per sample
    CircularBuffer<double> inPhaseOutput;     // Amplitude x cos(phase)
    CircularBuffer<int> inPhaseClock;         // 1 while the in-phase output is above 0, else 0
    CircularBuffer<double> quadratureOutput;  // Amplitude x sin(phase), negated when QuadratureSign is 1
    CircularBuffer<int> quadratureClock;      // 1 while the quadrature output is above 0, else 0

    double SampleInterval = 1e-10;  // sample interval [s], > 0 (checked by Initialize)
    double Amplitude = 1.0;         // output amplitude [V]
    double Frequency = 1e9;         // free-running frequency [Hz]
    double Sensitivity = 1.0;       // frequency change per unit of control input [Hz/V]
    double InitialPhase = 0.0;      // phase loaded by Initialize [rad]
    std::int32_t QuadratureSign = 0;  // 1 negates the quadrature output; any other value keeps it

    double phaseAccumulator = 0.0;  // integrated control phase [rad], never reduced modulo 2 pi
    std::uint64_t sampleCounter = 0;  // firings since Initialize
    double phase = 0.0;             // total phase of the latest firing [rad]

    bool Initialize() override;
    bool Run() override;

    // Run in parts, for an owner that reads only the in-phase clock on most firings. AdvancePhase takes the
    // control input and returns this firing's phase; EmitWaves then writes every output as Run does.
    // EmitInPhaseClockOnly writes the in-phase clock alone and returns true when its value is certain
    // without evaluating the waves (false: nothing written, call EmitWaves). InPhaseAt gives the in-phase
    // output of a phase, bit for bit as EmitWaves writes it.
    double AdvancePhase();
    void EmitWaves(double phase);
    bool EmitInPhaseClockOnly(double phase);
    double InPhaseAt(double phase) const;

private:
    // Phases [rad] between two zeros of the cosine over which the in-phase clock is known (empty while
    // low > high): EmitInPhaseClockOnly answers from it without reducing the phase.
    struct ClockSpan {
        double low = 1.0;
        double high = 0.0;
        int clock = 0;
    };
    static ClockSpan SpanAround(double phase, int cosineSign);
    ClockSpan clockSpan;
    bool Finalize() override { return true; }
};

}  // namespace Velmora
