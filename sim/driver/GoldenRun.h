#pragma once

// The kit's golden run: a stated stimulus, the expected outputs of both models at their defaults, and the
// replay that reproduces them through the AMI entry points. `kelvane-sim golden <dir>` writes the files;
// `kelvane-sim verify <kit-dir>` replays them with the kit's libraries and compares bit for bit.
//
// Files, each one value per line after a one-line header naming the column and its unit:
//   golden_tx_input.csv       PRBS-15 NRZ, +-0.5 V, 32 samples per bit: the transmitter's stimulus
//   golden_tx_output.csv      the transmitter's output at its defaults
//   golden_rx_input.csv       that output through the simulator's analytic channel (15 dB at 14 GHz),
//                             written to 9 significant digits; the file's values are the receiver's stimulus
//   golden_rx_output.csv      the receiver's output at its defaults (Rx_config 1: the equalised signal)
//   golden_rx_clock_times.csv the receiver's clock times [s]
//   golden_adapt.txt          the receiver's adaptation trace, byte for byte
//   golden_settings.txt       timing, block size and both parameter strings, "name value" per line
// Outputs are written in the shortest form that reads back as the same double.

#include <string>
#include <vector>

namespace ksim {

struct GoldenSettings {
    double bitTime = 3.571428571428571e-11;  // [s]
    int samplesPerBit = 32;
    std::size_t blockSamples = 1024;          // samples per AMI_GetWave call
    std::size_t bits = 15000;                 // long enough for four adaptation trace lines at the defaults
    std::string txParameters;                 // AMI parameter strings
    std::string rxParameters;
    double SampleInterval() const { return bitTime / samplesPerBit; }  // [s]
};

struct GoldenWaves {
    std::vector<double> txInput, txOutput, rxInput, rxOutput, clockTimes;
    std::string adaptTrace;
};

extern const char* const kGoldenSettingsFile;
extern const char* const kGoldenTxInputFile;
extern const char* const kGoldenTxOutputFile;
extern const char* const kGoldenRxInputFile;
extern const char* const kGoldenRxOutputFile;
extern const char* const kGoldenClockTimesFile;
extern const char* const kGoldenAdaptFile;

// Runs the transmitter on waves.txInput and the receiver on waves.rxInput, block by block as the settings
// say, the receiver inside workDir (where it writes adapt.txt, which must not exist yet); fills txOutput,
// rxOutput, clockTimes and adaptTrace. Throws std::runtime_error when a library fails to load or run.
void ReplayGolden(const GoldenSettings& settings, const std::string& txLibrary, const std::string& rxLibrary,
                  const std::string& workDir, GoldenWaves& waves);

// `kelvane-sim golden <out-dir> [--tx-lib path] [--rx-lib path]` and `kelvane-sim verify <kit-dir>`: the
// arguments after the subcommand's name; the exit status (0 success, 1 failure or mismatch, 2 usage).
int RunGoldenCommand(const std::vector<std::string>& args, const std::string& defaultKitDir);
int RunVerifyCommand(const std::vector<std::string>& args);

// The golden files' formats, shared by both commands.
void WriteGoldenColumn(const std::string& path, const std::string& header, const std::vector<double>& values,
                       int significantDigits = 0);  // 0: shortest exact form
std::vector<double> ReadGoldenColumn(const std::string& path);
void WriteGoldenSettings(const std::string& path, const GoldenSettings& settings);
GoldenSettings ReadGoldenSettings(const std::string& path);

}  // namespace ksim
