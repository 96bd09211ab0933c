#pragma once

// What one run of the link simulator produces: filled by the driver and the analysis, read by the report
// writers (JSON summary, plots, HTML).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rx/AdaptTraceFile.h"
#include "rx/KelvaneRx.h"
#include "sim/EyeStatistics.h"

namespace ksim {

struct ChannelInfo {
    std::string kind;            // "analytic", "touchstone" or "impulse-file"
    std::string source;          // file path, or a description of the built-in channel
    double lossDbAtNyquist = 0;  // insertion loss at half the bit rate [dB], positive
    double dcGain = 0;           // sum of the impulse response
    double sampleInterval = 0;   // [s]
    std::size_t delaySamples = 0;         // flight delay trimmed off the front [samples]
    std::vector<double> pulseResponse;    // response to one bit of +1 V, per sample [V]
    std::vector<double> lossFrequencyHz;  // insertion loss of the impulse response: frequencies [Hz]
    std::vector<double> lossDb;           // and the loss at each [dB], positive
    double dataEndHz = 0;                 // highest frequency of measured data (Touchstone), 0 for other kinds
    double extraLossDbAtNyquist = 0;      // analytic loss added on top of the channel (--extra-loss) [dB]
};

struct BerResult {
    bool aligned = false;        // a latency and polarity were found that explain the decisions
    long latencyBits = 0;        // received bit k is sent bit k - latencyBits
    bool inverted = false;       // decisions are the complement of the sent bits
    std::uint64_t ignoredBits = 0;   // decisions before counting started (adaptation, settling)
    std::uint64_t bitsCompared = 0;
    std::uint64_t errors = 0;
    double Ber() const { return bitsCompared ? static_cast<double>(errors) / static_cast<double>(bitsCompared) : 0.0; }
    // Cycle slips: where the decisions move to a new latency the count follows them (re-alignment) and the
    // bits next to each move are counted apart, so that a slipping link still gets a BER.
    std::uint64_t realignments = 0;  // times the latency moved within the counted span
    std::uint64_t slipBits = 0;      // bits next to a latency move, left out of bitsCompared
    std::uint64_t slipErrors = 0;    // errors among them
    std::vector<long> latencies;     // latency of each segment between moves [bits], the first 100
    std::vector<std::uint64_t> segmentBits, segmentErrors;  // bits and errors of each segment, the first 100
    // Without an alignment: the share of decisions that differ from the sent bits at the best latency and
    // polarity tried (about 0.5 for decisions unrelated to the data), 0 when nothing could be compared.
    double bestMismatch = 0;
    std::uint64_t bitsAsked = 0;     // bits the run was asked to count (0: all after the start)
};

// The decisions as a pattern, whatever the data: a DFE that oscillates by itself makes every decision the
// opposite of the one before.
struct DecisionPattern {
    std::uint64_t decisions = 0;     // decisions looked at (the counted ones)
    double alternatingShare = 0;     // share of them that differ from the decision before
    bool oscillating = false;        // the last few thousand decisions or more nearly all alternate
    std::uint64_t oscillationFromBit = 0;  // decision (from the first of the run) where that began
};

struct ClockAnalysis {
    std::size_t edges = 0;
    bool locked = false;
    double lockTimeS = 0;        // time after which the period stays within the lock tolerance [s]
    double meanPeriodUi = 0;     // mean period after lock [UI]
    double rmsJitterUi = 0;      // RMS deviation of the edge times from a fitted ideal grid after lock [UI]
    double frequencyOffsetPpm = 0;  // mean period after lock against the bit time [ppm]
    std::size_t lockEdge = 0;       // index of the edge at lockTimeS
    double peakToPeakJitterUi = 0;  // spread of the edge times around the fitted ideal grid after lock [UI]
    bool stuck = false;             // on the grid from the first edge with almost no jitter: the loop never
                                    // moved from where it started, so it has not acquired the data's phase
    std::vector<double> timesS;     // edge times [s]
    std::vector<double> periodsUi;  // time from the previous edge [UI], one per edge after the first
    std::vector<double> phaseUi;    // edge time against the ideal bit grid, wrapped to -0.5..0.5 [UI]

    // Over all edges, lock or not: (last - first) / (edges - 1) [UI], and against the bit time [ppm].
    double overallPeriodUi = 0;
    double overallOffsetPpm = 0;
    // The clock against the data it recovers (the sent bits' grid, the transmitter's offset included).
    // Lock: from lockEdge on, the phase against the data stays within ±phaseToleranceUi of its centre
    // for at least minimum lock edges; locked, lockEdge, lockTimeS, meanPeriodUi and frequencyOffsetPpm
    // above are that judgement.
    double dataPeriodUi = 1;        // the data's unit interval over the bit time
    double phaseToleranceUi = 0;    // [UI]
    double lockPhaseUi = 0;         // mean locked phase against the data grid, wrapped to 0..1 [UI]
    double dataOffsetPpm = 0;       // mean period over all edges against the data's unit interval [ppm]
    double driftUi = 0;             // phase moved against the data from the first edge to the last [UI]
    std::uint64_t slips = 0;        // whole unit intervals the phase moved through (each way counts)
    std::vector<double> slipTimesS; // time of each slip, the first 1000 [s]
};

struct EyeAnalysis {
    int phaseBins = 0;           // columns: 2 UI across, centred on the sampling point
    int levelBins = 0;           // rows
    double levelMinV = 0, levelMaxV = 0;
    std::vector<std::uint32_t> density;  // levelBins x phaseBins, row 0 at levelMaxV
    std::size_t traces = 0;      // unit intervals folded in
    double heightV = 0;          // inner eye height at the sampling point [V]
    double widthUi = 0;          // inner eye width at the decision threshold [UI]
    double samplingPhaseUi = 0;  // sampling point relative to the falling clock edge [UI]
    double heightUpperV = 0, heightLowerV = 0;  // the inner eye's top and bottom at the sampling point [V]
    double widthLeftUi = 0, widthRightUi = 0;   // the inner eye's edges at the threshold, from the sampling point [UI]
    std::uint64_t clockNotHeldUi = 0;  // counted unit intervals left out because the clock did not hold the data's phase
};

// How long the run went: by default until the adaptation completed, then bitsToCount bits counted, never
// more than maxBits simulated.
struct RunLength {
    bool untilAdapted = false;       // the length followed the adaptation (not a fixed count)
    std::uint64_t bitsToCount = 0;   // bits to count after the adaptation
    std::uint64_t maxBits = 0;       // cap on the simulated bits
    bool capHit = false;             // the cap ended the run before bitsToCount bits were counted
    std::string capNote;             // one line saying so, empty otherwise
};

struct AdaptationStep {
    int vgaGain = 0, eqHighGain = 0;
    int tableIndex = 0;          // equaliser table index of the measurement
    int ctleColumn = 0;          // response bank column (the trace's CTLE field)
    double taps[kelvane_rx::kDfeTaps] = {};  // DFE taps [V]
    double heo = 0, veo = 0;     // [UI], [V]
    double Merit() const { return EyeMerit(heo, veo); }
};

struct AdaptationSummary {
    std::vector<AdaptationStep> steps;
    bool complete = false;       // the sweep and the DFE search have both ended
    int chosenTableIndex = -1;
    int chosenColumn = -1;
    double finalTaps[kelvane_rx::kDfeTaps] = {};
    double completedAtS = 0;     // simulated time at which the last step's measurement ended [s], 0 if unknown
    int finalStep = -1;          // index in steps of the measurement whose step left the final settings, -1 if none
    bool replayConsistent = true;    // the logged lines follow the adaptation rules as replayed
    std::string replayNote;          // the first disagreement when they do not
};

// One model parameter as the parameter string asks for it and as the model applies it.
struct AppliedParameter {
    std::string name;            // e.g. "c1", or "EQ_TABLE.3" for a list element
    std::string requested;       // the value as given, or "" when the string does not give it
    double applied = 0;          // the value the model works with
    bool differs = false;        // the model applies something other than what was asked
};

struct RunReport {
    std::string toolVersion;
    std::string txLibrary, rxLibrary;
    std::string txParameters, rxParameters;      // the parameter strings handed to AMI_Init
    std::string txInitMessage, rxInitMessage;    // texts AMI_Init returned
    std::vector<AppliedParameter> txApplied, rxApplied;  // every parameter, as asked and as applied
    std::string commandLine;                     // the simulator's command line, shell-quoted
    double bitTime = 0, sampleInterval = 0;      // [s]
    int samplesPerBit = 0;
    std::string prbs;                            // e.g. "PRBS-15, seed 1"
    std::uint64_t bits = 0;
    double noiseRmsV = 0;
    double txPpm = 0;                            // transmitter bit clock offset [ppm]
    bool txFfeKnown = false;                     // the transmitter's FFE weights below were worked out
    double txFfeWeights[3] = {};                 // pre-cursor, main and post-cursor weights as applied
    std::size_t blockSize = 0;
    ChannelInfo channel;
    BerResult ber;
    ClockAnalysis clock;
    EyeAnalysis eye;
    BathtubAnalysis bathtub;
    JitterAnalysis jitter;
    AdaptationSummary adaptation;
    RunLength runLength;
    DecisionPattern decisionPattern;
    double wallSeconds = 0;
    double samplesPerSecond = 0;
    std::vector<std::string> warnings;
    std::vector<std::string> diagnoses;          // what the data show went wrong, in plain words
};

}  // namespace ksim
