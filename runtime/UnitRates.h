#pragma once

#include <cstddef>

#include "runtime/CircularBuffer.h"
#include "runtime/CircularBufferBus.h"

namespace Velmora {

// Ports that move one element per firing, as every custom block's and both models' ports do: a buffer, or
// every branch of a bus (set its width first).
inline void SetUnitRate(CircularBufferBase& port) { port.SetRate(1); }

template <typename Buffer>
void SetUnitRate(CircularBufferBusT<Buffer>& bus) {
    for (std::size_t i = 0; i < bus.width; ++i) bus[i].SetRate(1);
}

template <typename... Ports>
void SetUnitRates(Ports&... ports) {
    (SetUnitRate(ports), ...);
}

}  // namespace Velmora
