// Drives one model library through its three entry points on a fixed scenario (default and non-default
// parameters, adaptation on, several block sizes) and prints a digest line per run: the AMI_Init result and
// message, the output wave, the clock times and the trace file "adapt.txt". The same source is built for
// Linux and for Windows; equal output means the libraries give the same bits on both platforms.
//
// Usage: ami_digest <tx|rx> <model library>. Run it in a directory of its own: it replaces "adapt.txt"
// there. Exits 1 when a run fails or gives nothing to compare (no clock times or no trace from the receiver).

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/AmiLibrary.h"
#include "tests/support/LinkStimulus.h"
#include "tests/support/WaveDigest.h"

namespace {

const double kBitTime = 3.571428571428571e-11;  // 28 Gb/s [s]
const int kSamplesPerBit = 32;
const double kSampleInterval = kBitTime / kSamplesPerBit;

struct Case {
    const char* name;
    const char* parameters;
    std::size_t bits;                    // stimulus length
    std::vector<std::size_t> blockSizes; // one run per block size
};

// The receiver's default eye measurement spans 2000 clock periods after the settling time; the short one
// (200) lets the run reach the DFE adaptation. Numbers are written in several ways the parser accepts.
const Case kRxCases[] = {
    {"defaults", "(kelvane_rx)", 10000, {4096, 777}},
    {"custom",
     "(kelvane_rx (Rx_config 0) (EOM_window 2.0e2) (DFElsb 0x1.47ae147ae147bp-7) (VCO_Sensitivity 5.5E+08) "
     "(EOMAmplitude .25) (DFEtap2 -1) (EQ_TABLE (11 235) (3 1.28e2)))",
     16000, {1, 1000, 8192}},
};

const Case kTxCases[] = {
    {"defaults", "(kelvane_tx)", 2000, {4096, 777}},
    {"custom", "(kelvane_tx (c0 1.2e1) (c1 3) (cm1 2.) (c1_sign 0) (cm1_sign +1))", 2000, {1, 1000}},
};

std::uint64_t TextDigest(const std::string& text) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string ReadFile(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One run; false when it failed or, for the receiver, gave no clock times or trace.
bool Run(const AmiLibrary& library, bool receiver, const Case& c, std::size_t block) {
    std::remove("adapt.txt");
    std::vector<double> wave = LossyPrbsWave(c.bits, kSamplesPerBit);
    std::vector<double> clocks;
    long initResult = 0;
    long waveResult = 0;
    long closeResult = 0;
    std::string message;
    {
        AmiSession session(library, c.parameters, kSampleInterval, kBitTime);
        initResult = session.initResult;
        message = session.message;
        waveResult = session.Process(wave, block, &clocks);
        closeResult = session.Close();
    }
    const std::string trace = ReadFile("adapt.txt");
    const long traceLines = static_cast<long>(std::count(trace.begin(), trace.end(), '\n'));
    std::printf("%s %s block %zu: init %ld message %016llx wave %016llx getwave %ld clocks %zu %016llx close %ld "
                "adapt.txt %ld lines %016llx\n",
                receiver ? "rx" : "tx", c.name, block, initResult, static_cast<unsigned long long>(TextDigest(message)),
                static_cast<unsigned long long>(WaveDigest(wave)), waveResult, clocks.size(),
                static_cast<unsigned long long>(WaveDigest(clocks)), closeResult, traceLines,
                static_cast<unsigned long long>(TextDigest(trace)));
    const bool ok = initResult == 1 && waveResult == 1 && closeResult == 1;
    // A block shorter than a bit has room for no clock time.
    const bool clocksExpected = receiver && block >= static_cast<std::size_t>(kSamplesPerBit);
    return ok && (!clocksExpected || !clocks.empty()) && (!receiver || traceLines > 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "tx") != 0 && std::strcmp(argv[1], "rx") != 0)) {
        std::fprintf(stderr, "usage: ami_digest <tx|rx> <model library>\n");
        return 2;
    }
    const bool receiver = std::strcmp(argv[1], "rx") == 0;
    try {
        const AmiLibrary library(argv[2]);
        bool ok = true;
        const auto start = std::chrono::steady_clock::now();
        for (const Case& c : receiver ? kRxCases : kTxCases)
            for (std::size_t block : c.blockSizes) ok = Run(library, receiver, c, block) && ok;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        std::fprintf(stderr, "%s: %.2f s\n", argv[2], elapsed.count());
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
