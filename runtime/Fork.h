#pragma once

#include <cstddef>

#include "runtime/CircularBuffer.h"
#include "runtime/CircularBufferBus.h"
#include "runtime/DFModel.h"

namespace Velmora {

// Copies its input element to every branch of its output bus, branch 0 first. Template parameter: the
// element type (double, float or int). The owner sets the bus width before Setup.
template <typename T>
class Fork final : public DFModel {
public:
    CircularBuffer<T> input;
    CircularBufferBusT<CircularBuffer<T>> output;

    bool Run() override {
        const T sample = input[0];
        for (std::size_t i = 0; i < output.width; ++i) output[i][0] = sample;
        return true;
    }
};

}  // namespace Velmora
