#pragma once

// Pseudo-random bit sequences of the ITU-T O.150 family and their NRZ waveform.

#include <cstdint>
#include <vector>

#include "sim/analysis/Series.h"

namespace ksim {

// A maximal-length linear feedback shift register for the polynomial x^n + x^m + 1:
//   PRBS-7  x^7 + x^6 + 1      PRBS-9  x^9 + x^5 + 1      PRBS-15 x^15 + x^14 + 1
//   PRBS-23 x^23 + x^18 + 1    PRBS-31 x^31 + x^28 + 1
// The bits follow the recurrence a[k] = a[k-n] XOR a[k-m]; each NextBit() returns the next a[k], starting
// with a[0]. The seed holds the n bits before it: bit 0 of the seed is a[-1], bit n-1 is a[-n]. Every
// non-zero seed lies on the one cycle of 2^n - 1 bits, so another seed only shifts the sequence.
// The bits are those of the recurrence, never inverted (test sets often invert PRBS-15/23/31; the BER
// counter finds the polarity by itself).
// m of x^n + x^m + 1 for order n, 0 for an order not listed above.
int PrbsFeedbackTap(int order);

class PrbsGenerator {
public:
    // order: 7, 9, 15, 23 or 31; the seed is all ones. Throws std::runtime_error for other orders.
    explicit PrbsGenerator(int order);
    // seed: 1 .. 2^order - 1 (zero would lock the register). Throws std::runtime_error otherwise.
    PrbsGenerator(int order, std::uint32_t seed);

    static bool IsSupportedOrder(int order);

    int NextBit();                                  // 0 or 1
    std::vector<int> NextBits(std::size_t count);

    int Order() const { return order_; }
    std::uint64_t Period() const { return (std::uint64_t{1} << order_) - 1; }  // [bits]

private:
    int order_;
    int tap_;                 // m of x^n + x^m + 1
    std::uint32_t mask_;      // the n low bits
    std::uint32_t state_;     // bit j holds a[k-1-j]
};

// The first `length` bits of a PRBS as a series, generated again on each read instead of kept: a read
// before the last one restarts the generator, a read after it runs on.
class PrbsSeries final : public Series<std::uint8_t> {
public:
    PrbsSeries(int order, std::uint32_t seed, std::size_t length);
    std::size_t Size() const override { return length_; }
    void Read(std::size_t first, std::size_t count, std::uint8_t* out) const override;

private:
    int order_;
    std::uint32_t seed_;
    std::size_t length_;
    mutable PrbsGenerator generator_;
    mutable std::size_t position_ = 0;  // index of the generator's next bit
    // The generator as it stood at the start of the last read, so that reads overlapping the one before
    // (as when counting in overlapping windows) do not start over from the first bit.
    mutable PrbsGenerator checkpoint_;
    mutable std::size_t checkpointPosition_ = 0;
};

// The NRZ waveform of bits: +amplitude for a 1 (any non-zero value), -amplitude for a 0, each bit held for
// samplesPerBit samples. samplesPerBit: >= 1; amplitude [V]. Throws std::runtime_error when samplesPerBit < 1.
std::vector<double> NrzWave(const std::vector<int>& bits, int samplesPerBit, double amplitude);

}  // namespace ksim
