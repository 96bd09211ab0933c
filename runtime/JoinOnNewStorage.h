#pragma once

#include <cstddef>
#include <initializer_list>

#include "runtime/CircularBuffer.h"

namespace Velmora {

// A connection between blocks: fresh zeroed storage of `capacity` elements, shared by the writer's view and
// every reader's view, each moving one element per firing. The caller owns the storage and releases it
// with FreeStorage once no view uses it any more.
template <typename T>
T* JoinOnNewStorage(std::size_t capacity, CircularBuffer<T>& writer, std::initializer_list<CircularBuffer<T>*> readers) {
    T* storage = CircularBuffer<T>::Allocate(capacity);
    writer.Attach(storage, capacity);
    writer.rate = 1;
    for (CircularBuffer<T>* reader : readers) {
        reader->Attach(storage, capacity);
        reader->rate = 1;
    }
    return storage;
}

}  // namespace Velmora
