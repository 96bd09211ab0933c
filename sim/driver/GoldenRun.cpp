#include "sim/driver/GoldenRun.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "sim/host/AmiLibrary.h"
#include "sim/SimResults.h"
#include "sim/analysis/Prbs.h"
#include "sim/channel/Channel.h"
#include "sim/channel/OverlapAddConvolver.h"
#include "sim/driver/ParameterStrings.h"
#include "sim/driver/ScopedDirectory.h"

namespace ksim {

const char* const kGoldenSettingsFile = "golden_settings.txt";
const char* const kGoldenTxInputFile = "golden_tx_input.csv";
const char* const kGoldenTxOutputFile = "golden_tx_output.csv";
const char* const kGoldenRxInputFile = "golden_rx_input.csv";
const char* const kGoldenRxOutputFile = "golden_rx_output.csv";
const char* const kGoldenClockTimesFile = "golden_rx_clock_times.csv";
const char* const kGoldenAdaptFile = "golden_adapt.txt";

namespace {

constexpr int kPrbsOrder = 15;
constexpr std::uint32_t kPrbsSeed = 1;
constexpr double kNrzAmplitude = 0.5;       // [V]
constexpr double kChannelLossDb = 15.0;     // analytic channel, at half the bit rate
constexpr int kRxInputDigits = 9;           // significant digits of the receiver's stimulus file
constexpr std::size_t kConvolverBlock = 4096;

std::string NumberText(double value, int significantDigits) {
    char text[64];
    const std::to_chars_result written =
        significantDigits > 0 ? std::to_chars(text, text + sizeof text, value, std::chars_format::general, significantDigits)
                              : std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

double ParseNumber(const std::string& text, const std::string& where) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const std::from_chars_result read = std::from_chars(text.data(), end, value);
    if (read.ec != std::errc() || read.ptr != end) throw std::runtime_error(where + ": not a number: '" + text + "'");
    return value;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

// Runs a wave through one model block by block; the receiver also collects its clock times.
void RunModel(AmiSession& session, std::vector<double>& wave, std::size_t block, std::vector<double>* clocks,
              const char* what) {
    if (session.Process(wave, block, clocks) != 1) throw std::runtime_error(std::string("the ") + what + "'s AMI_GetWave failed");
}

// The receiver's stimulus: the transmitter's output through the analytic channel, at the stated precision,
// read back as the receiver will get it from the file.
std::vector<double> ThroughChannel(const std::vector<double>& txOutput, const GoldenSettings& settings) {
    ChannelInfo info;
    const std::vector<double> impulse =
        BuildAnalyticChannel(kChannelLossDb, settings.SampleInterval(), settings.bitTime, info);
    OverlapAddConvolver channel(impulse, kConvolverBlock);
    std::vector<double> received(txOutput.size());
    channel.Process(txOutput.data(), received.data(), txOutput.size());
    for (double& value : received) value = ParseNumber(NumberText(value, kRxInputDigits), "channel output");
    return received;
}

int GoldenUsage() {
    std::fprintf(stderr, "usage: kelvane-sim golden <out-dir> [--tx-lib path] [--rx-lib path]\n");
    return 2;
}

}  // namespace

void WriteGoldenColumn(const std::string& path, const std::string& header, const std::vector<double>& values,
                       int significantDigits) {
    std::string text = header + "\n";
    text.reserve(values.size() * 24);
    for (double value : values) text += NumberText(value, significantDigits) + "\n";
    WriteWholeFile(path, text);
}

std::vector<double> ReadGoldenColumn(const std::string& path) {
    std::istringstream in(ReadWholeFile(path));
    std::vector<double> values;
    std::string line;
    if (!std::getline(in, line)) throw std::runtime_error(path + " is empty");
    for (std::size_t number = 2; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        values.push_back(ParseNumber(line, path + " line " + std::to_string(number)));
    }
    return values;
}

void WriteGoldenSettings(const std::string& path, const GoldenSettings& settings) {
    std::string text = "# How the golden files were made; kelvane-sim verify replays them with these settings.\n";
    text += "bit_time_s " + NumberText(settings.bitTime, 0) + "\n";
    text += "samples_per_bit " + std::to_string(settings.samplesPerBit) + "\n";
    text += "sample_interval_s " + NumberText(settings.SampleInterval(), 0) + "\n";
    text += "block_samples " + std::to_string(settings.blockSamples) + "\n";
    text += "bits " + std::to_string(settings.bits) + "\n";
    text += "stimulus PRBS-" + std::to_string(kPrbsOrder) + " (x^15 + x^14 + 1, seed " + std::to_string(kPrbsSeed) +
            "), NRZ +-" + NumberText(kNrzAmplitude, 0) + " V\n";
    text += "channel analytic: skin-effect and dielectric loss, " + NumberText(kChannelLossDb, 0) +
            " dB at half the bit rate, minimum phase; receiver input rounded to " + std::to_string(kRxInputDigits) +
            " significant digits\n";
    text += "tx_parameters " + settings.txParameters + "\n";
    text += "rx_parameters " + settings.rxParameters + "\n";
    WriteWholeFile(path, text);
}

GoldenSettings ReadGoldenSettings(const std::string& path) {
    std::istringstream in(ReadWholeFile(path));
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t blank = line.find(' ');
        if (blank != std::string::npos) values[line.substr(0, blank)] = line.substr(blank + 1);
    }
    auto get = [&](const char* name) {
        const auto found = values.find(name);
        if (found == values.end()) throw std::runtime_error(path + " has no " + name);
        return found->second;
    };
    GoldenSettings settings;
    settings.bitTime = ParseNumber(get("bit_time_s"), path);
    settings.samplesPerBit = static_cast<int>(ParseNumber(get("samples_per_bit"), path));
    settings.blockSamples = static_cast<std::size_t>(ParseNumber(get("block_samples"), path));
    settings.bits = static_cast<std::size_t>(ParseNumber(get("bits"), path));
    settings.txParameters = get("tx_parameters");
    settings.rxParameters = get("rx_parameters");
    if (!(settings.bitTime > 0) || settings.samplesPerBit < 1 || settings.blockSamples < 1)
        throw std::runtime_error(path + " gives no usable timing or block size");
    return settings;
}

void ReplayGolden(const GoldenSettings& settings, const std::string& txLibrary, const std::string& rxLibrary,
                  const std::string& workDir, GoldenWaves& waves) {
    const double dt = settings.SampleInterval();
    const AmiLibrary tx(txLibrary);
    const AmiLibrary rx(rxLibrary);
    {
        AmiSession session(tx, settings.txParameters, dt, settings.bitTime);
        if (session.initResult != 1) throw std::runtime_error("the transmitter's AMI_Init failed: " + session.message);
        waves.txOutput = waves.txInput;
        RunModel(session, waves.txOutput, settings.blockSamples, nullptr, "transmitter");
    }
    const std::string tracePath = workDir + "/adapt.txt";
    if (std::filesystem::exists(tracePath)) throw std::runtime_error(tracePath + " exists already");
    const InstanceDirectory home(workDir);
    waves.rxOutput = waves.rxInput;
    waves.clockTimes.clear();
    {
        InDirectory inside(home);
        AmiSession session(rx, settings.rxParameters, dt, settings.bitTime);
        if (session.initResult != 1) throw std::runtime_error("the receiver's AMI_Init failed: " + session.message);
        RunModel(session, waves.rxOutput, settings.blockSamples, &waves.clockTimes, "receiver");
        session.Close();
    }
    waves.adaptTrace = std::filesystem::exists(tracePath) ? ReadWholeFile(tracePath) : std::string();
}

int RunGoldenCommand(const std::vector<std::string>& args, const std::string& defaultKitDir) {
    if (args.empty() || args[0].empty() || args[0][0] == '-') return GoldenUsage();
    const std::string outDir = args[0];
    std::string txLibrary = defaultKitDir + "/kelvane_tx_x64.so";
    std::string rxLibrary = defaultKitDir + "/kelvane_rx_x64.so";
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return GoldenUsage();
        if (args[i] == "--tx-lib") txLibrary = args[i + 1];
        else if (args[i] == "--rx-lib") rxLibrary = args[i + 1];
        else return GoldenUsage();
    }
    try {
        std::filesystem::create_directories(outDir);
        GoldenSettings settings;
        settings.txParameters = TxParameterString({});
        settings.rxParameters = RxParameterString({}, 1);
        GoldenWaves waves;
        PrbsGenerator prbs(kPrbsOrder, kPrbsSeed);
        waves.txInput = NrzWave(prbs.NextBits(settings.bits), settings.samplesPerBit, kNrzAmplitude);

        // The transmitter's output first, to make the receiver's stimulus; the replay then runs both models
        // exactly as verify will.
        const std::string work = outDir + "/.golden-work";
        std::filesystem::remove_all(work);
        std::filesystem::create_directories(work);
        GoldenWaves first = waves;
        first.rxInput.clear();
        ReplayGolden(settings, txLibrary, rxLibrary, work, first);
        std::filesystem::remove_all(work);
        waves.rxInput = ThroughChannel(first.txOutput, settings);
        std::filesystem::create_directories(work);
        ReplayGolden(settings, txLibrary, rxLibrary, work, waves);
        std::filesystem::remove_all(work);

        WriteGoldenSettings(outDir + "/" + kGoldenSettingsFile, settings);
        WriteGoldenColumn(outDir + "/" + kGoldenTxInputFile, "tx_input_V", waves.txInput);
        WriteGoldenColumn(outDir + "/" + kGoldenTxOutputFile, "tx_output_V", waves.txOutput);
        WriteGoldenColumn(outDir + "/" + kGoldenRxInputFile, "rx_input_V", waves.rxInput, kRxInputDigits);
        WriteGoldenColumn(outDir + "/" + kGoldenRxOutputFile, "rx_output_V", waves.rxOutput);
        WriteGoldenColumn(outDir + "/" + kGoldenClockTimesFile, "clock_time_s", waves.clockTimes);
        WriteWholeFile(outDir + "/" + kGoldenAdaptFile, waves.adaptTrace);
        std::printf("golden: %zu samples, %zu clock times, %zu trace lines written to %s\n", waves.txInput.size(),
                    waves.clockTimes.size(),
                    static_cast<std::size_t>(std::count(waves.adaptTrace.begin(), waves.adaptTrace.end(), '\n')),
                    outDir.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-sim golden: %s\n", e.what());
        return 1;
    }
}

}  // namespace ksim
