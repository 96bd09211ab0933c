#include "rx/LoopFilter.h"

#include <cmath>
#include <cstring>

#include "math/PortableMath.h"

namespace {

struct FilterState {
    double c1Voltage;
    double outputVoltage;
};

// Exact response over one step T of a constant current I: the total charge C1·Vc + C2·Vo grows by I·T and
// the difference Vo − Vc relaxes by the factor G. The two terms that hold no state come from PumpTerms.
FilterState Step(double C1, double C2, double T, double I, double G, LoopFilter::PumpTerms pump,
                 FilterState state) {
    const double s = C1 + C2;
    const double Vc = state.c1Voltage;
    const double Vo = state.outputVoltage;
    const double m = (C1 * Vc + C2 * Vo + I * T) / s;
    const double newOutput = m + G * C1 * (Vo - Vc) / s + pump.output;
    const double newC1 = m - G * C2 * (Vo - Vc) / s - pump.c1;
    return {newC1, newOutput};
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

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
    // The decay and the pump terms depend only on the components, the step and the current, which change
    // (if ever) far less often than every step: they are worked out again only when one of those changes
    // bit for bit, and then by the same expressions.
    const bool sameComponents = cached && SameBits(T, cachedT) && SameBits(C1, cachedC1) && SameBits(C2, cachedC2) &&
                                SameBits(R, cachedR);
    if (!sameComponents) {
        const double s = C1 + C2;
        const double exponent = -T * s / (R * C1 * C2);
        // Exp is called again only for a new exponent (and always for NaN, which never equals itself).
        if (!(exponent == decayExponent)) {
            decayExponent = exponent;
            decayOfExponent = Velmora::pm::Exp(exponent);
        }
        cachedT = T;
        cachedC1 = C1;
        cachedC2 = C2;
        cachedR = R;
    }
    decay = decayOfExponent;
    if (!sameComponents || !SameBits(pumpCurrent, cachedCurrent)) {
        const double s = C1 + C2;
        const double G = decay;
        const double I = pumpCurrent;
        cachedPump = {(1.0 - G) * I * R * (C1 * C1) / (s * s), (1.0 - G) * I * R * C1 * C2 / (s * s)};
        cachedCurrent = I;
        cached = true;
    }
    const FilterState next = Step(C1, C2, T, pumpCurrent, decay, cachedPump, {c1Voltage, outputVoltage});
    c1Voltage = next.c1Voltage;
    outputVoltage = next.outputVoltage;
    output = outputVoltage;
    return true;
}
