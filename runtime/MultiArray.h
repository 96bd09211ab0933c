#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Velmora {

// N-dimensional numeric array, first index fastest: element (i0, i1, ...) lives at
// i0*strides[0] + i1*strides[1] + ... with strides[0] = 1 and strides[k] = dims[0]*...*dims[k-1].
template <typename T>
class MultiArray {
public:
    std::unique_ptr<T[]> data;
    std::size_t numDims = 2;
    std::unique_ptr<std::int32_t[]> dims;
    std::size_t total = 0;      // product of the extents
    std::size_t allocated = 0;  // elements that data can hold; never shrinks
    std::unique_ptr<std::int32_t[]> strides;

    MultiArray() : dims(new std::int32_t[2]{0, 0}), strides(new std::int32_t[2]{0, 0}) {}

    // Element values are not preserved when the storage has to grow.
    void SetShape(std::size_t n, const std::int32_t* extents) {
        std::size_t product = 1;
        for (std::size_t k = 0; k < n; ++k) product *= static_cast<std::size_t>(extents[k] < 0 ? 0 : extents[k]);
        total = product;
        if (n > numDims) {
            dims.reset(new std::int32_t[n]);
            strides.reset(new std::int32_t[n]);
        }
        numDims = n;
        if (allocated < total) {
            data.reset();
            allocated = total;
            data.reset(new T[total]());
        }
        std::int32_t stride = 1;
        for (std::size_t k = 0; k < n; ++k) {
            dims[k] = extents[k];
            strides[k] = stride;
            stride *= extents[k];
        }
    }
    void SetShape(std::int32_t rows, std::int32_t columns) {
        const std::int32_t extents[2] = {rows, columns};
        SetShape(2, extents);
    }

    T* Data() { return data.get(); }
    const T* Data() const { return data.get(); }
    T& operator[](std::size_t index) { return data[index]; }
    const T& operator[](std::size_t index) const { return data[index]; }
    T& At(std::size_t i0, std::size_t i1) { return data[i0 + i1 * static_cast<std::size_t>(strides[1])]; }
};

}  // namespace Velmora
