#pragma once

#include <cstddef>

#include "runtime/CircularBuffer.h"

namespace Velmora {

// A port with several branches: a resizable array of buffer views.
class CircularBufferBus {
public:
    virtual void SetBusWidth(std::size_t n) = 0;
    virtual ~CircularBufferBus() = default;
    virtual CircularBufferBase* GetBranch(std::size_t i) = 0;
};

template <typename Buffer>
class CircularBufferBusT final : public CircularBufferBus {
public:
    std::size_t width = 0;
    Buffer* branches = nullptr;  // owned array of width views; their storage is owned elsewhere

    CircularBufferBusT() = default;
    CircularBufferBusT(const CircularBufferBusT&) = delete;
    CircularBufferBusT& operator=(const CircularBufferBusT&) = delete;
    ~CircularBufferBusT() override { delete[] branches; }

    // The same width keeps the branches and their state; another width starts from fresh views.
    void SetBusWidth(std::size_t n) override {
        if (n == width) return;
        delete[] branches;
        branches = nullptr;
        width = 0;
        if (n > 0) branches = new Buffer[n];
        width = n;
    }

    // No range check: i must be below width.
    Buffer* GetBranch(std::size_t i) override { return &branches[i]; }
    Buffer& operator[](std::size_t i) { return branches[i]; }
    const Buffer& operator[](std::size_t i) const { return branches[i]; }
};

}  // namespace Velmora
