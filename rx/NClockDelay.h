#pragma once

#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"

// Start gate: after the enable rises, the output stays 0 until the rising clock edge numbered delay count + 1
// and is 1 from that firing on, until the enable rises again. States: idle (armed 0, output 0), counting
// (armed 1, output 0) and open (armed 0, output 1).
class NClockDelay : public Velmora::DFModel {
public:
    Velmora::CircularBuffer<int> clockInput;   // input 1: the tick, 0 or 1
    Velmora::CircularBuffer<int> enableInput;  // input 2: 0 or 1; a rise arms the gate
    Velmora::CircularBuffer<int> output;       // 0 until the gate opens, then 1

    int delayCount = 0;      // rising clock edges to let pass before the gate opens, >= 0
    int previousEnable = 0;  // enable input of the previous firing
    int outputState = 0;     // value written to the output
    int previousClock = 0;   // clock input of the previous firing
    int count = 0;           // rising clock edges counted since the gate was armed
    int armed = 0;           // 1 while counting

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
};
