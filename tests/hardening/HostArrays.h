#pragma once

// Host-side arrays for AMI_GetWave with guard cells on both sides, as a careful simulator would lay them
// out: any write outside the part handed to the model changes a guard.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class GuardedArray {
public:
    static constexpr std::size_t kGuard = 64;

    explicit GuardedArray(std::size_t n, double fill = 0.0) : cells_(n + 2 * kGuard, Canary()), size_(n) {
        for (std::size_t i = 0; i < n; ++i) cells_[kGuard + i] = fill;
    }
    double* data() { return cells_.data() + kGuard; }
    const double* data() const { return cells_.data() + kGuard; }
    std::size_t size() const { return size_; }
    double& operator[](std::size_t i) { return cells_[kGuard + i]; }

    bool GuardsIntact() const {
        for (std::size_t i = 0; i < kGuard; ++i) {
            if (!IsCanary(cells_[i]) || !IsCanary(cells_[kGuard + size_ + i])) return false;
        }
        return true;
    }

private:
    // A NaN with a payload no arithmetic produces, compared bit for bit.
    static double Canary() {
        const std::uint64_t bits = 0x7ff4c0ffee15dead;
        double x;
        std::memcpy(&x, &bits, sizeof x);
        return x;
    }
    static bool IsCanary(double x) {
        const double canary = Canary();
        return std::memcmp(&x, &canary, sizeof x) == 0;
    }

    std::vector<double> cells_;
    std::size_t size_;
};
