#pragma once

#include <cstddef>
#include <string>

#include "runtime/CircularBuffer.h"
#include "runtime/CircularBufferBus.h"
#include "runtime/DFModel.h"

namespace Velmora {

// Passes BlockSize elements of the input branch chosen by `control` to the output. Template parameter:
// the element type (the receiver uses double). The owner sets the bus width before Setup and writes
// `control` before every Run.
template <typename T>
class Mux final : public DFModel {
public:
    CircularBufferBusT<CircularBuffer<T>> input;
    CircularBuffer<T> output;
    int control = 0;    // selected branch, 0 .. width - 1
    int BlockSize = 1;  // elements moved per firing, >= 1

    bool Setup() override {
        if (BlockSize < 1) {
            ReportError("BlockSize must be >= 1");
            return false;
        }
        const std::size_t rate = static_cast<std::size_t>(BlockSize);
        output.SetRate(rate);
        for (std::size_t i = 0; i < input.width; ++i) input[i].SetRate(rate);
        return true;
    }

    // An out-of-range control leaves the output untouched.
    bool Run() override {
        const std::size_t n = input.width;
        if (control >= 0 && static_cast<std::size_t>(control) < n) {
            input[static_cast<std::size_t>(control)].CopyTo(0, output, 0, static_cast<std::size_t>(BlockSize));
            return true;
        }
        ReportError(OutOfRangeMessage(control, n));
        return false;
    }

    // The upper bound is printed signed so that a bus without branches reads "[0,-1]" on every platform.
    static std::string OutOfRangeMessage(int control, std::size_t width) {
        std::string text = "Control input signal value is equal to ";
        text += std::to_string(control);
        text += ".  There ";
        text += width > 1 ? "are " : "is ";
        text += std::to_string(width);
        text += width > 1 ? " inputs" : " input";
        text += " connected.  The valid control input range is [0,";
        text += std::to_string(static_cast<long long>(width) - 1);
        text += "].";
        return text;
    }
};

}  // namespace Velmora
