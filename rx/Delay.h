#pragma once

#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"

// Quadrature shifter of the clock-recovery loop: for a unit-amplitude input sin φ it outputs sin(φ − π/2),
// the same wave a quarter period later, found from the input's value and direction alone. A flat step
// counts as rising; an input of magnitude above 1 gives NaN.
class Delay : public Velmora::DFModel {
public:
    Velmora::CircularBuffer<double> input;  // unit-amplitude sinusoid, |x| <= 1
    double output = 0.0;                    // read by the owner after Run
    double previousInput = 0.0;             // input of the previous sample
    // An owner that fires the shifter lazily may leave the previous input as the oscillator phase it comes
    // from, to be evaluated only if it is needed; Initialize clears that.
    bool previousInputPending = false;
    double previousInputPhase = 0.0;        // [rad], while previousInputPending

    bool Initialize() override;
    bool Run() override;

    // The output for input x after previous: what Run computes, for an owner that needs it only now and then.
    static double QuarterPeriodLater(double x, double previous);
};
