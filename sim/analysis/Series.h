#pragma once

// A read-only sequence read in ranges: either a vector in memory or a spill file on disk, so that the
// analysis runs alike on a short record and on one too long to keep in memory.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "sim/analysis/SpillFile.h"

namespace ksim {

template <typename T>
class Series {
public:
    virtual ~Series() = default;
    virtual std::size_t Size() const = 0;
    // Copies values [first, first + count) into out; the range lies within Size().
    virtual void Read(std::size_t first, std::size_t count, T* out) const = 0;
};

template <typename T>
class VectorSeries final : public Series<T> {
public:
    explicit VectorSeries(const std::vector<T>& values) : values_(values) {}
    std::size_t Size() const override { return values_.size(); }
    void Read(std::size_t first, std::size_t count, T* out) const override {
        std::copy(values_.begin() + static_cast<long>(first), values_.begin() + static_cast<long>(first + count), out);
    }

private:
    const std::vector<T>& values_;
};

template <typename T>
class SpillSeries final : public Series<T> {
public:
    explicit SpillSeries(const SpillFile<T>& file) : file_(file) {}
    std::size_t Size() const override { return file_.Size(); }
    void Read(std::size_t first, std::size_t count, T* out) const override { file_.Read(first, count, out); }

private:
    const SpillFile<T>& file_;
};

// The first size values of another series (all of them when it has fewer).
template <typename T>
class PrefixSeries final : public Series<T> {
public:
    PrefixSeries(const Series<T>& whole, std::size_t size) : whole_(whole), size_(std::min(size, whole.Size())) {}
    std::size_t Size() const override { return size_; }
    void Read(std::size_t first, std::size_t count, T* out) const override { whole_.Read(first, count, out); }

private:
    const Series<T>& whole_;
    std::size_t size_;
};

// Calls visit(index, value) for every value from first to the end, in order, reading in chunks.
template <typename T, typename Visit>
void ForEachValue(const Series<T>& series, std::size_t first, Visit visit) {
    constexpr std::size_t kChunk = 1 << 16;
    std::vector<T> chunk(std::min(kChunk, series.Size() > first ? series.Size() - first : 0));
    for (std::size_t at = first; at < series.Size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, series.Size() - at);
        series.Read(at, n, chunk.data());
        for (std::size_t i = 0; i < n; ++i) visit(at + i, chunk[i]);
    }
}

}  // namespace ksim
