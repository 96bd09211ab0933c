#include "dsp/VCO.h"

#include <cmath>

#include "math/PortableMath.h"

namespace Velmora {

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

bool VCO::Initialize() {
    phaseAccumulator = InitialPhase;
    sampleCounter = 0;
    if (!(SampleInterval > 0.0)) {  // also refuses NaN
        ReportError("SampleInterval must be a positive number.");
        return false;
    }
    return true;
}

double VCO::AdvancePhase() {
    const double control = input[0];
    // The control is integrated before it is used, so it already acts on this firing.
    phaseAccumulator = Sensitivity * kTwoPi * SampleInterval * control + phaseAccumulator;
    phase = phaseAccumulator + SampleInterval * (kTwoPi * Frequency) * static_cast<double>(sampleCounter);
    ++sampleCounter;
    return phase;
}

void VCO::EmitWaves(double phaseOfFiring) {
    double sine = 0.0, cosine = 0.0;
    pm::SinCos(phaseOfFiring, sine, cosine);
    const double inPhase = Amplitude * cosine;
    inPhaseOutput[0] = inPhase;
    inPhaseClock[0] = inPhase > 0.0 ? 1 : 0;

    double quadrature = Amplitude * sine;
    if (QuadratureSign == 1) quadrature = -quadrature;
    quadratureOutput[0] = quadrature;
    quadratureClock[0] = quadrature > 0.0 ? 1 : 0;
}

bool VCO::EmitInPhaseClockOnly(double phaseOfFiring) {
    // A positive, finite amplitude of normal size keeps the sign of any cosine that SignOfCos is sure of
    // (those are above 1e-9 in magnitude, so the product can neither vanish nor overflow).
    if (!(Amplitude >= 0x1p-900 && Amplitude <= 0x1p+900)) return false;
    const int sign = pm::SignOfCos(phaseOfFiring);
    if (sign == 0) return false;
    inPhaseClock[0] = sign > 0 ? 1 : 0;
    return true;
}

double VCO::InPhaseAt(double phaseOfFiring) const { return Amplitude * pm::Cos(phaseOfFiring); }

bool VCO::Run() {
    EmitWaves(AdvancePhase());
    return true;
}

}  // namespace Velmora
