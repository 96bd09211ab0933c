#pragma once

// What the model fuzzers share: the model under test (chosen at build time, its entry points linked in),
// host arrays of exactly the size a simulator passes (so that the address sanitizer sees any access
// beyond them), and the checks a host may rely on after every call.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#if defined(KELVANE_FUZZ_RX)
#include "rx/KelvaneRx.h"
using FuzzModel = kelvane_rx;
#elif defined(KELVANE_FUZZ_TX)
#include "tx/KelvaneTx.h"
using FuzzModel = kelvane_tx;
#else
#error "define KELVANE_FUZZ_RX or KELVANE_FUZZ_TX"
#endif

extern "C" {
long AMI_Init(double* impulse_matrix, long row_size, long aggressors, double sample_interval, double bit_time,
              char* AMI_parameters_in, char** AMI_parameters_out, void** AMI_memory_handle, char** msg);
long AMI_GetWave(double* wave, long wave_size, double* clock_times, char** AMI_parameters_out, void* AMI_memory);
long AMI_Close(void* AMI_memory);
}

namespace fuzz_host {

inline void Require(bool condition) {
    if (!condition) __builtin_trap();
}

constexpr double kBitTime = 3.571428571428571e-11;  // [s]

// A wave block and its clock-time array, each allocated at exactly the size the host hands over: the
// wave's length, and as many clock times (at least one, for the terminator).
struct HostBlock {
    explicit HostBlock(std::size_t n) : size(n), wave(new double[n == 0 ? 1 : n]), clocks(new double[n == 0 ? 1 : n]) {
        for (std::size_t i = 0; i < (n == 0 ? 1 : n); ++i) clocks[i] = -2.0;
    }
    std::size_t size;
    std::unique_ptr<double[]> wave;
    std::unique_ptr<double[]> clocks;
};

// One AMI_GetWave call on the block with the checks any host relies on: a result of 0 or 1, clock times
// that are the terminator or ascending non-negative times, and, from the transmitter, no clock times.
inline long CallGetWave(void* handle, HostBlock& block) {
    const long result = AMI_GetWave(block.wave.get(), static_cast<long>(block.size), block.clocks.get(), nullptr, handle);
    Require(result == 0 || result == 1);
    const std::size_t slots = block.size == 0 ? 1 : block.size;
    std::size_t i = 0;
    double last = -1.0;
    for (; i < slots && block.clocks[i] != -1.0; ++i) {
        if (block.clocks[i] == -2.0) break;  // untouched: the model wrote no terminator here
        Require(block.clocks[i] >= 0.0 && block.clocks[i] > last);
        last = block.clocks[i];
    }
    Require(i < slots && block.clocks[i] == -1.0);  // every call terminates the list within the array
    if (!ami_model::kHasClockPort<FuzzModel>) Require(i == 0);
    return result;
}

// A sample value: mostly ordinary link voltages, often the values that break arithmetic.
inline double Sample(FuzzedDataProvider& in) {
    static const double kSpecial[] = {
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        1e308, -1e308, std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
        std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(), 2.2e-308, 0.0, -0.0,
        0.5, -0.5, 1e-12, 1e12};
    const unsigned kind = in.ConsumeIntegral<unsigned char>();
    if (kind < sizeof kSpecial / sizeof kSpecial[0]) return kSpecial[kind];
    if (kind < 64) {
        const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        return x;  // any bit pattern, signalling NaNs included
    }
    return in.ConsumeFloatingPointInRange(-1.0, 1.0);
}

// Sample interval and bit time: usual rates, the extremes (1 and 4096 samples per bit, fractional and
// huge quotients) and values no simulator should pass (zero, negative, NaN, infinite). Counts between
// 4096 and the int range are left out: the transmitter accepts them, and its stored response then takes
// up to 10^7 taps, so a few samples take seconds (docs/hostile-inputs.md).
inline void Timing(FuzzedDataProvider& in, double& sampleInterval, double& bitTime) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    bitTime = kBitTime;
    switch (in.ConsumeIntegralInRange(0, 11)) {
        case 0: sampleInterval = kBitTime / 16; break;
        case 1: sampleInterval = kBitTime / 32; break;
        case 2: sampleInterval = kBitTime; break;            // 1 sample per bit
        case 3: sampleInterval = kBitTime / 4096; break;
        case 4: sampleInterval = kBitTime / in.ConsumeIntegralInRange(1, 4096); break;
        case 5: sampleInterval = kBitTime / in.ConsumeFloatingPointInRange(0.01, 300.0); break;
        case 6: sampleInterval = 0.0; break;
        case 7: sampleInterval = -kBitTime / 16; break;
        case 8: sampleInterval = nan; break;
        case 9: sampleInterval = inf; break;
        case 10: sampleInterval = 1e-300; bitTime = 1.0; break;  // beyond any count of samples
        default: sampleInterval = kBitTime / 16; bitTime = in.PickValueInArray({0.0, -1.0, nan, inf, 1e-300}); break;
    }
}

}  // namespace fuzz_host
