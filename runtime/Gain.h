#pragma once

#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"

namespace Velmora {

// output = input x gain, in the element type's arithmetic (the receiver uses float).
template <typename T>
class Gain final : public DFModel {
public:
    T gain = T(0);  // set by the owner before Setup; the block has no meaningful default
    CircularBuffer<T> input;
    CircularBuffer<T> output;

    bool Run() override {
        output[0] = static_cast<T>(input[0] * gain);
        return true;
    }
};

}  // namespace Velmora
