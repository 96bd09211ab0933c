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

bool VCO::Run() {
    const double control = input[0];
    // The control is integrated before it is used, so it already acts on this firing.
    phaseAccumulator = Sensitivity * kTwoPi * SampleInterval * control + phaseAccumulator;
    phase = phaseAccumulator + SampleInterval * (kTwoPi * Frequency) * static_cast<double>(sampleCounter);

    double sine = 0.0, cosine = 0.0;
    pm::SinCos(phase, sine, cosine);
    const double inPhase = Amplitude * cosine;
    inPhaseOutput[0] = inPhase;
    inPhaseClock[0] = inPhase > 0.0 ? 1 : 0;

    double quadrature = Amplitude * sine;
    if (QuadratureSign == 1) quadrature = -quadrature;
    quadratureOutput[0] = quadrature;
    quadratureClock[0] = quadrature > 0.0 ? 1 : 0;

    ++sampleCounter;
    return true;
}

}  // namespace Velmora
