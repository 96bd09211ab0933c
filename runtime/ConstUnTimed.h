#pragma once

#include <cstdint>

#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"

namespace Velmora {

// Constant source: the first InitialDelay firings after Initialize give zero, every later firing gives
// value. Template parameter: the element type of the output buffer (the receiver uses double).
template <typename T>
class ConstUnTimedBase : public DFModel {
public:
    CircularBuffer<T> output;
    T value = T(0);                  // the constant, written by the owner before Setup
    int InitialDelay = 0;            // firings [samples] that give zero first, >= 0
    std::uint32_t firingCount = 0;   // firings since Initialize; wraps to 0 after 2^32 - 1

    bool Initialize() override {
        firingCount = 0;
        return ValidateParameters();
    }

    // A negative delay reads as a huge unsigned count here; Initialize has already refused it.
    bool Run() override {
        if (firingCount < static_cast<std::uint32_t>(InitialDelay)) {
            WriteZero();
        } else {
            output[0] = value;
        }
        ++firingCount;
        return true;
    }

    bool ValidateParameters() override {
        if (InitialDelay < 0) {
            ReportError("InitialDelay must be >= 0");
            return false;
        }
        return true;
    }

    // Writes the element type's zero at offset 0 of the output.
    virtual void WriteZero() = 0;
};

template <typename T>
class ConstUnTimed final : public ConstUnTimedBase<T> {
public:
    void WriteZero() override { this->output[0] = T(0); }
};

}  // namespace Velmora
