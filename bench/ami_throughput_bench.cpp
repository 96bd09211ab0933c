// AMI_GetWave throughput of the model libraries, driven through dlopen as a simulator drives them, and the
// time the receiver takes to complete a full adaptation.
//   build/x64/bench/kelvane_bench

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/AdaptTrace.h"
#include "tests/support/AmiLibrary.h"
#include "tests/support/LinkStimulus.h"

namespace {

const double kBitTime = 3.571428571428571e-11;
const std::string kKit = KELVANE_KIT_DIR;

const AmiLibrary& Tx() {
    static const AmiLibrary lib(kKit + "/kelvane_tx_x64.so");
    return lib;
}
const AmiLibrary& Rx() {
    static const AmiLibrary lib(kKit + "/kelvane_rx_x64.so");
    return lib;
}

// Runs blocks of state.range(0) samples of a long PRBS wave through one instance, wrapping around the wave.
void Throughput(benchmark::State& state, const AmiLibrary& lib, const std::string& parameters, int samplesPerBit) {
    const std::size_t block = static_cast<std::size_t>(state.range(0));
    const std::vector<double> source = LossyPrbsWave(20000, samplesPerBit);
    AmiSession session(lib, parameters, kBitTime / samplesPerBit, kBitTime);
    std::vector<double> wave(block), times(block + 1);
    std::size_t at = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < block; ++i) wave[i] = source[(at + i) % source.size()];
        at += block;
        lib.getWave(wave.data(), static_cast<long>(block), times.data(), nullptr, session.handle);
        benchmark::DoNotOptimize(wave.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(block));
    state.counters["samples/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(block), benchmark::Counter::kIsRate);
}

void TxGetWave32SamplesPerBit(benchmark::State& state) {
    Throughput(state, Tx(), "(kelvane_tx (c0 15) (c1 2) (cm1 4))", 32);
}
void RxGetWave16SamplesPerBitAdapting(benchmark::State& state) {
    // The trace goes to a scratch directory so that benchmarking leaves nothing behind.
    char dir[] = "/tmp/kelvane_benchXXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) state.SkipWithError("no scratch directory");
    Throughput(state, Rx(), "(kelvane_rx (CTLEAdapt 1) (DFEAdapt 1))", 16);
}

// Wall time of a whole adaptation at the default eye window: the sweep of the 16 table entries and the DFE
// hill climb, from the model's start to the last trace line (no new line for far longer than one
// measurement cycle of 48000 samples means the search has ended).
std::size_t CountLines(const char* path) {
    std::ifstream in(path);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
}

void RxFullAdaptation(benchmark::State& state) {
    char dir[] = "/tmp/kelvane_adaptXXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) state.SkipWithError("no scratch directory");
    const std::size_t block = 16384;
    const std::vector<double> source = LossyPrbsWave(400000, 16);
    double seconds = 0.0;
    std::size_t samplesAtLastLine = 0;
    std::size_t lines = 0;
    for (auto _ : state) {
        std::remove("adapt.txt");
        AmiSession session(Rx(), "(kelvane_rx)", kBitTime / 16, kBitTime);
        std::vector<double> wave(block), times(block + 1);
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t at = 0; at + block <= source.size(); at += block) {
            std::copy(source.begin() + static_cast<long>(at), source.begin() + static_cast<long>(at + block), wave.begin());
            Rx().getWave(wave.data(), static_cast<long>(block), times.data(), nullptr, session.handle);
            const std::size_t now = CountLines("adapt.txt");
            if (now != lines) {
                lines = now;
                samplesAtLastLine = at + block;
                seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            } else if (lines > 17 && at + block - samplesAtLastLine > 200000) {
                break;
            }
        }
    }
    state.counters["adaptation_s"] = seconds;
    state.counters["adaptation_samples"] = static_cast<double>(samplesAtLastLine);
    state.counters["trace_lines"] = static_cast<double>(lines > 0 ? lines - 1 : 0);
}

}  // namespace

BENCHMARK(TxGetWave32SamplesPerBit)->Arg(1024)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(RxGetWave16SamplesPerBitAdapting)->Arg(1024)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(RxFullAdaptation)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
