#pragma once

#include <cstddef>
#include <type_traits>

#include "runtime/CircularBuffer.h"
#include "runtime/CircularBufferBus.h"
#include "runtime/DFModel.h"

namespace Velmora {

// Sum of the elements of all input branches, in branch order (zero for a bus without branches).
// Template parameter: the element type (the receiver uses int). Integer sums wrap in two's complement
// instead of overflowing, since signed overflow has no defined result.
template <typename T>
class Add final : public DFModel {
public:
    CircularBufferBusT<CircularBuffer<T>> input;
    CircularBuffer<T> output;

    bool Run() override {
        if constexpr (std::is_integral<T>::value) {
            using Wide = typename std::make_unsigned<T>::type;
            Wide sum = 0;
            for (std::size_t i = 0; i < input.width; ++i) sum += static_cast<Wide>(input[i][0]);
            output[0] = static_cast<T>(sum);
        } else {
            T sum = T(0);
            for (std::size_t i = 0; i < input.width; ++i) sum += input[i][0];
            output[0] = sum;
        }
        return true;
    }
};

}  // namespace Velmora
