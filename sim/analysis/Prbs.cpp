#include "sim/analysis/Prbs.h"

#include <stdexcept>
#include <string>

namespace ksim {

int PrbsFeedbackTap(int order) {
    switch (order) {
        case 7: return 6;
        case 9: return 5;
        case 15: return 14;
        case 23: return 18;
        case 31: return 28;
        default: return 0;
    }
}

bool PrbsGenerator::IsSupportedOrder(int order) { return PrbsFeedbackTap(order) != 0; }

PrbsGenerator::PrbsGenerator(int order)
    : PrbsGenerator(order, IsSupportedOrder(order) ? static_cast<std::uint32_t>((std::uint64_t{1} << order) - 1) : 1u) {}

PrbsGenerator::PrbsGenerator(int order, std::uint32_t seed) : order_(order), tap_(PrbsFeedbackTap(order)) {
    if (tap_ == 0)
        throw std::runtime_error("PRBS order " + std::to_string(order) + " is not supported (use 7, 9, 15, 23 or 31)");
    mask_ = static_cast<std::uint32_t>((std::uint64_t{1} << order) - 1);
    if (seed == 0 || seed > mask_)
        throw std::runtime_error("PRBS-" + std::to_string(order) + " seed " + std::to_string(seed) +
                                 " is out of range (1 to " + std::to_string(mask_) + ")");
    state_ = seed;
}

int PrbsGenerator::NextBit() {
    const std::uint32_t bit = ((state_ >> (order_ - 1)) ^ (state_ >> (tap_ - 1))) & 1u;
    state_ = ((state_ << 1) | bit) & mask_;
    return static_cast<int>(bit);
}

std::vector<int> PrbsGenerator::NextBits(std::size_t count) {
    std::vector<int> bits(count);
    for (int& b : bits) b = NextBit();
    return bits;
}

PrbsSeries::PrbsSeries(int order, std::uint32_t seed, std::size_t length)
    : order_(order), seed_(seed), length_(length), generator_(order, seed), checkpoint_(order, seed) {}

void PrbsSeries::Read(std::size_t first, std::size_t count, std::uint8_t* out) const {
    if (first < position_) {
        const bool fromCheckpoint = first >= checkpointPosition_;
        generator_ = fromCheckpoint ? checkpoint_ : PrbsGenerator(order_, seed_);
        position_ = fromCheckpoint ? checkpointPosition_ : 0;
    }
    for (; position_ < first; ++position_) generator_.NextBit();
    checkpoint_ = generator_;
    checkpointPosition_ = position_;
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(generator_.NextBit());
    position_ += count;
}

std::vector<double> NrzWave(const std::vector<int>& bits, int samplesPerBit, double amplitude) {
    if (samplesPerBit < 1)
        throw std::runtime_error("samples per bit must be at least 1, not " + std::to_string(samplesPerBit));
    std::vector<double> wave;
    wave.reserve(bits.size() * static_cast<std::size_t>(samplesPerBit));
    for (int b : bits) wave.insert(wave.end(), static_cast<std::size_t>(samplesPerBit), b != 0 ? amplitude : -amplitude);
    return wave;
}

}  // namespace ksim
