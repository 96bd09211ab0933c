#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ksim {

// Everything a run of the link simulator can be told on its command line.
struct SimOptions {
    std::string txLibrary;                    // path of the transmitter library
    std::string rxLibrary;                    // path of the receiver library
    std::vector<std::string> txOverrides;     // "name=value" on top of the transmitter's defaults
    std::vector<std::string> rxOverrides;     // "name=value" on top of the receiver's defaults
    std::string txParameters;                 // a whole parameter string, replacing defaults and overrides
    std::string rxParameters;

    double bitTime = 3.571428571428571e-11;   // unit interval [s], > 0 (28 Gb/s)
    int samplesPerBit = 32;                   // samples per unit interval, >= 2
    int prbsOrder = 15;                       // 7, 9, 15, 23 or 31
    std::uint32_t seed = 1;                   // PRBS start state, non-zero
    std::uint64_t bits = 100000;              // bits to count after the adaptation; with ignoreBits, to simulate
    std::uint64_t maxBits = 2000000;          // cap on the simulated bits when the length follows the adaptation
    std::uint64_t ignoreBits = 0;             // > 0: a fixed run of `bits` bits, the first this many not counted;
                                              // 0: run until the adaptation completes, then count `bits` bits
    double noiseRms = 0.0;                    // additive Gaussian noise at the receiver input [V], >= 0
    std::uint64_t noiseSeed = 1;
    std::size_t blockSize = 1024;             // samples per AMI_GetWave call, >= 2 (1 cannot carry the clock)
    double ppm = 0.0;                         // transmitter bit clock offset [ppm], -10000..10000; > 0 sends faster

    std::string channel = "analytic";         // "analytic", or a .s4p / .s2p / impulse-response file
    double channelLossDb = 15.0;              // loss of the analytic channel at the Nyquist frequency [dB]
    double extraLossDb = 0.0;                 // analytic loss added on top of any channel at Nyquist [dB], 0..60
    std::vector<int> portMap = {1, 3, 2, 4};  // .s4p differential pairs: in+, in-, out+, out-

    std::string outputDir;                    // run folder; empty picks runs/<date-time>
    bool writeCsv = false;                    // also write the waveforms as CSV
    bool progress = true;                     // progress bar on standard error when it is a terminal
};

}  // namespace ksim
