#include "sim/analysis/PatternSync.h"

#include <bitset>
#include <stdexcept>
#include <string>

#include "sim/analysis/Prbs.h"

namespace ksim {

PatternSync::PatternSync(int order) : order_(order), tap_(PrbsFeedbackTap(order)) {
    if (tap_ == 0) throw std::runtime_error("PRBS order " + std::to_string(order) + " is not supported");
    mask_ = static_cast<std::uint32_t>((std::uint64_t{1} << order) - 1);
}

int PatternSync::Predict() const {
    return static_cast<int>(((history_ >> (order_ - 1)) ^ (history_ >> (tap_ - 1)) ^ static_cast<std::uint32_t>(polarity_)) & 1u);
}

int PatternSync::Next(int received) {
    received = received != 0 ? 1 : 0;
    justLost_ = false;
    if (state_ == State::Locked) {
        const int expected = Predict();
        history_ = ((history_ << 1) | static_cast<std::uint32_t>(expected)) & mask_;
        misses_ = (misses_ << 1) | static_cast<std::uint64_t>(expected != received);
        const std::uint64_t window = kWindowBits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << kWindowBits) - 1;
        if (static_cast<int>(std::bitset<64>(misses_ & window).count()) > kMaxMisses) {
            state_ = State::Hunting;
            filled_ = 0;
            justLost_ = true;
        }
        return expected;
    }
    if (state_ == State::Confirming) {
        const int expected = Predict();
        if (expected == received) {
            if (++confirmed_ >= kConfirmBits) {
                state_ = State::Locked;
                misses_ = 0;
                ++locks_;
            }
        } else {
            state_ = State::Hunting;
            filled_ = order_;  // the received bits so far still seed the next try
        }
        history_ = ((history_ << 1) | static_cast<std::uint32_t>(received)) & mask_;
        return -1;
    }
    // Hunting: once n bits are in, the next one fixes the polarity (one of the two recurrences always fits).
    if (filled_ >= order_) {
        polarity_ = 0;
        polarity_ = Predict() == received ? 0 : 1;
        // A register of all zeros (all ones for the complement) never leaves that state: a stuck signal,
        // not the pattern.
        if (history_ != (polarity_ ? mask_ : 0u)) {
            state_ = State::Confirming;
            confirmed_ = 1;
        }
    } else {
        ++filled_;
    }
    history_ = ((history_ << 1) | static_cast<std::uint32_t>(received)) & mask_;
    return -1;
}

}  // namespace ksim
