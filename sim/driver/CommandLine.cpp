#include "sim/driver/CommandLine.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>

namespace ksim {

namespace {

// CLI11's number checks let NaN through (every comparison with it is false) and read "-1" into an unsigned
// option by wrapping it; these refuse what the run cannot honour.
const CLI::Validator kFinite(
    [](std::string& text) {
        double value = 0.0;
        if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value)) return "needs a finite number, not " + text;
        return std::string();
    },
    "FINITE");
const CLI::Validator kNotNegative(
    [](std::string& text) {
        const auto first = text.find_first_not_of(" \t");
        if (first != std::string::npos && text[first] == '-') return "needs a count of 0 or more, not " + text;
        return std::string();
    },
    "COUNT");

}  // namespace

bool ParseCommandLine(int argc, char** argv, SimOptions& o, int& exitCode) {
    CLI::App app{
        "kelvane-sim: runs the Kelvane transmitter and receiver models through their AMI entry points over a\n"
        "channel, as a channel simulator does, and reports the eye, the recovered clock, the BER and the\n"
        "adaptation in a run folder (summary.json, report.html, plots)."};
    app.option_defaults()->always_capture_default();
    app.add_option("--tx-lib", o.txLibrary, "transmitter library (default: the built kit)");
    app.add_option("--rx-lib", o.rxLibrary, "receiver library (default: the built kit)");
    app.add_option("--tx", o.txOverrides, "transmitter parameter override name=value (repeatable), e.g. c0=12");
    app.add_option("--rx", o.rxOverrides, "receiver parameter override name=value (repeatable), e.g. CTLEAdapt=0");
    app.add_option("--tx-params", o.txParameters, "whole transmitter parameter string, e.g. \"(kelvane_tx (c0 12))\"");
    app.add_option("--rx-params", o.rxParameters, "whole receiver parameter string (Rx_config is set by the simulator)");
    app.add_option("--bit-time", o.bitTime, "unit interval [s]")->check(kFinite)->check(CLI::PositiveNumber);
    app.add_option("--samples-per-bit", o.samplesPerBit, "samples per unit interval")->check(CLI::Range(2, 256));
    app.add_option("--prbs", o.prbsOrder, "PRBS order")->check(CLI::IsMember({7, 9, 15, 23, 31}));
    app.add_option("--seed", o.seed, "PRBS start state (non-zero)")->check(kNotNegative)->check(CLI::Range(1u, 0xffffffffu));
    app.add_option("--bits", o.bits,
                   "bits to count once the adaptation has completed (the run goes on until then, up to --max-bits); "
                   "with --ignore-bits, the bits to simulate")
        ->check(kNotNegative)->check(CLI::Range(std::uint64_t{100}, std::uint64_t{100000000}));
    app.add_option("--max-bits", o.maxBits, "most bits to simulate while waiting for the adaptation and counting")
        ->check(kNotNegative)->check(CLI::Range(std::uint64_t{100}, std::uint64_t{1000000000}));
    app.add_option("--ignore-bits", o.ignoreBits,
                   "a fixed run instead: --bits bits simulated, the first this many left out of the BER count")
        ->check(kNotNegative)->check(CLI::Range(std::uint64_t{0}, std::uint64_t{100000000}));
    app.add_option("--noise", o.noiseRms, "RMS of Gaussian noise added at the receiver input [V]")->check(kFinite)->check(CLI::NonNegativeNumber);
    app.add_option("--noise-seed", o.noiseSeed, "seed of the noise")->check(kNotNegative);
    app.add_option("--block-size", o.blockSize, "samples per AMI_GetWave call")->check(kNotNegative)->check(CLI::Range(std::size_t{1}, std::size_t{1} << 24));
    app.add_option("--ppm", o.ppm,
                   "transmitter bit clock offset [ppm]: positive sends faster than the nominal bit rate; real links "
                   "have tens to hundreds (e.g. 100)")
        ->check(kFinite)->check(CLI::Range(-10000.0, 10000.0));
    app.add_option("--channel", o.channel, "\"analytic\", or a Touchstone .s4p/.s2p file, or an impulse-response file");
    app.add_option("--loss", o.channelLossDb, "loss of the analytic channel at the Nyquist frequency [dB]")->check(kFinite)->check(CLI::Range(0.0, 60.0));
    app.add_option("--extra-loss", o.extraLossDb,
                   "analytic loss added on top of the channel (e.g. a Touchstone file) at the Nyquist frequency [dB], "
                   "to make it longer")
        ->check(kFinite)->check(CLI::Range(0.0, 60.0));
    app.add_option("--port-map", o.portMap, "four ports of an .s4p: input +, input -, output +, output -")
        ->expected(4)->check(CLI::Range(1, 4));
    app.add_option("-o,--out", o.outputDir, "run folder (default: runs/<date-time>)");
    app.add_flag("--csv", o.writeCsv,
                 "also write the waveforms and clock times as CSV: about 55 bytes per sample (1.7 kB per bit at 32 "
                 "samples per bit, 280 MB for 160000 bits)");
    app.add_flag("!--no-progress", o.progress, "no progress bar");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        exitCode = app.exit(e);
        return false;
    }
    if (o.ignoreBits >= o.bits) {
        std::fprintf(stderr, "--ignore-bits %llu leaves none of the %llu bits to count\n",
                     static_cast<unsigned long long>(o.ignoreBits), static_cast<unsigned long long>(o.bits));
        exitCode = 2;
        return false;
    }
    return true;
}

}  // namespace ksim
