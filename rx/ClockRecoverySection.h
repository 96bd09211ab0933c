#pragma once

#include "dsp/VCO.h"
#include "runtime/Add.h"
#include "runtime/CircularBuffer.h"
#include "runtime/Fork.h"
#include "runtime/TypeConverter.h"
#include "rx/Delay.h"
#include "rx/LoopFilter.h"
#include "rx/PFD.h"

// The clock-recovery loop: oscillator, quadrature shifter, phase detector and charge-pump loop filter, with
// the buffers through which the model moves values in and out of the blocks that have plain fields.
struct ClockRecoverySection {
    // Phase-detector group.
    Delay shifter;                                        // turns the oscillator's cosine into its sine
    Velmora::CircularBuffer<double> shifterOutput;
    PFD detector;
    Velmora::CircularBuffer<double> detectorInputs[3];   // in-phase, quadrature, equalised data
    Velmora::CircularBuffer<int> detectorOutputs[3];     // in-phase sign, quadrature sign, correction
    Velmora::Add<int> detectorSum;                       // in-phase sign + correction
    Velmora::Fork<double> clockFork;                     // cosine to the shifter and to the detector

    // Loop.
    Velmora::VCO oscillator;
    LoopFilter loopFilter;
    Velmora::CircularBuffer<double> loopFilterInput;
    Velmora::CircularBuffer<double> loopFilterOutput;
    Velmora::ScalarToScalar<int, double, Velmora::TypeConverterAssign> sumToReal;
    Velmora::Fork<double> cosineFork;   // branch 0 to the clock fork, branch 1 unused
    Velmora::Fork<double> controlFork;  // branch 0 unused, branch 1 to the oscillator

    // Parameter record.
    double C1 = 1.1e-8;                       // loop filter series capacitor [F]
    double C2 = 5e-11;                        // loop filter shunt capacitor [F]
    double R = 100.0;                         // loop filter series resistor [Ω]
    double Icp = 5e-05;                       // charge-pump current [A]
    double samplesPerBit = 16.0;              // samples per unit interval
    double Factor = 1.0;                      // oscillator frequency in multiples of the bit rate
    double VCO_Sensitivity = 600000000.0;     // [Hz/V]
    double initialPhase = 0.0;                // [rad]
    double amplitude = 1.0;                   // oscillator amplitude
    double bitTime = 3.571428571428571e-11;   // unit interval [s]

    // Derived by Setup.
    double bitRate = 0.0;              // [1/s]
    double timeStep = 0.0;             // sample interval [s]
    double oscillatorFrequency = 0.0;  // free-running frequency [Hz]

    bool Setup();

    // One sample through the loop, on the data value of the previous sample (detectorInputs[2]); the
    // oscillator's in-phase clock comes out for the rest of the network and the control voltage goes round
    // to the next sample. Fire runs every block in the network's order. FireLazily gives the same bits
    // while evaluating the oscillator's waves only where their values are read: its clock needs just the
    // sign of the cosine, and the quadrature shifter's output counts only at a data transition, where the
    // detector samples it (the shifter's and the forks' own outputs go stale in between).
    bool Fire();
    bool FireLazily();

private:
    // Evaluates the shifter's previous input where FireLazily left it as a phase.
    void SettleShifterInput();
};
