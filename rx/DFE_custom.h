#pragma once

#include <cstddef>

#include "runtime/CircularBuffer.h"
#include "runtime/CircularBufferBus.h"
#include "runtime/DFModel.h"

// Five-tap decision-feedback equaliser and its slicer. Every sample it subtracts the weighted last five
// decisions from its input; at each rising edge of the sampling clock it takes a new ±1 decision, and at each
// falling edge that decision enters the history, half a clock period later.
class DFE_custom : public Velmora::DFModel {
public:
    static constexpr std::size_t kTaps = 5;

    Velmora::CircularBuffer<int> clockInput;     // sampling tick, 0 or 1
    Velmora::CircularBuffer<double> signalInput; // gain stage output [V]
    Velmora::CircularBufferBusT<Velmora::CircularBuffer<double>> tapInputs;  // w1..w5 [V], one branch each
    Velmora::CircularBuffer<int> decisionOutput;      // +1, -1, or 0 before the first decision
    Velmora::CircularBuffer<double> equalisedOutput;  // input minus feedback [V]

    double previousClock = 0.0;  // clock input of the previous sample
    double equalisedValue = 0.0; // last equalised value [V]
    int decision = 0;            // current decision: +1, -1, or 0 before the first one
    // d1 (most recent) to d5: +1, -1 or 0, held as reals since the feedback multiplies them every sample
    double history[kTaps] = {};

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
};
