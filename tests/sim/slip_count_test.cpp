// Bits counted across cycle slips, and the decisions' own pattern (a DFE oscillating by itself), on
// decisions made from known sent bits.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "sim/analysis/Ber.h"
#include "sim/analysis/DecisionPattern.h"
#include "sim/analysis/Prbs.h"

using namespace ksim;

namespace {

// Received bit k is sent bit k - latency, the latency stepping to moves[i].second at received bit
// moves[i].first; inverted when asked; bits flipped at the given places.
std::vector<int> Received(const std::vector<int>& sent, std::size_t n, long latency,
                          const std::vector<std::pair<std::size_t, long>>& moves, bool inverted,
                          const std::vector<std::size_t>& flips) {
    std::vector<int> r(n);
    std::size_t next = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (next < moves.size() && k == moves[next].first) latency = moves[next++].second;
        const long j = static_cast<long>(k) - latency;  // before the first sent bit: a 0
        r[k] = (j >= 0 ? sent[static_cast<std::size_t>(j)] : 0) ^ (inverted ? 1 : 0);
    }
    for (std::size_t k : flips) r[k] ^= 1;
    return r;
}

}  // namespace

TEST(BerAcrossSlips, TheCountFollowsEachMoveAndCountsItsNeighboursApart) {
    const std::vector<int> sent = PrbsGenerator(15, 3).NextBits(40000);
    const struct Case {
        const char* what;
        long latency;
        std::vector<std::pair<std::size_t, long>> moves;
        bool inverted;
        std::vector<std::size_t> flips;         // away from the moves: counted as errors
        std::vector<long> latencies;            // segments found
    } cases[] = {
        {"no slip", 5, {}, false, {1100, 20000}, {5}},
        {"a lost bit, a gained one, two lost", 5, {{3000, 6}, {7000, 5}, {12345, 7}}, false, {1500, 9000, 30000},
         {5, 6, 5, 7}},
        {"inverted, one slip near a chunk's end", 9, {{1020 + 2000, 8}}, true, {1500}, {9, 8}},
        {"moves two chunks apart", 5, {{5000, 6}, {7100, 7}}, false, {}, {5, 6, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<int> received = Received(sent, 39000, c.latency, c.moves, c.inverted, c.flips);
        const std::uint64_t ignore = 1000;
        const BerResult r = CountBitErrors(sent, received, ignore, 64);
        ASSERT_TRUE(r.aligned);
        EXPECT_EQ(r.inverted, c.inverted);
        EXPECT_EQ(r.latencyBits, c.latency);
        EXPECT_EQ(r.realignments, c.moves.size());
        EXPECT_EQ(r.latencies, c.latencies);
        // Every counted bit is compared once, in a segment or next to a move; 64 bits next to each move.
        EXPECT_EQ(r.bitsCompared + r.slipBits, 39000u - ignore);
        EXPECT_EQ(r.slipBits, 64u * c.moves.size());
        EXPECT_EQ(r.errors, c.flips.size());
        EXPECT_EQ(r.slipErrors, 0u);
        std::uint64_t bits = 0, errors = 0;
        for (std::size_t i = 0; i < r.segmentBits.size(); ++i) bits += r.segmentBits[i], errors += r.segmentErrors[i];
        EXPECT_EQ(bits, r.bitsCompared);
        EXPECT_EQ(errors, r.errors);
    }
}

TEST(BerAcrossSlips, DecisionsUnrelatedToTheDataGetAMismatchNearOneHalf) {
    const std::vector<int> sent = PrbsGenerator(15, 1).NextBits(30000);
    std::vector<int> alternating(30000), stuck(30000, 1);
    for (std::size_t k = 0; k < alternating.size(); ++k) alternating[k] = static_cast<int>(k % 2);
    for (const std::vector<int>* received : {&alternating, &stuck}) {
        const BerResult r = CountBitErrors(sent, *received, 1000, 64);
        EXPECT_FALSE(r.aligned);
        EXPECT_EQ(r.bitsCompared, 0u);
        EXPECT_NEAR(r.bestMismatch, 0.5, 0.02);
    }
    // A random burst that no nearby latency explains is counted as errors, not as a slip.
    std::mt19937 rng(9);
    std::vector<int> burst = Received(sent, 29000, 4, {}, false, {});
    for (std::size_t k = 10000; k < 10600; ++k) burst[k] = static_cast<int>(rng() & 1u);
    const BerResult r = CountBitErrors(sent, burst, 0, 64);
    EXPECT_EQ(r.realignments, 0u);
    EXPECT_GT(r.errors, 200u);
    EXPECT_LT(r.errors, 400u);
}

TEST(DecisionPatternTest, AlternationShareAndWhereAnOscillationBegins) {
    const std::vector<int> prbs = PrbsGenerator(15, 1).NextBits(60000);
    std::vector<std::uint8_t> data(prbs.begin(), prbs.end());
    // The data for 20000 decisions, then every decision the opposite of the one before.
    std::vector<std::uint8_t> oscillating = data;
    for (std::size_t k = 20000; k < oscillating.size(); ++k) oscillating[k] = static_cast<std::uint8_t>(k % 2);
    // Alternating for only 3000 decisions at the end: too short to call an oscillation.
    std::vector<std::uint8_t> brief = data;
    for (std::size_t k = 57000; k < brief.size(); ++k) brief[k] = static_cast<std::uint8_t>(k % 2);
    const struct Case {
        const char* what;
        const std::vector<std::uint8_t>* decisions;
        std::size_t from;
        double share;
        bool oscillating;
        std::size_t fromBit;
    } cases[] = {
        {"data", &data, 0, 0.5, false, 0},
        {"oscillating from 20000", &oscillating, 0, (0.5 * 20000 + 40000) / 60000, true, 20480},
        {"counted from 30000", &oscillating, 30000, 1.0, true, 30000},
        {"brief", &brief, 0, (0.5 * 57000 + 3000) / 60000, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DecisionPattern p = FindDecisionPattern(VectorSeries<std::uint8_t>(*c.decisions), c.from);
        EXPECT_EQ(p.decisions, c.decisions->size() - c.from);
        EXPECT_NEAR(p.alternatingShare, c.share, 0.01);
        EXPECT_EQ(p.oscillating, c.oscillating);
        EXPECT_EQ(p.oscillationFromBit, c.fromBit);
    }
    EXPECT_EQ(FindDecisionPattern(VectorSeries<std::uint8_t>(data), 60000).decisions, 0u);
}
