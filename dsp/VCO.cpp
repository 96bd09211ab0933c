#include "dsp/VCO.h"

#include <cmath>

#include "math/PortableMath.h"

namespace Velmora {

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;
// Distance kept from the zeros of the cosine at either end of a clock span [rad].
constexpr double kSpanMargin = 1e-6;
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
    if (phaseOfFiring >= clockSpan.low && phaseOfFiring <= clockSpan.high) {
        inPhaseClock[0] = clockSpan.clock;
        return true;
    }
    const int sign = pm::SignOfCos(phaseOfFiring);
    if (sign == 0) return false;
    inPhaseClock[0] = sign > 0 ? 1 : 0;
    clockSpan = SpanAround(phaseOfFiring, sign);
    return true;
}

// The phases from just above the zero of the cosine below phase to just below the next one. The span is
// kept only when SignOfCos is sure of the same sign at both of its ends: a span shorter than pi holds at
// most one zero, and one zero inside would give its ends opposite signs, so the cosine keeps its sign
// throughout, and every phase inside lies at least as far from a zero as the nearer end does (far enough
// for Cos to give that sign, as SignOfCos relies on).
VCO::ClockSpan VCO::SpanAround(double phase, int cosineSign) {
    const double below = std::floor(phase / kPi - 0.5);  // the zero below lies near (below + 1/2) pi
    ClockSpan span;
    span.low = (below + 0.5) * kPi + kSpanMargin;
    span.high = (below + 1.5) * kPi - kSpanMargin;
    span.clock = cosineSign > 0 ? 1 : 0;
    const bool sure = span.low <= phase && phase <= span.high && span.high - span.low < kPi &&
                      pm::SignOfCos(span.low) == cosineSign && pm::SignOfCos(span.high) == cosineSign;
    return sure ? span : ClockSpan{};
}

double VCO::InPhaseAt(double phaseOfFiring) const { return Amplitude * pm::Cos(phaseOfFiring); }

bool VCO::Run() {
    EmitWaves(AdvancePhase());
    return true;
}

}  // namespace Velmora
