#include "tools/sim/driver/LinkSimulation.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <cmath>
#include <fstream>
#include <random>
#include <stdexcept>

#include "tools/host/AmiLibrary.h"
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

// A user's whole receiver parameter string with the simulator's Rx_config placed first, so that it is the
// value the model finds.
std::string WithRxConfig(const std::string& parameters, int rxConfig) {
    const std::string root = "kelvane_rx";
    const auto at = parameters.find(root);
    if (at == std::string::npos) throw std::runtime_error("the receiver parameter string must start with (kelvane_rx");
    std::string text = parameters;
    text.insert(at + root.size(), " (Rx_config " + std::to_string(rxConfig) + ")");
    return text;
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
    report.txParameters = o.txParameters.empty() ? TxParameterString(o.txOverrides) : o.txParameters;
    const std::string rxEqualisedParameters =
        o.rxParameters.empty() ? RxParameterString(o.rxOverrides, 1) : WithRxConfig(o.rxParameters, 1);
    const std::string rxDecisionParameters =
        o.rxParameters.empty() ? RxParameterString(o.rxOverrides, 0) : WithRxConfig(o.rxParameters, 0);
    report.rxParameters = rxEqualisedParameters;

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
    if (txSession.initResult != 1) throw std::runtime_error("the transmitter's AMI_Init failed: " + txSession.message);
    auto startReceiver = [&](const InstanceDirectory& home, const std::string& parameters) {
        InDirectory inside(home);
        return std::make_unique<AmiSession>(rx, parameters, dt, o.bitTime);
    };
    std::unique_ptr<AmiSession> equaliser = startReceiver(equalisedHome, rxEqualisedParameters);
    std::unique_ptr<AmiSession> decider = startReceiver(decisionHome, rxDecisionParameters);
    report.rxInitMessage = equaliser->message;
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

void AnalyseLink(const SimOptions& o, const std::string& runFolder, const LinkWaves& waves, RunReport& report) {
    const double dt = report.sampleInterval;
    report.adaptation = ParseAdaptationTrace(runFolder + "/rx_equalised/adapt.txt");
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
    if (!report.ber.aligned) report.warnings.push_back("the decisions could not be aligned with the sent bits");
}

}  // namespace ksim
