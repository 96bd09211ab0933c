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
// Following slips: the count goes in chunks, each checked against the window after it; a window that no
// longer matches at the present latency but does at one nearby means the decisions moved within the chunk.
constexpr std::size_t kChunkBits = 1024;
constexpr long kSlipSearchBits = 16;        // latencies searched either side of the present one
constexpr std::size_t kSlipGuardBits = 32;  // bits either side of a move counted apart
constexpr std::size_t kSegmentsKept = 100;
constexpr std::size_t kCountChunk = std::size_t{1} << 16;  // bits read at once otherwise

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
                      std::size_t count, long maxLatency, double* bestShare = nullptr) {
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
    if (bestShare != nullptr && best.found) *bestShare = static_cast<double>(bestErrors) / static_cast<double>(count);
    if (best.found && static_cast<double>(bestErrors) > kMaxWindowMismatch * static_cast<double>(count))
        best.found = false;
    return best;
}

// Received bits [first, first + count) and the sent bits that latencies low .. high meet, read once.
class Stretch {
public:
    Stretch(const Series<std::uint8_t>& sent, const Series<std::uint8_t>& received, std::size_t first, std::size_t count,
            long low, long high, bool inverted)
        : first_(static_cast<long>(first)), inverted_(inverted), received_(count) {
        received.Read(first, count, received_.data());
        sentFirst_ = std::max(0L, first_ - high);
        const long sentEnd = std::min(static_cast<long>(sent.Size()), first_ + static_cast<long>(count) - low);
        if (sentEnd > sentFirst_) {
            sent_.resize(static_cast<std::size_t>(sentEnd - sentFirst_));
            sent.Read(static_cast<std::size_t>(sentFirst_), sent_.size(), sent_.data());
        }
    }

    // Received bit k meets sent bit k - latency: -1 when that sent bit is not there, else 1 for a mismatch.
    int Mismatch(long k, long latency) const {
        const long j = k - latency - sentFirst_;
        if (j < 0 || j >= static_cast<long>(sent_.size())) return -1;
        return ((received_[static_cast<std::size_t>(k - first_)] != 0) != (sent_[static_cast<std::size_t>(j)] != 0)) !=
               inverted_;
    }

    // Bits compared and mismatches over received bits [from, to).
    void Count(long from, long to, long latency, std::uint64_t& bits, std::uint64_t& errors) const {
        for (long k = from; k < to; ++k) {
            const int m = Mismatch(k, latency);
            if (m < 0) continue;
            ++bits;
            errors += static_cast<std::uint64_t>(m);
        }
    }

    double Share(long from, long to, long latency) const {
        std::uint64_t bits = 0, errors = 0;
        Count(from, to, latency, bits, errors);
        return bits ? static_cast<double>(errors) / static_cast<double>(bits) : 1.0;
    }

private:
    long first_, sentFirst_ = 0;
    bool inverted_;
    std::vector<std::uint8_t> received_, sent_;
};

void CloseSegment(BerResult& r, long latency, std::uint64_t bits, std::uint64_t errors) {
    if (r.latencies.size() >= kSegmentsKept) return;
    r.latencies.push_back(latency);
    r.segmentBits.push_back(bits);
    r.segmentErrors.push_back(errors);
}

// The share of received bits [from, to) that differ from their sent bits at one alignment.
double MismatchShare(const Series<std::uint8_t>& sent, const Series<std::uint8_t>& received, std::size_t from,
                     std::size_t to, const Alignment& a) {
    std::uint64_t bits = 0, errors = 0;
    for (std::size_t at = from; at < to; at += kCountChunk) {
        const std::size_t n = std::min(kCountChunk, to - at);
        const Stretch stretch(sent, received, at, n, a.latency, a.latency, a.inverted);
        stretch.Count(static_cast<long>(at), static_cast<long>(at + n), a.latency, bits, errors);
    }
    return bits ? static_cast<double>(errors) / static_cast<double>(bits) : 0.0;
}

// Counts received bits [begin, end) from the given alignment on, following the latency where it moves.
void CountFollowingSlips(const Series<std::uint8_t>& sent, const Series<std::uint8_t>& received, long begin, long end,
                         const Alignment& alignment, BerResult& r) {
    long latency = alignment.latency;
    std::uint64_t segmentBits = 0, segmentErrors = 0;
    for (long k = begin; k < end;) {
        const long chunkEnd = std::min(end, k + static_cast<long>(kChunkBits));
        const long lookEnd = std::min(end, chunkEnd + static_cast<long>(kWindowBits));
        const Stretch stretch(sent, received, static_cast<std::size_t>(k), static_cast<std::size_t>(lookEnd - k),
                              latency - kSlipSearchBits, latency + kSlipSearchBits, alignment.inverted);
        long split = chunkEnd, moved = latency;
        if (lookEnd - chunkEnd >= static_cast<long>(kMinWindowBits) &&
            stretch.Share(chunkEnd, lookEnd, latency) > kMaxWindowMismatch) {
            double best = kMaxWindowMismatch;
            for (long l = latency - kSlipSearchBits; l <= latency + kSlipSearchBits; ++l) {
                const double share = l == latency ? 1.0 : stretch.Share(chunkEnd, lookEnd, l);
                if (share <= best) {
                    best = share;
                    moved = l;
                }
            }
            if (moved != latency) {
                // Where the move lies: the place that leaves the fewest mismatches, the old latency before it
                // and the new one after.
                long errorsHere = 0, fewest = 0;
                for (long q = k; q < lookEnd; ++q) errorsHere += std::max(0, stretch.Mismatch(q, moved));
                fewest = errorsHere;
                split = k;
                for (long q = k; q < lookEnd; ++q) {
                    errorsHere += std::max(0, stretch.Mismatch(q, latency)) - std::max(0, stretch.Mismatch(q, moved));
                    if (errorsHere < fewest) {
                        fewest = errorsHere;
                        split = q + 1;
                    }
                }
            }
        }
        if (split >= chunkEnd) {  // no move within this chunk
            stretch.Count(k, chunkEnd, latency, segmentBits, segmentErrors);
            k = chunkEnd;
            continue;
        }
        const long guardFrom = std::max(k, split - static_cast<long>(kSlipGuardBits));
        const long guardTo = std::min(lookEnd, split + static_cast<long>(kSlipGuardBits));
        stretch.Count(k, guardFrom, latency, segmentBits, segmentErrors);
        stretch.Count(guardFrom, split, latency, r.slipBits, r.slipErrors);
        stretch.Count(split, guardTo, moved, r.slipBits, r.slipErrors);
        r.bitsCompared += segmentBits;
        r.errors += segmentErrors;
        CloseSegment(r, latency, segmentBits, segmentErrors);
        segmentBits = segmentErrors = 0;
        ++r.realignments;
        latency = moved;
        stretch.Count(guardTo, chunkEnd, latency, segmentBits, segmentErrors);
        k = std::max(chunkEnd, guardTo);
    }
    r.bitsCompared += segmentBits;
    r.errors += segmentErrors;
    CloseSegment(r, latency, segmentBits, segmentErrors);
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

    Alignment alignment, firstTry;
    double firstShare = -1.0;
    for (int i = 0; i < kWindowTries && !alignment.found; ++i) {
        const std::size_t start = first + (span - count) * static_cast<std::size_t>(i) / (kWindowTries - 1);
        alignment = AlignWindow(sent, received, start, count, limit, i == 0 ? &firstShare : nullptr);
        if (i == 0) firstTry = alignment;
    }
    if (!alignment.found) {
        // Decisions unrelated to the data still get a figure: their mismatch at the first window's best
        // latency and polarity, over the whole counted span.
        if (firstShare >= 0.0) result.bestMismatch = MismatchShare(sent, received, first, total, firstTry);
        return result;
    }

    result.aligned = true;
    result.latencyBits = alignment.latency;
    result.inverted = alignment.inverted;
    // Received bit k meets sent bit k - L: k from max(first, L) to min(total, sent + L).
    const long begin = std::max(static_cast<long>(first), alignment.latency);
    const long end = std::min(static_cast<long>(total), static_cast<long>(sent.Size()) + alignment.latency);
    if (end <= begin) return result;
    CountFollowingSlips(sent, received, begin, end, alignment, result);
    return result;
}

}  // namespace ksim
