#pragma once

#include "runtime/DFModel.h"

// Phase-and-frequency detector of the clock-recovery loop. At every transition of the data input it samples
// the signs of the oscillator's in-phase and quadrature waves and works out a correction from the way the
// in-phase sign changed; the outputs hold between transitions. The owner loads the three inputs before Run
// and reads the three outputs after it. The state is set at construction only, so a repeated Initialize
// keeps it.
class PFD : public Velmora::DFModel {
public:
    double inPhaseInput = 0.0;     // input 1: oscillator cosine
    double quadratureInput = 0.0;  // input 2: quadrature shifter output
    double dataInput = 0.0;        // input 3: equalised signal [V]
    double dataLevel = 0.0;        // 1.0 when the data input was above 0 at the previous firing, else 0.0
    int previousInPhaseSign = 0;   // in-phase sign found at the transition before the latest one
    int previousCorrection = 0;    // correction as it stood just before the latest transition
    int inPhaseSign = 0;           // output 1: +1 or -1, 0 before the first transition
    int quadratureSign = 0;        // output 2: +1 or -1, 0 before the first transition
    int correction = 0;            // output 3: -1, 0 or +1

    bool Run() override;

    // Run in parts, for an owner that works out the quadrature input only at a transition: IsTransition
    // tells whether this firing's data input makes one, Latch takes the two signs there (+1 above zero,
    // else -1: SignOf), and Hold ends the firing.
    static int SignOf(double value) { return value > 0.0 ? 1 : -1; }
    bool IsTransition(double data) const;
    void Latch(int inPhase, int quadrature);
    void Hold(double data) { dataLevel = LevelOf(data); }

private:
    static double LevelOf(double data) { return data > 0.0 ? 1.0 : 0.0; }
};
