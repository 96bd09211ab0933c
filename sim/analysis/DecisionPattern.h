#pragma once

// The decisions as a pattern, whatever the data: how often each differs from the one before.

#include <cstddef>

#include "sim/SimResults.h"
#include "sim/analysis/Series.h"

namespace ksim {

constexpr std::size_t kPatternChunkBits = 1024;         // alternation judged per chunk of decisions
constexpr double kOscillatingShare = 0.9;               // a chunk this alternating or more is oscillating
constexpr std::size_t kOscillationMinBits = 4 * 1024;   // an oscillation lasts at least this long, to the end

// decisions: 0 or 1 each; from: the first decision looked at (the count start).
// alternatingShare: share of decisions from + 1 on that differ from the one before (random data: about one
// half). oscillating: the chunks of kPatternChunkBits decisions (counted from `from`) that reach the end
// alternate by kOscillatingShare or more, over at least kOscillationMinBits; oscillationFromBit is the first
// decision of those chunks (an index into the whole series).
DecisionPattern FindDecisionPattern(const Series<std::uint8_t>& decisions, std::size_t from);

}  // namespace ksim
