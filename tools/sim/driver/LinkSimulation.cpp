#include "tools/sim/driver/LinkSimulation.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

#include "rx/KelvaneRx.h"
#include "tools/host/AmiLibrary.h"
#include "tx/KelvaneTx.h"
#include "tools/sim/analysis/AdaptationTrace.h"
#include "tools/sim/analysis/Ber.h"
#include "tools/sim/analysis/Clock.h"
#include "tools/sim/analysis/Eye.h"
#include "tools/sim/analysis/Prbs.h"
#include "tools/sim/channel/Channel.h"
#include "tools/sim/channel/MixedMode.h"
#include "tools/sim/channel/OverlapAddConvolver.h"
#include "tools/sim/driver/ParameterStrings.h"
#include "tools/sim/driver/Progress.h"
#include "tools/sim/driver/ScopedDirectory.h"

namespace ksim {

namespace {

// The transmitter's FFE taps are this many samples apart, whatever the sample interval.
constexpr int kTxFfeSpacing = 32;
// Unit intervals after the last adaptation step before bits are counted, so that the last step's taps act.
constexpr double kSettleAfterAdaptationUi = 200.0;
constexpr std::size_t kConvolverBlock = 4096;  // [samples]
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

std::size_t CountLines(const std::string& path) {
    std::ifstream in(path);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
}

long long FileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

}  // namespace

void RunLink(const SimOptions& o, const std::string& runFolder, RunReport& report, LinkWaves& waves) {
    const double dt = o.bitTime / o.samplesPerBit;
    report.bitTime = o.bitTime;
    report.sampleInterval = dt;
    report.samplesPerBit = o.samplesPerBit;
    report.bits = o.bits;
    report.noiseRmsV = o.noiseRms;
    report.blockSize = o.blockSize;
    report.prbs = "PRBS-" + std::to_string(o.prbsOrder) + ", seed " + std::to_string(o.seed);
    if (o.samplesPerBit != kTxFfeSpacing)
        report.warnings.push_back("the transmitter's FFE taps are 32 samples apart; at " + std::to_string(o.samplesPerBit) +
                                  " samples per bit they are not one unit interval apart");

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

    const PortMap ports{o.portMap[0], o.portMap[1], o.portMap[2], o.portMap[3]};
    const std::vector<double> impulse =
        BuildChannelByName(o.channel, o.channelLossDb, ports, dt, o.bitTime, report.channel);
    // The convolver's own block length is independent of the host's; long responses want longer blocks.
    OverlapAddConvolver channel(impulse, std::max<std::size_t>(kConvolverBlock, o.blockSize));

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

    PrbsGenerator prbs(o.prbsOrder, o.seed);
    waves.sentBits = prbs.NextBits(o.bits);
    const std::size_t total = o.bits * static_cast<std::size_t>(o.samplesPerBit);
    waves.equalised.reserve(total);
    waves.decisions.reserve(total);
    if (o.writeCsv) waves.rxInput.reserve(total);

    std::mt19937_64 noiseSource(o.noiseSeed);
    std::normal_distribution<double> noise(0.0, o.noiseRms);
    std::vector<double> block(o.blockSize), received(o.blockSize), equalised(o.blockSize), decisions(o.blockSize);
    const std::string tracePath = equalisedDir + "/adapt.txt";
    long long traceSize = FileSize(tracePath);
    std::size_t traceLines = CountLines(tracePath);

    ProgressBar progress(total, o.progress);
    for (std::size_t start = 0; start < total; start += o.blockSize) {
        const std::size_t n = std::min(o.blockSize, total - start);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t bit = (start + i) / static_cast<std::size_t>(o.samplesPerBit);
            block[i] = waves.sentBits[bit] ? 0.5 : -0.5;
        }
        if (txSession.GetWave(block.data(), n) != 1) throw std::runtime_error("the transmitter's AMI_GetWave failed");
        channel.Process(block.data(), received.data(), n);
        if (o.noiseRms > 0)
            for (std::size_t i = 0; i < n; ++i) received[i] += noise(noiseSource);
        if (o.writeCsv) waves.rxInput.insert(waves.rxInput.end(), received.begin(), received.begin() + static_cast<long>(n));
        std::copy(received.begin(), received.begin() + static_cast<long>(n), equalised.begin());
        std::copy(received.begin(), received.begin() + static_cast<long>(n), decisions.begin());
        {
            InDirectory inside(equalisedHome);
            if (equaliser->GetWave(equalised.data(), n, &waves.fallingEdges) != 1)
                throw std::runtime_error("the receiver's AMI_GetWave failed");
        }
        {
            InDirectory inside(decisionHome);
            if (decider->GetWave(decisions.data(), n, &waves.risingEdges) != 1)
                throw std::runtime_error("the receiver's AMI_GetWave failed");
        }
        waves.equalised.insert(waves.equalised.end(), equalised.begin(), equalised.begin() + static_cast<long>(n));
        waves.decisions.insert(waves.decisions.end(), decisions.begin(), decisions.begin() + static_cast<long>(n));

        const long long size = FileSize(tracePath);
        if (size != traceSize) {
            traceSize = size;
            const std::size_t lines = CountLines(tracePath);
            for (; traceLines < lines; ++traceLines) waves.traceLineSamples.push_back(start + n);
        }
        progress.Update(start + n);
    }
    progress.Finish();
    {
        InDirectory inside(equalisedHome);
        equaliser->Close();
    }
    {
        InDirectory inside(decisionHome);
        decider->Close();
    }
}

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
        const int gainGroup = 256 * static_cast<int>(AppliedValue(rx, "VGA_GAIN", 0) + 2 * AppliedValue(rx, "EQ_HIGAIN", 0));
        adaptation.chosenTableIndex = index;
        adaptation.chosenColumn = gainGroup + static_cast<int>(AppliedValue(rx, "EQ_TABLE." + std::to_string(index), 0));
    }
    if (!settings.dfeAdapt && adaptation.steps.empty()) {
        const char* names[5] = {"DFEtap1", "DFEtap2", "DFEtap3", "DFEtap4", "DFEtap5"};
        for (int i = 0; i < 5; ++i) adaptation.finalTaps[i] = AppliedValue(rx, names[i], 0) * settings.dfeLsb;
    }
}

}  // namespace

void AnalyseLink(const SimOptions& o, const std::string& runFolder, const LinkWaves& waves, RunReport& report) {
    const double dt = report.sampleInterval;
    const AdaptationSettings settings = SettingsOf(report.rxApplied);
    const std::string tracePath = runFolder + "/rx_equalised/adapt.txt";
    if (FileSize(tracePath) < 0)
        report.warnings.push_back("the receiver wrote no adaptation trace (adapt.txt), so the adaptation cannot be judged");
    else
        report.adaptation = ParseAdaptationTrace(tracePath, settings);
    FillFixedSettings(report.rxApplied, settings, report.adaptation);
    // The header is the first trace line; the data lines follow it.
    if (waves.traceLineSamples.size() > 1) report.adaptation.completedAtS = static_cast<double>(waves.traceLineSamples.back()) * dt;
    if (!report.adaptation.complete) report.warnings.push_back("the adaptation did not complete within the simulated bits");

    double countFrom = 0.0;
    if (o.ignoreBits > 0) {
        countFrom = static_cast<double>(o.ignoreBits) * o.bitTime;
    } else {
        countFrom = report.adaptation.completedAtS + kSettleAfterAdaptationUi * o.bitTime;
    }

    report.clock = AnalyzeClock(waves.fallingEdges, o.bitTime);
    report.eye = FoldEye(waves.equalised, dt, waves.fallingEdges, countFrom);

    const std::vector<int> received = SampleDecisions(waves.decisions, dt, waves.risingEdges, 0.0);
    // Received decisions before the counting time are left out of the count, not out of the alignment.
    const std::uint64_t counted = SampleDecisions(waves.decisions, dt, waves.risingEdges, countFrom).size();
    const std::uint64_t ignore = received.size() - std::min<std::uint64_t>(counted, received.size());
    const long maxLatency = 64 + static_cast<long>(report.channel.delaySamples / static_cast<std::size_t>(o.samplesPerBit));
    report.ber = CountBitErrors(waves.sentBits, received, ignore, maxLatency);
    if (counted < kMinCountedBits)
        report.warnings.push_back("no bits were left to count: " + std::to_string(counted) +
                                  " decisions came after the counting start at " + FormatNumber(countFrom * 1e6) +
                                  " us; simulate more bits (--bits)");
    else if (!report.ber.aligned)
        report.warnings.push_back("the decisions could not be aligned with the sent bits");
}

}  // namespace ksim
