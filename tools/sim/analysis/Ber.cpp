#include "tools/sim/analysis/Ber.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <stdexcept>

namespace ksim {

namespace {

constexpr std::size_t kWindowBits = 256;
constexpr std::size_t kMinWindowBits = 64;
constexpr int kWindowTries = 8;
constexpr double kMaxWindowMismatch = 0.2;  // a wrong alignment of random bits mismatches about half

// Bits packed 64 to a word, so that a stretch of 64 bits at any position is read with two loads.
class PackedBits {
public:
    explicit PackedBits(const std::vector<int>& bits) : size_(bits.size()), words_(bits.size() / 64 + 2, 0) {
        for (std::size_t i = 0; i < bits.size(); ++i)
            if (bits[i] != 0) words_[i >> 6] |= std::uint64_t{1} << (i & 63);
    }

    std::size_t Size() const { return size_; }

    // Bits pos .. pos+63, bit pos in the lowest place; places past the end read 0. pos <= Size().
    std::uint64_t Word(std::size_t pos) const {
        const std::size_t w = pos >> 6;
        const unsigned shift = static_cast<unsigned>(pos & 63);
        if (shift == 0) return words_[w];
        return (words_[w] >> shift) | (words_[w + 1] << (64 - shift));
    }

private:
    std::size_t size_;
    std::vector<std::uint64_t> words_;
};

// Number of places in which a[aStart ..] and b[bStart ..] differ over count bits (both stretches in range).
std::uint64_t Mismatches(const PackedBits& a, std::size_t aStart, const PackedBits& b, std::size_t bStart,
                         std::size_t count) {
    std::uint64_t n = 0;
    for (std::size_t done = 0; done < count; done += 64) {
        std::uint64_t diff = a.Word(aStart + done) ^ b.Word(bStart + done);
        const std::size_t left = count - done;
        if (left < 64) diff &= (std::uint64_t{1} << left) - 1;
        n += std::bitset<64>(diff).count();
    }
    return n;
}

struct Alignment {
    bool found = false;
    long latency = 0;
    bool inverted = false;
};

// The best alignment of received[start, start + count) over latencies lowest .. highest.
Alignment AlignWindow(const PackedBits& sent, const PackedBits& received, std::size_t start, std::size_t count,
                      long maxLatency) {
    const long s = static_cast<long>(start);
    const long lowest = std::max(-maxLatency, s + static_cast<long>(count) - static_cast<long>(sent.Size()));
    const long highest = std::min(maxLatency, s);
    Alignment best;
    std::uint64_t bestErrors = 0;
    for (long latency = lowest; latency <= highest; ++latency) {
        const std::uint64_t e = Mismatches(received, start, sent, static_cast<std::size_t>(s - latency), count);
        const bool inverted = count - e < e;
        const std::uint64_t errors = inverted ? count - e : e;
        const bool better = !best.found || errors < bestErrors ||
                            (errors == bestErrors && std::labs(latency) < std::labs(best.latency));
        if (better) {
            best = {true, latency, inverted};
            bestErrors = errors;
        }
    }
    if (best.found && static_cast<double>(bestErrors) > kMaxWindowMismatch * static_cast<double>(count))
        best.found = false;
    return best;
}

}  // namespace

std::vector<int> SampleDecisions(const std::vector<double>& decisionWave, double sampleInterval,
                                 const std::vector<double>& risingEdgeTimes, double fromTime) {
    if (!(sampleInterval > 0.0)) throw std::runtime_error("the sample interval must be positive");
    std::vector<int> decisions;
    decisions.reserve(risingEdgeTimes.size());
    for (double t : risingEdgeTimes) {
        if (!(t >= fromTime)) continue;
        const double index = std::round(t / sampleInterval);
        if (!(index >= 0.0) || index >= static_cast<double>(decisionWave.size())) continue;
        const double d = decisionWave[static_cast<std::size_t>(index)];
        if (d > 0.0)
            decisions.push_back(1);
        else if (d < 0.0)
            decisions.push_back(0);
    }
    return decisions;
}

BerResult CountBitErrors(const std::vector<int>& sent, const std::vector<int>& received, std::uint64_t ignoreFirst,
                         long maxLatency) {
    BerResult result;
    const std::size_t total = received.size();
    const std::size_t first = static_cast<std::size_t>(std::min<std::uint64_t>(ignoreFirst, total));
    result.ignoredBits = first;
    const std::size_t span = total - first;
    if (span < kMinWindowBits || sent.size() < kMinWindowBits) return result;

    const long everyLatency = static_cast<long>(sent.size() + total);
    const long limit = maxLatency < 0 ? everyLatency : std::min(maxLatency, everyLatency);
    const PackedBits s(sent), r(received);
    const std::size_t count = std::min(kWindowBits, span);

    Alignment alignment;
    for (int i = 0; i < kWindowTries && !alignment.found; ++i) {
        const std::size_t start = first + (span - count) * static_cast<std::size_t>(i) / (kWindowTries - 1);
        alignment = AlignWindow(s, r, start, count, limit);
    }
    if (!alignment.found) return result;

    result.aligned = true;
    result.latencyBits = alignment.latency;
    result.inverted = alignment.inverted;
    // Received bit k meets sent bit k - L: k from max(first, L) to min(total, sent + L).
    const long begin = std::max(static_cast<long>(first), alignment.latency);
    const long end = std::min(static_cast<long>(total), static_cast<long>(sent.size()) + alignment.latency);
    if (end <= begin) return result;
    const std::size_t compared = static_cast<std::size_t>(end - begin);
    const std::uint64_t mismatches =
        Mismatches(r, static_cast<std::size_t>(begin), s, static_cast<std::size_t>(begin - alignment.latency), compared);
    result.bitsCompared = compared;
    result.errors = alignment.inverted ? compared - mismatches : mismatches;
    return result;
}

}  // namespace ksim
