// Soak run of the model libraries through their entry points, printing figures:
//   soak cycles N     N AMI_Init / AMI_GetWave / AMI_Close cycles of each model
//   soak samples N    N samples through one receiver instance, in blocks of 65536
// Resident memory is read from /proc/self/statm after a warm-up and at the end; the run fails (exit 1) when
// it grew by more than 4 MB, which a leak of even a few bytes per cycle or per block would exceed. In a
// sanitizer build the leak sanitizer judges at exit instead.
// Run it in a scratch directory: the receiver appends its adaptation trace to "adapt.txt" there.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/AmiLibrary.h"
#include "tests/support/LinkStimulus.h"

namespace {

const double kBitTime = 3.571428571428571e-11;

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool Report(const char* what, long count, double startMb, double endMb, double seconds) {
    const double growth = endMb - startMb;
    std::printf("%-26s %10ld  RSS after warm-up %7.1f MB, at end %7.1f MB, growth %+6.2f MB  (%.1f s)\n", what,
                count, startMb, endMb, growth, seconds);
#ifdef KELVANE_SANITIZED
    return true;  // the sanitizer's quarantine holds freed memory; its leak check judges instead
#else
    return growth <= 4.0;
#endif
}

// Cycles of one model: init, one block of a link signal, close.
bool Cycles(const char* path, const char* name, long cycles, double samplesPerBit) {
    const AmiLibrary lib(path);
    const std::vector<double> signal = LossyPrbsWave(8, static_cast<int>(samplesPerBit));
    const long warmUp = cycles < 100 ? 1 : cycles / 10;
    double startMb = 0.0;
    const auto start = std::chrono::steady_clock::now();
    for (long c = 0; c < cycles; ++c) {
        if (c == warmUp) startMb = ResidentMegabytes();
        AmiSession session(lib, std::string("(") + name + ")", kBitTime / samplesPerBit, kBitTime);
        if (session.initResult != 1) {
            std::fprintf(stderr, "%s: AMI_Init failed: %s\n", name, session.message.c_str());
            return false;
        }
        std::vector<double> wave = signal;
        if (session.GetWave(wave.data(), wave.size()) != 1 || session.Close() != 1) {
            std::fprintf(stderr, "%s: AMI_GetWave or AMI_Close failed in cycle %ld\n", name, c);
            return false;
        }
    }
    return Report((std::string(name) + " init/wave/close").c_str(), cycles, startMb, ResidentMegabytes(),
                  Seconds(start));
}

bool Samples(const char* path, long long samples) {
    const AmiLibrary lib(path);
    const int samplesPerBit = 16;
    AmiSession session(lib, "(kelvane_rx)", kBitTime / samplesPerBit, kBitTime);
    const std::vector<double> signal = LossyPrbsWave(65536 / samplesPerBit, samplesPerBit);
    std::vector<double> wave;
    double startMb = 0.0;
    const auto start = std::chrono::steady_clock::now();
    long long done = 0;
    for (long block = 0; done < samples; ++block) {
        if (block == 16) startMb = ResidentMegabytes();
        wave = signal;
        const std::size_t n = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(wave.size()), samples - done));
        if (session.GetWave(wave.data(), n) != 1) {
            std::fprintf(stderr, "kelvane_rx: AMI_GetWave failed after %lld samples\n", done);
            return false;
        }
        done += static_cast<long long>(n);
    }
    const double seconds = Seconds(start);
    const bool flat = Report("kelvane_rx samples", static_cast<long>(done), startMb, ResidentMegabytes(), seconds);
    std::printf("%-26s %10.2f M samples/s\n", "", static_cast<double>(done) / seconds / 1e6);
    return flat;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "cycles") != 0 && std::strcmp(argv[1], "samples") != 0)) {
        std::fprintf(stderr, "usage: %s cycles N | samples N\n", argv[0]);
        return 2;
    }
    const long long n = std::atoll(argv[2]);
    bool ok;
    if (std::strcmp(argv[1], "cycles") == 0) {
        ok = Cycles(KELVANE_TX_LIBRARY, "kelvane_tx", static_cast<long>(n), 32.0);
        ok = Cycles(KELVANE_RX_LIBRARY, "kelvane_rx", static_cast<long>(n), 16.0) && ok;
    } else {
        ok = Samples(KELVANE_RX_LIBRARY, n);
    }
    return ok ? 0 : 1;
}
