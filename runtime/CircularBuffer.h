#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace Velmora {

// Untyped part of a ring-buffer view. A buffer never owns its storage: two views on one storage form a
// connection between a producing and a consuming block.
class CircularBufferBase {
public:
    std::size_t rate = 1;         // elements per firing of the owning block, >= 1
    std::size_t size = 1;         // elements the storage must be able to hold, never below rate
    std::size_t elementSize = 0;  // bytes per element
    std::size_t position = 0;     // storage index of offset 0, < capacity

    virtual ~CircularBufferBase() = default;
    // Copies count elements from this buffer into dest (same element type); both sides wrap.
    virtual void CopyTo(std::size_t srcOffset, CircularBufferBase& dest, std::size_t destOffset,
                        std::size_t count) const = 0;
    virtual void CopyElements(const void* src, void* dest, std::size_t count) const = 0;
    virtual bool Clear(std::size_t offset, std::size_t count) = 0;
    virtual void* AllocateUntyped(std::size_t n) const = 0;
    virtual void Free(void* storage) = 0;

    // Raises size to n when needed; never lowers it.
    void SetRate(std::size_t n) {
        rate = n;
        if (size < n) size = n;
    }
};

template <typename T>
class CircularBuffer final : public CircularBufferBase {
public:
    T* data = nullptr;          // element storage, owned elsewhere
    std::size_t capacity = 0;   // elements in the attached storage

    CircularBuffer() { elementSize = sizeof(T); }

    // Storage index of an offset: one subtraction of the capacity at most, so offsets stay below capacity.
    std::size_t IndexOf(std::size_t offset) const {
        if (offset == 0) return position;
        std::size_t index = position + offset;
        if (index >= capacity) index -= capacity;
        return index;
    }
    T* ElementAt(std::size_t offset) const { return data + IndexOf(offset); }
    T& operator[](std::size_t offset) const { return data[IndexOf(offset)]; }

    T* Data() const { return data; }
    std::size_t Capacity() const { return capacity; }

    // Points this view at storage it does not own.
    void Attach(T* storage, std::size_t elements) {
        data = storage;
        capacity = elements;
        position = 0;
    }

    // Moves position on by rate, wrapping once at capacity.
    void Advance() {
        position += rate;
        if (position >= capacity) position -= capacity;
    }

    void CopyTo(std::size_t srcOffset, CircularBufferBase& destBase, std::size_t destOffset,
                std::size_t count) const override {
        auto& dest = static_cast<CircularBuffer<T>&>(destBase);
        std::size_t s = IndexOf(srcOffset);
        std::size_t d = dest.IndexOf(destOffset);
        if (count == 1) {
            dest.data[d] = data[s];
            return;
        }
        while (count > 0) {
            std::size_t chunk = count;
            if (capacity - s < chunk) chunk = capacity - s;
            if (dest.capacity - d < chunk) chunk = dest.capacity - d;
            std::memmove(dest.data + d, data + s, chunk * sizeof(T));
            count -= chunk;
            s += chunk;
            d += chunk;
            if (s == capacity) s = 0;
            if (d == dest.capacity) d = 0;
        }
    }

    void CopyElements(const void* src, void* dest, std::size_t count) const override {
        if (count > 0) std::memmove(dest, src, count * sizeof(T));
    }

    bool Clear(std::size_t offset, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) data[IndexOf(offset + i)] = T(0);
        return true;
    }

    // Zeroed storage for n elements. A request whose byte count would overflow the address range fails
    // with std::bad_alloc, as a request for the largest representable size would, instead of wrapping to a
    // small block.
    static T* Allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = (n == 0 ? 1 : n) * sizeof(T);
        void* storage = ::operator new(bytes);
        std::memset(storage, 0, bytes);
        return static_cast<T*>(storage);
    }
    void* AllocateUntyped(std::size_t n) const override { return Allocate(n); }

    // Non-null: releases only that storage. Null: releases this view's own storage and detaches it.
    void Free(void* storage) override {
        if (storage != nullptr) {
            ::operator delete(storage);
            return;
        }
        ::operator delete(data);
        data = nullptr;
        position = 0;
        capacity = 0;
    }
};

// Storage released with CircularBuffer<T>::Free; used by owners that keep storage outside any view.
template <typename T>
void FreeStorage(T*& storage) {
    ::operator delete(storage);
    storage = nullptr;
}

}  // namespace Velmora
