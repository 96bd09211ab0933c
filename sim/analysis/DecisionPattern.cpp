#include "sim/analysis/DecisionPattern.h"

namespace ksim {

DecisionPattern FindDecisionPattern(const Series<std::uint8_t>& decisions, std::size_t from) {
    DecisionPattern p;
    if (decisions.Size() <= from + 1) return p;
    std::uint64_t alternations = 0, chunkAlternations = 0, chunkBits = 0;
    std::size_t runFrom = decisions.Size();  // start of the alternating chunks reaching the present one
    std::uint8_t previous = 0;
    ForEachValue(decisions, from, [&](std::size_t k, std::uint8_t d) {
        if (k > from) {
            const bool alternates = (d != 0) != (previous != 0);
            alternations += alternates;
            chunkAlternations += alternates;
        }
        previous = d;
        if (++chunkBits < kPatternChunkBits && k + 1 < decisions.Size()) return;
        const bool oscillating = static_cast<double>(chunkAlternations) >= kOscillatingShare * static_cast<double>(chunkBits);
        if (!oscillating) runFrom = decisions.Size();
        else if (runFrom == decisions.Size()) runFrom = k + 1 - chunkBits;
        chunkBits = chunkAlternations = 0;
    });
    p.decisions = decisions.Size() - from;
    p.alternatingShare = static_cast<double>(alternations) / static_cast<double>(p.decisions - 1);
    p.oscillating = runFrom < decisions.Size() && decisions.Size() - runFrom >= kOscillationMinBits;
    p.oscillationFromBit = p.oscillating ? runFrom : 0;
    return p;
}

}  // namespace ksim
