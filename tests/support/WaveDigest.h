#pragma once

// FNV-1a over the bit patterns of a wave's samples: equal digests mean bit-identical waves, so one constant
// in a test pins the output of every build.

#include <cstdint>
#include <cstring>
#include <vector>

inline std::uint64_t WaveDigest(const std::vector<double>& wave, std::uint64_t h = 1469598103934665603ull) {
    for (double x : wave) {
        std::uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        for (int i = 0; i < 8; ++i) {
            h ^= (bits >> (8 * i)) & 0xffu;
            h *= 1099511628211ull;
        }
    }
    return h;
}
