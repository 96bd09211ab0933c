#pragma once

// The whole judgement of a run (clock, eye, BER) made while the run goes, block by block, so that memory
// stays the same however many bits are simulated: clock times and decisions go to spill files on disk, the
// eye keeps only the samples its traces still need, and the sent bits are generated again when counted.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimResults.h"
#include "sim/analysis/ClockHold.h"
#include "sim/analysis/Eye.h"
#include "sim/analysis/EyeStatisticsCollector.h"
#include "sim/analysis/SpillFile.h"

namespace ksim {

struct LinkAnalysisSettings {
    double bitTime = 0;              // [s], > 0
    double sampleInterval = 0;       // [s], > 0
    int prbsOrder = 15;              // the sent bits: PRBS order, seed and count
    std::uint32_t seed = 1;
    std::uint64_t bits = 0;          // may be set later with SetSentBits
    double dataUnitInterval = 0;     // the sent bits' unit interval [s]; 0: the bit time
    long maxLatency = 64;            // latencies searched when aligning [bits]
    std::string spillFolder;         // where the spill files live; empty: the system's temporary folder
    EyeOptions eye;                  // the eye's bins and level margin
    std::size_t eyeRangeSamples = std::size_t{1} << 21;  // samples that set the eye's level range
    std::size_t plotEdges = 200000;  // clock edges kept for the plots at most
};

class LinkAnalysis {
public:
    explicit LinkAnalysis(const LinkAnalysisSettings& settings);

    // Bits and eye traces count from this time [s] on; a later call starts the count afresh. Call it before
    // the block that holds the time.
    void SetCountStart(double time);
    double CountStart() const { return countStart_; }

    // Only the first count decisions from the count start are counted, and the eye folds the unit intervals
    // up to the last of them. Call it before the block that brings them.
    void SetCountLimit(std::uint64_t count) { countLimit_ = count; }
    bool CountComplete() const { return CountedDecisions() >= countLimit_; }

    // The number of sent bits, when it is known only at the end of the run. Call it before Finish.
    void SetSentBits(std::uint64_t bits) { settings_.bits = bits; }

    // One block: n samples of the equalised signal and of the decisions (the wave as the receivers return
    // it), and the falling (equalised receiver) and rising (decision receiver) clock times of the block.
    void AddBlock(const double* equalised, const double* decisions, std::size_t n, const std::vector<double>& falling,
                  const std::vector<double>& rising);
    // AddBlock in its two steps, for a caller that overlaps the second with other work: a block's decisions
    // (they settle CountComplete), then the same block's equalised signal, before the next block's decisions.
    void AddDecisions(const double* decisions, std::size_t n, const std::vector<double>& rising);
    void AddEqualised(const double* equalised, std::size_t n, const std::vector<double>& falling);

    std::size_t FallingEdges() const { return falling_.Size(); }
    double FallingEdge(std::size_t index) const;  // [s], index < FallingEdges()
    const SpillFile<double>& FallingEdgeFile() const { return falling_; }
    const SpillFile<double>& RisingEdgeFile() const { return rising_; }
    std::uint64_t Decisions() const { return received_.Size(); }
    std::uint64_t CountedDecisions() const { return received_.Size() - beforeStart_; }

    // Fills report.clock, report.eye, report.ber, report.bathtub and report.jitter.
    void Finish(RunReport& report);

private:
    void Decide(double time);

    LinkAnalysisSettings settings_;
    double countStart_ = 0.0;
    std::uint64_t countLimit_ = UINT64_MAX;
    EyeFolder eye_;
    ClockHoldWindow hold_;                   // the eye folds only where the clock holds the data's phase
    std::uint64_t eyeLeftOut_ = 0;           // counted unit intervals the eye left out for that
    EyeStatisticsCollector statistics_;   // bathtubs and jitter
    SpillFile<double> falling_;
    SpillFile<double> rising_;
    SpillFile<std::uint8_t> received_;
    std::uint64_t beforeStart_ = 0;          // decisions before the count start
    std::vector<double> decisionWave_;       // the decision samples a waiting clock edge may still need
    std::uint64_t decisionWaveStart_ = 0;    // index of decisionWave_[0]
    std::vector<double> waitingEdges_;       // rising edges whose sample has not come yet
};

}  // namespace ksim
