#pragma once

#include "runtime/CircularBuffer.h"
#include "rx/CustomFIR_select_inp.h"

// The receiver's continuous-time equaliser and the buffer that carries the adaptation engine's equaliser
// code to it. Setup loads the response bank built into the library.
struct EqualiserSection {
    CustomFIR_select_inp equaliser;
    Velmora::CircularBuffer<int> selectBuffer;   // 1-based selection index from the adaptation engine
    double samplesPerBit = 16.0;                 // samples per unit interval
    double bitTime = 3.571428571428571e-11;      // unit interval [s]

    bool Setup();
};
