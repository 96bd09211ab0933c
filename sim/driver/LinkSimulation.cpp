#include "sim/driver/LinkSimulation.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

#include "rx/KelvaneRx.h"
#include "sim/host/AmiLibrary.h"
#include "tx/KelvaneTx.h"
#include "tx/tx_fir_new.h"
#include "sim/analysis/AdaptationTrace.h"
#include "sim/analysis/Diagnoses.h"
#include "rx/AdaptTraceFile.h"
#include "sim/analysis/LinkAnalysis.h"
#include "sim/analysis/Prbs.h"
#include "sim/channel/Channel.h"
#include "sim/channel/MixedMode.h"
#include "sim/channel/OverlapAddConvolver.h"
#include "sim/driver/ClockCapacity.h"
#include "sim/driver/InstanceThread.h"
#include "sim/driver/ParameterStrings.h"
#include "sim/driver/Progress.h"
#include "sim/driver/ScopedDirectory.h"
#include "sim/driver/TraceFollower.h"
#include "sim/report/WaveformCsv.h"

namespace ksim {

namespace {

// The transmitter's FFE taps are this many samples apart, whatever the sample interval.
// Unit intervals after the last adaptation step before bits are counted, so that the last step's taps act.
constexpr double kSettleAfterAdaptationUi = 200.0;
constexpr std::size_t kConvolverBlock = 4096;  // [samples]
// Measured channel data should reach this many times the Nyquist frequency.
constexpr double kBandLimitNyquists = 3.0;
// Areas of an impulse response a passive channel can have (its DC gain).
constexpr double kPlausibleDcGain[2] = {0.05, 1.5};
// The BER counter needs at least this many decisions to find the alignment.
constexpr std::uint64_t kMinCountedBits = 64;

// A user's whole receiver parameter string with the simulator's Rx_config placed first, so that it is the
// value the model finds.
std::string WithRxConfig(const std::string& parameters, int rxConfig) {
    CheckRxParameterString(parameters);
    const std::string root = kelvane_rx::kRootName;
    const auto at = parameters.find(root);
    std::string text = parameters;
    text.insert(at + root.size(), " (Rx_config " + std::to_string(rxConfig) + ")");
    return text;
}

// The model a library holds, as its AMI_Init message names it ("The IBIS-AMI model, <root>, ..." or
// "Error occurred in <root>::..."); empty when the message names none.
std::string RootNamedIn(const std::string& message) {
    const std::string lead = "The IBIS-AMI model, ";
    auto at = message.find(lead);
    if (at != std::string::npos) {
        at += lead.size();
        return message.substr(at, message.find(',', at) - at);
    }
    const std::string error = "Error occurred in ";
    at = message.find(error);
    if (at != std::string::npos) {
        at += error.size();
        return message.substr(at, message.find("::", at) - at);
    }
    return "";
}

// A library that answers AMI_Init as another model is the wrong library, whatever its file name.
void CheckModelRoot(const std::string& message, const char* expectedRoot, const std::string& option,
                    const std::string& path) {
    const std::string root = RootNamedIn(message);
    if (!root.empty() && root != expectedRoot)
        throw std::runtime_error(option + " " + path + " holds the model " + root + ", not " + expectedRoot);
}

std::string ThreeDigits(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

// What the channel's own data may hide: measured data that stop short of the band the link uses, and an
// impulse-response file whose area (DC gain) no passive channel has, which usually means wrong units.
void NoteChannel(const ChannelInfo& c, double bitTime, RunReport& report) {
    const double nyquist = 0.5 / bitTime;
    if (c.dataEndHz > 0 && c.dataEndHz < kBandLimitNyquists * nyquist)
        report.warnings.push_back("the channel data end at " + FormatNumber(std::round(c.dataEndHz / 1e7) / 100) +
                                  " GHz, below " + FormatNumber(kBandLimitNyquists) + " times the Nyquist frequency (" +
                                  FormatNumber(std::round(kBandLimitNyquists * nyquist / 1e7) / 100) +
                                  " GHz): above it the response is extrapolated, so edges look smoother than in the "
                                  "real channel");
    if (c.kind == "impulse-file" && !(c.dcGain >= kPlausibleDcGain[0] && c.dcGain <= kPlausibleDcGain[1]))
        report.warnings.push_back("the impulse response's area (its DC gain) is " + ThreeDigits(c.dcGain) +
                                  ", far from the " + FormatNumber(kPlausibleDcGain[0]) + " to " +
                                  FormatNumber(kPlausibleDcGain[1]) +
                                  " of a passive channel: check that its rows are time [s] and value [1/s]");
}

// The transmitter's FFE weights as its own equaliser works them out from the applied settings.
void WorkOutTxFfe(const std::vector<AppliedParameter>& tx, RunReport& report) {
    tx_fir_new ffe;
    ffe.cm1 = static_cast<int>(AppliedValue(tx, "cm1", 0));
    ffe.c0 = static_cast<int>(AppliedValue(tx, "c0", 0));
    ffe.c1 = static_cast<int>(AppliedValue(tx, "c1", 0));
    ffe.cm1_sign = static_cast<int>(AppliedValue(tx, "cm1_sign", 1));
    ffe.c0_sign = static_cast<int>(AppliedValue(tx, "c0_sign", 1));
    ffe.c1_sign = static_cast<int>(AppliedValue(tx, "c1_sign", 1));
    ffe.samplesPerBit = kelvane_tx::kFfeTapSpacingSamples;
    if (!ffe.Initialize()) return;
    report.txFfeKnown = true;
    report.txFfeWeights[0] = ffe.preTap;
    report.txFfeWeights[1] = ffe.mainTap;
    report.txFfeWeights[2] = ffe.postTap;
}

// The equaliser entry the receiver ends with, when its code lies outside the bank.
void NoteEqualiserEntry(const std::vector<AppliedParameter>& rx, const AdaptationSummary& a, RunReport& report) {
    if (a.chosenTableIndex < 0) return;
    const double code = AppliedValue(rx, "EQ_TABLE." + std::to_string(a.chosenTableIndex), 0);
    if (code >= 0 && code <= kelvane_rx::kEqualiserCodes - 1) return;
    report.warnings.push_back("the receiver ends with equaliser table entry " + std::to_string(a.chosenTableIndex) +
                              ", whose code " + FormatNumber(code) + " lies outside the bank's 0.." +
                              std::to_string(kelvane_rx::kEqualiserCodes - 1) + ": it acts as the bank's first response");
}

// Model messages matter to the user at once, not only at the bottom of the report.
void NoteInitMessage(const std::string& message, const char* model, RunReport& report) {
    if (message.empty()) return;
    const std::string line = std::string("the ") + model + "'s AMI_Init says: " + message;
    std::fprintf(stderr, "warning: %s\n", line.c_str());
    report.warnings.push_back(line);
}

void MakeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("cannot create directory " + path);
}

std::string AbsolutePath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) throw std::runtime_error("cannot open the directory " + path);
    return resolved;
}

long long FileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

}  // namespace

namespace {

// The receiver's adaptation settings as it applies them, for judging its trace.
AdaptationSettings SettingsOf(const std::vector<AppliedParameter>& rx) {
    AdaptationSettings settings;
    settings.ctleAdapt = AppliedValue(rx, "CTLEAdapt", 1) == 1;
    settings.dfeAdapt = AppliedValue(rx, "DFEAdapt", 1) == 1;
    settings.dfeLsb = AppliedValue(rx, "DFElsb", settings.dfeLsb);
    settings.tap1Limit = static_cast<int>(AppliedValue(rx, "DFETap1Limit", settings.tap1Limit));
    return settings;
}

// What a part of the adaptation that does not run leaves in place: the fixed equaliser entry and taps.
void FillFixedSettings(const std::vector<AppliedParameter>& rx, const AdaptationSettings& settings,
                       AdaptationSummary& adaptation) {
    if (!settings.ctleAdapt && adaptation.chosenTableIndex < 0) {
        const int index = static_cast<int>(AppliedValue(rx, "CTLE", 0));
        const int gainGroup = kelvane_rx::kEqualiserCodes *
                              static_cast<int>(AppliedValue(rx, "VGA_GAIN", 0) + 2 * AppliedValue(rx, "EQ_HIGAIN", 0));
        adaptation.chosenTableIndex = index;
        adaptation.chosenColumn = gainGroup + static_cast<int>(AppliedValue(rx, "EQ_TABLE." + std::to_string(index), 0));
    }
    if (!settings.dfeAdapt && adaptation.steps.empty()) {
        for (int i = 0; i < kelvane_rx::kDfeTaps; ++i)
            adaptation.finalTaps[i] = AppliedValue(rx, "DFEtap" + std::to_string(i + 1), 0) * settings.dfeLsb;
    }
}

// Whether the trace read so far shows the adaptation over; a line that does not parse is left to the final
// judgement, which names it.
bool AdaptationCompleteIn(const std::string& traceText, const AdaptationSettings& settings) {
    try {
        return ParseAdaptationTraceText(traceText, kAdaptTraceFileName, settings).complete;
    } catch (const std::runtime_error&) {
        return false;
    }
}

// The run ended at the cap: said at once on standard error and kept for the report.
void NoteCapHit(bool adapted, std::uint64_t counted, RunReport& report) {
    RunLength& length = report.runLength;
    length.capHit = true;
    length.capNote = "the run stopped at the cap of " + std::to_string(length.maxBits) + " bits (--max-bits) " +
                     (adapted ? "with " + std::to_string(counted) + " of the " + std::to_string(length.bitsToCount) +
                                    " bits to count counted after the adaptation"
                              : std::string("before the adaptation completed: the figures describe the bits after "
                                            "its last step so far"));
    std::fprintf(stderr, "kelvane-sim: %s\n", length.capNote.c_str());
}

void Judge(const SimOptions& o, const std::string& runFolder, LinkAnalysis& analysis, RunReport& report) {
    const AdaptationSettings settings = SettingsOf(report.rxApplied);
    const std::string tracePath = runFolder + "/rx_equalised/" + kAdaptTraceFileName;
    const double completedAt = report.adaptation.completedAtS;
    if (FileSize(tracePath) < 0)
        report.warnings.push_back("the receiver wrote no adaptation trace (adapt.txt), so the adaptation cannot be judged");
    else
        report.adaptation = ParseAdaptationTrace(tracePath, settings);
    report.adaptation.completedAtS = completedAt;
    FillFixedSettings(report.rxApplied, settings, report.adaptation);
    NoteEqualiserEntry(report.rxApplied, report.adaptation, report);
    if (!report.adaptation.complete) report.warnings.push_back("the adaptation did not complete within the simulated bits");

    analysis.Finish(report);
    DiagnosisSettings diagnosis;
    diagnosis.sweepRan = settings.ctleAdapt;
    diagnosis.tap1LimitV = settings.dfeAdapt ? settings.tap1Limit * settings.dfeLsb : 0.0;
    report.diagnoses = DiagnoseRun(report, diagnosis);
    if (report.clock.locked && report.clock.stuck)
        report.warnings.push_back(
            "the clock was not acquired: the receiver's loop never moved from where it started (RMS jitter " +
            FormatNumber(std::round(report.clock.rmsJitterUi * 1e5) / 1e5) +
            " UI). Its phase detector votes only on transitions near one phase, and with sharp edges and no frequency "
            "offset none come, so the sampling point may sit off the eye's centre. Real links always have an offset: "
            "simulate with one, e.g. --ppm 100");
    const std::uint64_t counted = analysis.CountedDecisions();
    if (counted < kMinCountedBits)
        report.warnings.push_back("no bits were left to count: " + std::to_string(counted) +
                                  " decisions came after the counting start at " +
                                  FormatNumber(analysis.CountStart() * 1e6) + " us; " +
                                  (o.ignoreBits == 0 ? "allow more bits (--max-bits)" : "simulate more bits (--bits)"));
    else if (!report.ber.aligned)
        report.warnings.push_back("the decisions could not be aligned with the sent bits");
}

// Both receivers' clock times, side by side, from the spill files.
void WriteClockTimesCsv(const std::string& path, const LinkAnalysis& analysis) {
    const SpillFile<double>& falling = analysis.FallingEdgeFile();
    const SpillFile<double>& rising = analysis.RisingEdgeFile();
    CsvWriter csv(path, {"falling_edge_s", "rising_edge_s"});
    const std::size_t rows = std::max(falling.Size(), rising.Size());
    constexpr std::size_t kChunk = 1 << 16;
    std::vector<double> f(kChunk), r(kChunk);
    for (std::size_t at = 0; at < rows; at += kChunk) {
        const std::size_t n = std::min(kChunk, rows - at);
        const std::size_t nf = at < falling.Size() ? std::min(n, falling.Size() - at) : 0;
        const std::size_t nr = at < rising.Size() ? std::min(n, rising.Size() - at) : 0;
        if (nf > 0) falling.Read(at, nf, f.data());
        if (nr > 0) rising.Read(at, nr, r.data());
        for (std::size_t i = 0; i < n; ++i) csv.AppendRows({i < nf ? &f[i] : nullptr, i < nr ? &r[i] : nullptr}, 1);
    }
    csv.Finish();
}

}  // namespace

void RunLink(const SimOptions& o, const std::string& runFolder, RunReport& report) {
    const double dt = o.bitTime / o.samplesPerBit;
    report.bitTime = o.bitTime;
    report.sampleInterval = dt;
    report.samplesPerBit = o.samplesPerBit;
    const bool untilAdapted = o.ignoreBits == 0;
    report.runLength.untilAdapted = untilAdapted;
    report.runLength.bitsToCount = untilAdapted ? o.bits : o.bits - o.ignoreBits;
    report.runLength.maxBits = untilAdapted ? o.maxBits : o.bits;
    report.txPpm = o.ppm;
    report.noiseRmsV = o.noiseRms;
    report.blockSize = o.blockSize;
    report.prbs = "PRBS-" + std::to_string(o.prbsOrder) + ", seed " + std::to_string(o.seed);
    if (o.samplesPerBit != kelvane_tx::kFfeTapSpacingSamples)
        report.warnings.push_back(
            "the transmitter's equaliser is wrong at " + std::to_string(o.samplesPerBit) +
            " samples per bit: its taps are 32 samples apart, one unit interval only at 32 samples per bit, so "
            "this run's eye, BER, latency and polarity do not describe the link; use --samples-per-bit 32");

    const AmiLibrary tx(o.txLibrary);
    const AmiLibrary rx(o.rxLibrary);
    report.txLibrary = tx.path();
    report.rxLibrary = rx.path();
    if (!o.txParameters.empty()) CheckTxParameterString(o.txParameters);
    report.txParameters = o.txParameters.empty() ? TxParameterString(o.txOverrides) : o.txParameters;
    const std::string rxEqualisedParameters =
        o.rxParameters.empty() ? RxParameterString(o.rxOverrides, 1) : WithRxConfig(o.rxParameters, 1);
    const std::string rxDecisionParameters =
        o.rxParameters.empty() ? RxParameterString(o.rxOverrides, 0) : WithRxConfig(o.rxParameters, 0);
    report.rxParameters = rxEqualisedParameters;
    report.txApplied = TxAppliedParameters(report.txParameters, report.warnings);
    report.rxApplied = RxAppliedParameters(rxEqualisedParameters, report.warnings);

    WorkOutTxFfe(report.txApplied, report);

    const PortMap ports{o.portMap[0], o.portMap[1], o.portMap[2], o.portMap[3]};
    const std::vector<double> impulse = AddAnalyticLoss(
        BuildChannelByName(o.channel, o.channelLossDb, ports, dt, o.bitTime, report.channel), o.extraLossDb, dt, o.bitTime,
        report.channel);
    NoteChannel(report.channel, o.bitTime, report);
    // No call is longer than the run, whatever block size is asked for.
    const std::size_t total = report.runLength.maxBits * static_cast<std::size_t>(o.samplesPerBit);
    const std::size_t blockSize = std::min(o.blockSize, total);
    // The convolver's own block length is independent of the host's; long responses want longer blocks.
    OverlapAddConvolver channel(impulse, std::max<std::size_t>(kConvolverBlock, blockSize));

    const std::string equalisedDir = runFolder + "/rx_equalised";
    const std::string decisionDir = runFolder + "/rx_decisions";
    MakeDirectory(equalisedDir);
    MakeDirectory(decisionDir);
    const InstanceDirectory equalisedHome(equalisedDir);
    const InstanceDirectory decisionHome(decisionDir);

    AmiSession txSession(tx, report.txParameters, dt, o.bitTime);
    report.txInitMessage = txSession.message;
    CheckModelRoot(txSession.message, kelvane_tx::kRootName, "--tx-lib", tx.path());
    NoteInitMessage(txSession.message, "transmitter", report);
    if (txSession.initResult != 1) throw std::runtime_error("the transmitter's AMI_Init failed: " + txSession.message);
    auto startReceiver = [&](const InstanceDirectory& home, const std::string& parameters) {
        InDirectory inside(home);
        return std::make_unique<AmiSession>(rx, parameters, dt, o.bitTime);
    };
    std::unique_ptr<AmiSession> equaliser = startReceiver(equalisedHome, rxEqualisedParameters);
    std::unique_ptr<AmiSession> decider = startReceiver(decisionHome, rxDecisionParameters);
    report.rxInitMessage = equaliser->message;
    CheckModelRoot(equaliser->message, kelvane_rx::kRootName, "--rx-lib", rx.path());
    NoteInitMessage(equaliser->message, "receiver", report);
    if (equaliser->initResult != 1 || decider->initResult != 1)
        throw std::runtime_error("the receiver's AMI_Init failed: " + equaliser->message);

    LinkAnalysisSettings analysisSettings;
    analysisSettings.bitTime = o.bitTime;
    analysisSettings.sampleInterval = dt;
    analysisSettings.prbsOrder = o.prbsOrder;
    analysisSettings.seed = o.seed;
    // With the transmitter's clock ppm fast, the run's samples carry that many more bits.
    const double bitsPerSample = (1.0 + o.ppm * 1e-6) / o.samplesPerBit;
    auto bitsIn = [bitsPerSample](std::size_t samples) {
        return static_cast<std::uint64_t>(std::floor(static_cast<double>(samples - 1) * bitsPerSample)) + 1;
    };
    analysisSettings.bits = bitsIn(total);
    analysisSettings.dataUnitInterval = o.bitTime / (1.0 + o.ppm * 1e-6);
    analysisSettings.maxLatency =
        64 + static_cast<long>(report.channel.delaySamples / static_cast<std::size_t>(o.samplesPerBit));
    analysisSettings.spillFolder = runFolder;
    LinkAnalysis analysis(analysisSettings);
    if (!untilAdapted) analysis.SetCountStart(static_cast<double>(o.ignoreBits) * o.bitTime);
    if (untilAdapted) analysis.SetCountLimit(o.bits);
    const AdaptationSettings adaptationSettings = SettingsOf(report.rxApplied);
    // Without either part of the adaptation running it is complete from the start.
    bool adapted = SummarizeAdaptation({}, adaptationSettings).complete;

    const double factor = AppliedValue(report.rxApplied, "Factor", 1);
    const std::string capacity = ClockCapacityProblem(blockSize, o.samplesPerBit, factor, o.ppm);
    if (!capacity.empty()) throw std::runtime_error(capacity);
    // A last call too short to carry the clock (a sample or so) is left out rather than losing a clock time.
    const std::size_t runSamples =
        ClockCapacityProblem(total % blockSize, o.samplesPerBit, factor, o.ppm).empty() ? total : total - total % blockSize;
    TraceFollower trace(AbsolutePath(equalisedDir) + "/" + kAdaptTraceFileName,
                        static_cast<int>(AppliedValue(report.rxApplied, "EOM_window", 2000)),
                        static_cast<double>(kelvane_rx::kRequestEchoSamples) * factor / o.samplesPerBit);
    std::unique_ptr<CsvWriter> csv;
    if (o.writeCsv)
        csv = std::make_unique<CsvWriter>(runFolder + "/waveforms.csv",
                                          std::vector<std::string>{"time_s", "rx_input_v", "rx_equalised_v", "rx_decision_v"});

    PrbsGenerator prbs(o.prbsOrder, o.seed);
    std::mt19937_64 noiseSource(o.noiseSeed);
    std::normal_distribution<double> noise(0.0, o.noiseRms);
    std::vector<double> block(blockSize), equalised(blockSize), times(blockSize);
    // Block b's input is received[b % 3], its decisions decisions[b % 2] and rising edges rising[b % 2]: the
    // decision thread works a block ahead of the analysis, and the input thread a block ahead of that.
    std::vector<double> received[3], decisions[2];
    for (auto& r : received) r.resize(blockSize);
    for (auto& d : decisions) d.resize(blockSize);
    std::vector<double> falling, rising[2];
    int bit = 0;
    std::uint64_t bitsSent = 0;
    double lastLineTime = 0.0;
    std::size_t fullCalls = 0;

    // The receiver's input for the block that starts at sample `start`: bits, transmitter, channel, noise.
    auto makeReceived = [&](std::size_t start, double* out) {
        const std::size_t n = std::min(blockSize, runSamples - start);
        for (std::size_t i = 0; i < n; ++i) {
            const auto index = static_cast<std::uint64_t>(std::floor(static_cast<double>(start + i) * bitsPerSample));
            for (; bitsSent <= index; ++bitsSent) bit = prbs.NextBit();
            block[i] = bit ? 0.5 : -0.5;
        }
        if (txSession.GetWave(block.data(), n) != 1) throw std::runtime_error("the transmitter's AMI_GetWave failed");
        channel.Process(block.data(), out, n);
        if (o.noiseRms > 0)
            for (std::size_t i = 0; i < n; ++i) out[i] += noise(noiseSource);
    };
    makeReceived(0, received[0].data());

    // The decision receiver's call on block b; only its thread touches the block's decisions until Wait. The
    // two receivers share nothing.
    InstanceThread deciderThread(decisionHome);
    auto startDecisions = [&](std::size_t b) {
        const std::size_t n = std::min(blockSize, runSamples - b * blockSize);
        deciderThread.Start([&, b, n] {
            std::vector<double>& d = decisions[b % 2];
            std::copy(received[b % 3].begin(), received[b % 3].begin() + static_cast<long>(n), d.begin());
            rising[b % 2].clear();
            if (decider->GetWave(d.data(), n, &rising[b % 2]) != 1)
                throw std::runtime_error("the receiver's AMI_GetWave failed");
        });
    };
    // Block b's input, made a block ahead on a thread of its own (in the directory the transmitter has always
    // run in), so that it fills the time either receiver's thread waits for the other.
    InstanceThread inputThread(decisionHome);
    auto startInput = [&](std::size_t b) {
        const std::size_t start = b * blockSize;
        if (start < runSamples) inputThread.Start([&, b, start] { makeReceived(start, received[b % 3].data()); });
    };
    auto equalise = [&](std::size_t b) {
        const std::size_t n = std::min(blockSize, runSamples - b * blockSize);
        std::copy(received[b % 3].begin(), received[b % 3].begin() + static_cast<long>(n), equalised.begin());
        falling.clear();
        if (equaliser->GetWave(equalised.data(), n, &falling) != 1)
            throw std::runtime_error("the receiver's AMI_GetWave failed");
    };
    ProgressBar progress(runSamples, o.progress);
    std::size_t samplesRun = 0;
    // The equalised receiver's calls append its trace in its directory: the main thread stays there while the
    // run goes (the paths it uses meanwhile are absolute, or files opened before).
    std::optional<InDirectory> insideEqualisedHome(std::in_place, equalisedHome);
    startInput(1);
    startDecisions(0);
    equalise(0);
    for (std::size_t b = 0;; ++b) {  // runSamples >= blockSize >= 1: block 0 exists
        const std::size_t start = b * blockSize;
        const std::size_t n = std::min(blockSize, runSamples - start);
        deciderThread.Wait();
        const std::vector<double>& risingEdges = rising[b % 2];

        const long room = ClockTimesPerCall(n, o.samplesPerBit);
        if (static_cast<long>(falling.size()) >= room || static_cast<long>(risingEdges.size()) >= room) ++fullCalls;

        // Lines written during this block move the counting start before the block's data is judged.
        const std::size_t edgesBefore = analysis.FallingEdges();
        const std::size_t newLines = trace.Poll();
        const double blockStart = static_cast<double>(start) * dt, blockEnd = static_cast<double>(start + n) * dt;
        for (std::size_t k = trace.DataLines() - newLines; k < trace.DataLines(); ++k) {
            const std::uint64_t edge = trace.EdgeOfLine(k);  // counted from 1
            double time = blockEnd;
            if (edge >= 1 && edge - 1 < edgesBefore) time = analysis.FallingEdge(edge - 1);
            else if (edge >= 1 && edge - 1 - edgesBefore < falling.size()) time = falling[edge - 1 - edgesBefore];
            lastLineTime = std::clamp(time, blockStart, blockEnd);
        }
        if (newLines > 0) {
            report.adaptation.completedAtS = lastLineTime;
            if (untilAdapted) {
                const double countStart = lastLineTime + kSettleAfterAdaptationUi * o.bitTime;
                analysis.SetCountStart(countStart);
                adapted = AdaptationCompleteIn(trace.Text(), adaptationSettings);
                if (adapted) progress.SetTotal(std::min(runSamples, static_cast<std::size_t>(std::ceil(
                                                                        countStart / dt + static_cast<double>(o.bits) / bitsPerSample))));
            }
        }
        analysis.AddDecisions(decisions[b % 2].data(), n, risingEdges);
        // The decisions settle whether the run goes on, so the next block's decision call starts before this
        // block's eye and statistics are folded.
        const bool more = !(untilAdapted && adapted && analysis.CountComplete()) && start + blockSize < runSamples;
        if (more) {
            inputThread.Wait();
            startDecisions(b + 1);
            startInput(b + 2);
        }
        analysis.AddEqualised(equalised.data(), n, falling);
        samplesRun = start + n;
        if (csv) {
            for (std::size_t i = 0; i < n; ++i) times[i] = static_cast<double>(start + i) * dt;
            csv->AppendRows({times.data(), received[b % 3].data(), equalised.data(), decisions[b % 2].data()}, n);
        }
        progress.Update(start + n);
        if (!more) break;
        equalise(b + 1);
    }
    inputThread.Wait();
    insideEqualisedHome.reset();
    progress.Finish();
    report.bits = bitsIn(samplesRun);
    analysis.SetSentBits(report.bits);
    if (untilAdapted && !(adapted && analysis.CountComplete())) NoteCapHit(adapted, analysis.CountedDecisions(), report);
    {
        InDirectory inside(equalisedHome);
        equaliser->Close();
    }
    {
        InDirectory inside(decisionHome);
        decider->Close();
    }
    if (fullCalls > 0)
        report.warnings.push_back("in " + std::to_string(fullCalls) +
                                  " AMI_GetWave calls the receiver returned as many clock times as the call allows; "
                                  "clock times beyond that are not reported, so some may be missing");
    if (csv) {
        csv->Finish();
        WriteClockTimesCsv(runFolder + "/clock_times.csv", analysis);
    }
    Judge(o, runFolder, analysis, report);
}

}  // namespace ksim
