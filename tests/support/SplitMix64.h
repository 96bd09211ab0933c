#pragma once

// A seeded sequence of random integers and doubles, the same in every build (no standard-library
// distributions, whose results may differ between libraries), and the bits of a double.

#include <cstdint>
#include <cstring>

inline std::uint64_t BitsOf(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline double FromBits(std::uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// SplitMix64: a seeded integer sequence, the same in every build.
struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t Next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // Uniform in [a, b).
    double Uniform(double a, double b) { return a + (b - a) * (static_cast<double>(Next() >> 11) * 0x1p-53); }
    // Either sign, magnitude 2^e * (1 + m 2^-52) with e uniform in [minExp, maxExp]: every binade alike
    // (e = -1023 gives the subnormals, e = 1024 infinities and NaNs). Built from bits alone.
    double LogUniform(int minExp, int maxExp) {
        const std::uint64_t r = Next();
        const int e = minExp + static_cast<int>((r >> 53) % static_cast<std::uint64_t>(maxExp - minExp + 1));
        const std::uint64_t mantissa = Next() >> 12;
        return FromBits(((r & 1u) << 63) | (static_cast<std::uint64_t>(e + 1023) << 52) | mantissa);
    }
};
