#include "sim/analysis/Ber.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <stdexcept>

namespace ksim {

namespace {

constexpr std::size_t kWindowBits = 256;
constexpr std::size_t kMinWindowBits = 64;
constexpr int kWindowTries = 8;
constexpr double kMaxWindowMismatch = 0.2;
constexpr std::size_t kCountChunkBits = std::size_t{1} << 20;  // bits compared per read  // a wrong alignment of random bits mismatches about half

// Bits packed 64 to a word, so that a stretch of 64 bits at any position is read with two loads.
class PackedBits {
public:
    // Bits [first, first + count) of the series, bit first at place 0.
    PackedBits(const Series<std::uint8_t>& bits, std::size_t first, std::size_t count)
        : size_(count), words_(count / 64 + 2, 0) {
        std::vector<std::uint8_t> values(count);
        if (count > 0) bits.Read(first, count, values.data());
        for (std::size_t i = 0; i < count; ++i)
            if (values[i] != 0) words_[i >> 6] |= std::uint64_t{1} << (i & 63);
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
Alignment AlignWindow(const Series<std::uint8_t>& sentBits, const Series<std::uint8_t>& receivedBits, std::size_t start,
                      std::size_t count, long maxLatency) {
    const long s = static_cast<long>(start);
    const long lowest = std::max(-maxLatency, s + static_cast<long>(count) - static_cast<long>(sentBits.Size()));
    const long highest = std::min(maxLatency, s);
    Alignment best;
    if (lowest > highest) return best;
    // Sent bits s - highest .. s - lowest + count cover every latency tried.
    const std::size_t sentFirst = static_cast<std::size_t>(s - highest);
    const PackedBits sent(sentBits, sentFirst, static_cast<std::size_t>(highest - lowest) + count);
    const PackedBits received(receivedBits, start, count);
    std::uint64_t bestErrors = 0;
    for (long latency = lowest; latency <= highest; ++latency) {
        const std::uint64_t e = Mismatches(received, 0, sent, static_cast<std::size_t>(s - latency) - sentFirst, count);
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
    const std::vector<std::uint8_t> sentBits(sent.begin(), sent.end()), receivedBits(received.begin(), received.end());
    return CountBitErrors(VectorSeries<std::uint8_t>(sentBits), VectorSeries<std::uint8_t>(receivedBits), ignoreFirst,
                          maxLatency);
}

BerResult CountBitErrors(const Series<std::uint8_t>& sent, const Series<std::uint8_t>& received,
                         std::uint64_t ignoreFirst, long maxLatency) {
    BerResult result;
    const std::size_t total = received.Size();
    const std::size_t first = static_cast<std::size_t>(std::min<std::uint64_t>(ignoreFirst, total));
    result.ignoredBits = first;
    const std::size_t span = total - first;
    if (span < kMinWindowBits || sent.Size() < kMinWindowBits) return result;

    const long everyLatency = static_cast<long>(sent.Size() + total);
    const long limit = maxLatency < 0 ? everyLatency : std::min(maxLatency, everyLatency);
    const std::size_t count = std::min(kWindowBits, span);

    Alignment alignment;
    for (int i = 0; i < kWindowTries && !alignment.found; ++i) {
        const std::size_t start = first + (span - count) * static_cast<std::size_t>(i) / (kWindowTries - 1);
        alignment = AlignWindow(sent, received, start, count, limit);
    }
    if (!alignment.found) return result;

    result.aligned = true;
    result.latencyBits = alignment.latency;
    result.inverted = alignment.inverted;
    // Received bit k meets sent bit k - L: k from max(first, L) to min(total, sent + L).
    const long begin = std::max(static_cast<long>(first), alignment.latency);
    const long end = std::min(static_cast<long>(total), static_cast<long>(sent.Size()) + alignment.latency);
    if (end <= begin) return result;
    const std::size_t compared = static_cast<std::size_t>(end - begin);
    std::uint64_t mismatches = 0;
    for (std::size_t done = 0; done < compared; done += kCountChunkBits) {
        const std::size_t n = std::min(kCountChunkBits, compared - done);
        const std::size_t at = static_cast<std::size_t>(begin) + done;
        const PackedBits r(received, at, n), s(sent, at - static_cast<std::size_t>(alignment.latency), n);
        mismatches += Mismatches(r, 0, s, 0, n);
    }
    result.bitsCompared = compared;
    result.errors = alignment.inverted ? compared - mismatches : mismatches;
    return result;
}

}  // namespace ksim
