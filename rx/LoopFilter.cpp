#include "rx/LoopFilter.h"

#include <cmath>

#include "math/PortableMath.h"

namespace {

struct FilterState {
    double c1Voltage;
    double outputVoltage;
};

// Exact response over one step T of a constant current I: the total charge C1·Vc + C2·Vo grows by I·T and
// the difference Vo − Vc relaxes by the factor G.
FilterState Step(double C1, double C2, double R, double T, double I, double G, FilterState state) {
    const double s = C1 + C2;
    const double Vc = state.c1Voltage;
    const double Vo = state.outputVoltage;
    const double m = (C1 * Vc + C2 * Vo + I * T) / s;
    const double newOutput = m + G * C1 * (Vo - Vc) / s + (1.0 - G) * I * R * (C1 * C1) / (s * s);
    const double newC1 = m - G * C2 * (Vo - Vc) / s - (1.0 - G) * I * R * C1 * C2 / (s * s);
    return {newC1, newOutput};
}

}  // namespace

bool LoopFilter::Initialize() {
    // Also refuses NaN.
    if (!(SampleInterval > 0.0)) {
        ReportError("SampleInterval must be a positive number.");
        return false;
    }
    return true;
}

bool LoopFilter::Run() {
    if (input == 1.0) {
        pumpCurrent = Icp;
    } else if (input == -1.0) {
        pumpCurrent = -Icp;
    } else if (input == 0.0) {
        pumpCurrent = 0.0;
    }
    const double T = SampleInterval;
    const double s = C1 + C2;
    // The exponent is the same every step unless the owner changes the components: Exp is called again
    // only for a new exponent (and always for NaN, which never equals itself).
    const double exponent = -T * s / (R * C1 * C2);
    if (!(exponent == decayExponent)) {
        decayExponent = exponent;
        decayOfExponent = Velmora::pm::Exp(exponent);
    }
    decay = decayOfExponent;
    const FilterState next = Step(C1, C2, R, T, pumpCurrent, decay, {c1Voltage, outputVoltage});
    c1Voltage = next.c1Voltage;
    outputVoltage = next.outputVoltage;
    output = outputVoltage;
    return true;
}
