#include "rx/Delay.h"

#include <cmath>

#include "math/PortableMath.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;

}  // namespace

// asin gives the phase only within ±π/2; a falling input lies on the other half of the turn.
double Delay::QuarterPeriodLater(double x, double previous) {
    const double a = Velmora::pm::Asin(x);
    const double phase = (x - previous >= 0.0) ? a : kPi - a;
    return Velmora::pm::Sin(phase - kHalfPi);
}

bool Delay::Initialize() {
    previousInput = 0.0;
    previousInputPending = false;
    return true;
}

bool Delay::Run() {
    const double x = input[0];
    output = QuarterPeriodLater(x, previousInput);
    previousInput = x;
    return true;
}
