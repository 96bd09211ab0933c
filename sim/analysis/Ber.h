#pragma once

// Bit error counting: decisions read from the receiver's decision output at its rising clock edges, then
// aligned to the sent bits by latency and polarity.

#include <cstdint>
#include <vector>

#include "sim/SimResults.h"
#include "sim/analysis/Series.h"

namespace ksim {

// The decision of each rising clock edge at or after fromTime [s]: the decision output (+0.5 / -0.5, 0.0
// before the first decision) takes its new value at the sample of the rising edge itself, so the decision
// is the wave at sample round(t / sampleInterval). Gives 1 for a positive and 0 for a negative value; edges
// whose sample is 0.0 (no decision yet) or lies outside the wave are skipped.
// sampleInterval [s], > 0 (throws std::runtime_error otherwise); risingEdgeTimes [s], increasing.
std::vector<int> SampleDecisions(const std::vector<double>& decisionWave, double sampleInterval,
                                 const std::vector<double>& risingEdgeTimes, double fromTime);

// Compares the received decisions with the sent bits. Received bit k is taken as sent bit k - L, possibly
// inverted; L (the latency) and the polarity are searched over |L| <= maxLatency (a negative maxLatency
// searches every latency at which the bits overlap).
//
// Alignment: a window of 256 received bits (fewer when fewer are left, at least 64) starting at ignoreFirst
// is compared at every latency and both polarities; the alignment with the fewest mismatches wins (ties:
// smallest |L|, then true polarity), provided it mismatches at most a fifth of the window. When the first
// window finds none (a burst of errors), up to seven later windows spread over the counted span are tried.
//
// Counting: every received bit k >= ignoreFirst whose sent bit k - L exists. Bits are 0 or 1 (any non-zero
// value counts as 1). Without an alignment, aligned is false and nothing is counted; bestMismatch is then
// the share of the counted bits that differ from their sent bits at the first window's best latency and
// polarity (about one half for decisions unrelated to the data).
//
// Slips. A clock that gains or loses a period moves the latency. The count goes in chunks of 1024 bits;
// when the 256 bits after a chunk mismatch by more than a fifth at the present latency but by at most a
// fifth at a latency within 16 of it (the fewest mismatches wins, ties to the later-searched larger
// latency), the move is placed where the old latency before and the new one after leave the fewest
// mismatches. When that lies within the chunk, the count follows: the 32 bits either side of the move
// (fewer before it when it lies at the chunk's start) are counted apart (slipBits, slipErrors),
// realignments counts the move, and the segment between moves is recorded (latencies, segmentBits,
// segmentErrors, the first 100). The polarity is kept. A burst of errors that no nearby latency explains is
// counted as errors.
BerResult CountBitErrors(const std::vector<int>& sent, const std::vector<int>& received, std::uint64_t ignoreFirst,
                         long maxLatency);

// The same on bit records read in ranges (0 or 1 per element), for runs too long to hold in memory.
BerResult CountBitErrors(const Series<std::uint8_t>& sent, const Series<std::uint8_t>& received,
                         std::uint64_t ignoreFirst, long maxLatency);

}  // namespace ksim
