#pragma once

#include <string>
#include <type_traits>
#include <vector>

#include "ami/AmiModelBinding.h"

// Everything one AMI handle owns. Members are destroyed in reverse order: clock times, message text, then
// the model. Port storage attached by AMI_Init is released before the model is destroyed.
template <typename Model>
struct AmiInstance {
    Model model;
    std::string messageText;         // warnings and errors, only ever appended to
    std::vector<double> clockTimes;  // clock times of one AMI_GetWave call, then the terminator -1.0
    int samplesPerBit = 0;
    bool ready = false;  // AMI_Init succeeded; a model that failed to start is never run

    AmiInstance() = default;
    AmiInstance(const AmiInstance&) = delete;
    AmiInstance& operator=(const AmiInstance&) = delete;
    ~AmiInstance() { ReleasePorts(); }

    // Gives every external port one element of storage of its own.
    void AttachPorts() {
        ami_model::ForEachPort(model, [](auto& port) {
            using Buffer = std::remove_reference_t<decltype(port)>;
            port.Free(nullptr);
            port.data = Buffer::Allocate(1);
            port.capacity = 1;
            port.rate = 1;
            port.position = 0;
        });
    }
    void ReleasePorts() {
        ami_model::ForEachPort(model, [](auto& port) { port.Free(nullptr); });
    }
};
