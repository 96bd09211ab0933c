#pragma once

// The bit each unit interval should carry, found from the received bits themselves as a bit error ratio
// tester does: a PRBS obeys a[k] = a[k-n] XOR a[k-m] (its inverse a[k] = 1 XOR a[k-n] XOR a[k-m]), so n
// received bits seed a local copy of the pattern, which is trusted once it has predicted the following bits
// without a miss and then runs on by itself, so that later errors show as errors. When it misses too often
// (a slipped or extra clock edge moves the bits against it) it is dropped and found again.

#include <cstdint>

namespace ksim {

class PatternSync {
public:
    static constexpr int kConfirmBits = 64;     // bits predicted without a miss before the copy is trusted
    static constexpr int kWindowBits = 64;      // a trusted copy is dropped when, of its last this many bits,
    static constexpr int kMaxMisses = 16;       // more than this many were missed

    explicit PatternSync(int order);  // 7, 9, 15, 23 or 31; throws std::runtime_error otherwise

    // The next received bit (0 or 1). Returns the bit the pattern says it should be (in the received
    // polarity), or -1 while the pattern is not trusted.
    int Next(int received);

    bool Locked() const { return state_ == State::Locked; }
    bool JustLost() const { return justLost_; }   // the last Next dropped a trusted copy
    std::uint64_t Locks() const { return locks_; }

private:
    enum class State { Hunting, Confirming, Locked };
    int Predict() const;

    int order_, tap_;
    std::uint32_t mask_;
    State state_ = State::Hunting;
    std::uint32_t history_ = 0;     // bit j: the bit j + 1 places back (received while hunting, predicted after)
    int filled_ = 0;                // bits in history_ while hunting
    int polarity_ = 0;              // 1: the bits are the pattern's complement
    int confirmed_ = 0;
    std::uint64_t misses_ = 0;      // bit j: a miss j places back
    bool justLost_ = false;
    std::uint64_t locks_ = 0;
};

}  // namespace ksim
