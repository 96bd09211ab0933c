#pragma once

// The recent part of a sample stream, each sample known by its number in the whole stream. Giving up the
// oldest samples only moves a mark; the storage is compacted when the part given up has grown as long as the
// part kept (sooner when the storage would have to grow). So compacting copies at most four samples per
// sample given up, and storage once grown is reused rather than allocated afresh: a long run touches no new
// memory pages once the history has reached its largest size.

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ksim {

class SampleHistory {
public:
    // Room for this many samples at once, so that a history growing to it does not reallocate. Large room is
    // asked of the system in huge pages where it has them: touching megabytes page by page costs more than
    // filling them.
    void Reserve(std::size_t samples) {
        data_.reserve(samples);
        constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
        const auto first = (reinterpret_cast<std::uintptr_t>(data_.data()) + kHugePage - 1) & ~(kHugePage - 1);
        const auto last = (reinterpret_cast<std::uintptr_t>(data_.data() + data_.capacity())) & ~(kHugePage - 1);
        if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }

    void Append(const double* samples, std::size_t n) {
        // Compacting copies the kept part: once as much was given up, or a quarter as much when the storage
        // would otherwise grow.
        const std::size_t kept = data_.size() - head_;
        if (head_ > 0 && (head_ >= kept || (data_.size() + n > data_.capacity() && head_ >= kept / 4))) {
            data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(head_));
            head_ = 0;
        }
        data_.insert(data_.end(), samples, samples + n);
    }
    // Gives up the samples before number `index`, in large steps only: nothing until that is at least half of
    // the samples kept or 65536 of them. (Which samples are left for a late request depends on these steps.)
    void DropBefore(std::uint64_t index) {
        if (index <= start_) return;
        const std::uint64_t drop = std::min<std::uint64_t>(index - start_, Size());
        if (drop < Size() / 2 && drop < kDropStep) return;
        head_ += static_cast<std::size_t>(drop);
        start_ += drop;
    }

    std::uint64_t Start() const { return start_; }  // number of the oldest sample kept
    std::uint64_t End() const { return start_ + Size(); }
    std::size_t Size() const { return data_.size() - head_; }
    // Sample number `index`, Start() <= index < End().
    double At(std::uint64_t index) const { return data_[head_ + static_cast<std::size_t>(index - start_)]; }
    const double* Data() const { return data_.data() + head_; }  // sample Start() first

private:
    static constexpr std::uint64_t kDropStep = std::uint64_t{1} << 16;
    std::vector<double> data_;
    std::size_t head_ = 0;     // data_[head_] holds sample start_
    std::uint64_t start_ = 0;
};

}  // namespace ksim
