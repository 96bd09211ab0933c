#pragma once

#include <limits>

#include "runtime/DFModel.h"

// Charge-pump loop filter of the clock-recovery loop: a pump current into a node with C2 to ground and, in
// parallel, R in series with C1 to ground, solved exactly over each step of constant current. The output is
// the node voltage, the oscillator's control voltage. The owner loads input before Run and reads output after
// it; the state is kept from construction on, so a repeated Initialize does not clear it.
class LoopFilter : public Velmora::DFModel {
public:
    double input = 0.0;          // detector sum: -1.0, 0.0 or +1.0; other values keep the pump current
    double output = 0.0;         // control voltage [V]
    double c1Voltage = 0.0;      // state: voltage across C1 [V]
    double outputVoltage = 0.0;  // state: voltage across C2, equal to the output [V]
    double C1 = 0.0;             // series capacitor [F], > 0
    double C2 = 0.0;             // shunt capacitor [F], > 0
    double R = 0.0;              // series resistor [Ω], > 0
    double decay = 0.0;          // G = exp(−T/τ) of the latest step, τ = R·C1·C2/(C1+C2)
    double Icp = 0.0;            // charge-pump current [A]
    double pumpCurrent = 0.0;    // current driven into the filter during the present step [A]
    double SampleInterval = 0.0; // step length T [s], > 0

    bool Initialize() override;
    bool Run() override;

    // The terms of a step that depend on the current and the components alone: (1 − G)·I·R·C1²/(C1 + C2)²
    // added to the output and (1 − G)·I·R·C1·C2/(C1 + C2)² taken from C1's voltage.
    struct PumpTerms {
        double output = 0.0;
        double c1 = 0.0;
    };

private:
    // What the decay and the pump terms were last worked out from, once cached is true.
    bool cached = false;
    double cachedT = 0.0;
    double cachedC1 = 0.0;
    double cachedC2 = 0.0;
    double cachedR = 0.0;
    double cachedCurrent = 0.0;
    PumpTerms cachedPump;

    // The exponent whose Exp is decayOfExponent; NaN until the first Run computes one.
    double decayExponent = std::numeric_limits<double>::quiet_NaN();
    double decayOfExponent = 0.0;
};
