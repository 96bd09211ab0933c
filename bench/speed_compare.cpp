// Fast paths against the reference path, side by side in one run: AMI_GetWave throughput of both models,
// a full receiver adaptation and the cost of single blocks. Prints one Markdown table; the ratio column is
// the figure to trust, since both paths see the same machine load. Times are the thread's CPU time, best
// of several alternating rounds.
//   build/x64/bench/kelvane_speed [rounds] [section]
// where section, when given, is one of tx, rx, adaptation, blocks and runs that part alone.

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <tuple>
#include <random>
#include <string>
#include <vector>

#include "dsp/FIR.h"
#include "dsp/TimeResponseFIR.h"
#include "math/PortableMath.h"
#include "math/TanhBlock.h"
#include "rx/KelvaneRx.h"
#include "tests/support/InProcessModel.h"
#include "tests/support/LinkStimulus.h"
#include "tx/KelvaneTx.h"
#include "tx/TxResponseTable.h"

using Velmora::FirPath;

namespace {

const double kBitTime = 3.571428571428571e-11;
int rounds = 3;
const char* section = nullptr;  // null runs every section

bool Runs(const char* name) { return section == nullptr || std::string(section) == name; }

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// A workload runs once and returns the samples (or calls) it processed.
using Work = std::function<double()>;

double Rate(const Work& work) {
    const double start = CpuSeconds();
    const double items = work();
    return items / (CpuSeconds() - start);
}

const char* PathName(FirPath path) {
    switch (path) {
        case FirPath::Reference: return "reference";
        case FirPath::Sse2: return "SSE2";
        case FirPath::Avx2: return "AVX2";
        case FirPath::Avx512: return "AVX-512";
        default: return "fastest";
    }
}

// Alternates the reference and each fast workload, keeps each one's best rate and prints a row per fast one.
void Compare(const std::string& name, const std::string& unit, const Work& reference,
             const std::vector<std::pair<std::string, Work>>& fast) {
    double best = 0.0;
    std::vector<double> fastBest(fast.size(), 0.0);
    for (int r = 0; r < rounds; ++r) {
        best = std::max(best, Rate(reference));
        for (std::size_t i = 0; i < fast.size(); ++i) fastBest[i] = std::max(fastBest[i], Rate(fast[i].second));
    }
    for (std::size_t i = 0; i < fast.size(); ++i) {
        std::printf("| %s | %s | %.3g | %.3g | %.1f |\n", name.c_str(), fast[i].first.c_str(), best / 1e6,
                    fastBest[i] / 1e6, fastBest[i] / best);
    }
    if (fast.empty()) std::printf("| %s | (none) | %.3g | | |\n", name.c_str(), best / 1e6);
    std::fflush(stdout);
    (void)unit;
}

std::vector<FirPath> VectorPaths() {
    std::vector<FirPath> paths;
    for (FirPath p : {FirPath::Sse2, FirPath::Avx2, FirPath::Avx512})
        if (Velmora::FirKernelFor(p) != nullptr) paths.push_back(p);
    return paths;
}

// AMI_GetWave of a model on a wave, in blocks, through sessions that live as long as the comparison.
template <typename Model>
void CompareModel(const std::string& name, const std::string& parameters, int samplesPerBit, std::size_t block,
                  std::size_t referenceSamples, std::size_t fastSamples, std::size_t warmUp) {
    const std::vector<double> source = LossyPrbsWave(40000, samplesPerBit);
    auto session = [&](FirPath path) {
        auto s = std::make_shared<InProcessModel<Model>>(parameters, kBitTime / samplesPerBit, kBitTime, path);
        auto state = std::make_shared<std::size_t>(0);
        auto wave = std::make_shared<std::vector<double>>(block);
        auto times = std::make_shared<std::vector<double>>(block + 1);
        auto run = [=, &source](std::size_t samples) {
            for (std::size_t done = 0; done < samples; done += block) {
                // The source holds a whole number of blocks.
                std::copy(source.begin() + static_cast<long>(*state),
                          source.begin() + static_cast<long>(*state + block), wave->begin());
                *state = (*state + block) % source.size();
                s->GetWave(wave->data(), static_cast<long>(block), times->data());
            }
            return static_cast<double>(samples);
        };
        run(warmUp);
        return run;
    };
    auto reference = session(FirPath::Reference);
    std::vector<std::pair<std::string, Work>> fast;
    for (FirPath p : VectorPaths()) {
        auto run = session(p);
        fast.emplace_back(PathName(p), [=] { return run(fastSamples); });
    }
    Compare(name, "samples/s", [=] { return reference(referenceSamples); }, fast);
}

std::size_t CountLines(const char* path) {
    std::ifstream in(path);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
}

// CPU time from the receiver's start to the last line of a whole adaptation (equaliser sweep and DFE
// hill climb) at 32 samples per bit, in blocks of 1024 samples.
double AdaptationSeconds(FirPath path) {
    const int spb = 32;
    const std::size_t block = 1024;
    const std::vector<double> source = LossyPrbsWave(100000, spb);
    std::remove("adapt.txt");
    InProcessModel<kelvane_rx> rx("(kelvane_rx)", kBitTime / spb, kBitTime, path);
    std::vector<double> wave(block), times(block + 1);
    std::size_t lines = 0, lastLineAt = 0;
    double seconds = 0.0, busy = 0.0;
    for (std::size_t at = 0; at + block <= source.size(); at += block) {
        std::copy(source.begin() + static_cast<long>(at), source.begin() + static_cast<long>(at + block), wave.begin());
        const double start = CpuSeconds();
        rx.GetWave(wave.data(), static_cast<long>(block), times.data());
        busy += CpuSeconds() - start;
        if (at % (16 * block) != 0) continue;
        const std::size_t now = CountLines("adapt.txt");
        if (now != lines) {
            lines = now;
            lastLineAt = at;
            seconds = busy;
        } else if (lines > 17 && at - lastLineAt > 400000) {
            break;
        }
    }
    std::printf("<!-- %s adaptation: %zu trace lines, last after %zu samples -->\n", PathName(path), lines, lastLineAt);
    return seconds;
}

void CompareAdaptation() {
    double reference = 1e9, fast = 1e9;
    for (int r = 0; r < std::max(1, rounds - 1); ++r) {
        reference = std::min(reference, AdaptationSeconds(FirPath::Reference));
        fast = std::min(fast, AdaptationSeconds(FirPath::Fastest));
    }
    std::printf("| Rx full adaptation, 32 samples per bit [s] | %s | %.3g | %.3g | %.1f |\n",
                PathName(FirPath::Fastest), reference, fast, reference / fast);
}

// A FIR filter block on its own: sample-by-sample Runs against whole blocks.
void CompareFir(const std::string& name, Velmora::FIR<double, 0>& fir, std::size_t samples) {
    Velmora::CircularBuffer<double> in, out;
    std::vector<double> inData(1), outData(1);
    fir.input.Attach(inData.data(), 1);
    fir.output.Attach(outData.data(), 1);
    fir.Initialize();
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    std::vector<double> x(samples), y(samples);
    for (double& v : x) v = u(rng);
    Work reference = [&] {
        for (std::size_t i = 0; i < samples / 8; ++i) {
            inData[0] = x[i];
            fir.Run();
            y[i] = outData[0];
        }
        return static_cast<double>(samples / 8);
    };
    std::vector<std::pair<std::string, Work>> fast;
    for (FirPath p : VectorPaths()) {
        fast.emplace_back(PathName(p), [&fir, &x, &y, p, samples] {
            fir.SelectPath(p);
            fir.FilterSamples(x.data(), y.data(), samples);
            return static_cast<double>(samples);
        });
    }
    Compare(name, "samples/s", reference, fast);
    fir.Finalize();
}

double SinCosSum(double x) {
    double sine = 0.0, cosine = 0.0;
    Velmora::pm::SinCos(x, sine, cosine);
    return sine + cosine;
}

void CompareMaths() {
    const std::size_t n = 1 << 20;
    std::vector<double> args(n);
    std::mt19937 rng(2);
    // Argument ranges: the oscillator's phase (wide), the quadrature shifter's sine (within one turn), levels.
    const double kPi = 3.141592653589793;
    std::uniform_real_distribution<double> phase(0.0, 2 * kPi * 1e4), turn(-kPi, kPi), level(-2.0, 2.0),
        unit(-1.0, 1.0);
    volatile double sink = 0.0;
    for (auto [name, f, range] : std::vector<std::tuple<const char*, double (*)(double), decltype(&phase)>>{
             {"Cos", Velmora::pm::Cos, &phase}, {"Sin", Velmora::pm::Sin, &phase},
             {"SinCos", SinCosSum, &phase}, {"Sin within one turn", Velmora::pm::Sin, &turn},
             {"Asin", Velmora::pm::Asin, &unit}, {"Tanh", Velmora::pm::Tanh, &level}}) {
        for (double& a : args) a = (*range)(rng);
        Compare(std::string("maths ") + name + " [M calls/s]", "calls/s", [&, f = f] {
            double s = 0.0;
            for (double a : args) s += f(a);
            sink = s;
            return static_cast<double>(n);
        }, {});
    }
}

// The receiver's gain stage on a block of equalised samples: the scalar loop against each vector kernel.
void CompareTanhBlock() {
    constexpr std::size_t kBlock = 1024;
    constexpr int kRepeats = 256;
    constexpr double kAmplitude = 0.3432, kSlope = 3.42;  // the gain stage's first setting
    std::vector<double> in(kBlock), out(kBlock);
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> level(-0.5, 0.5);
    for (double& x : in) x = level(rng);
    Work scalar = [&] {
        for (int r = 0; r < kRepeats; ++r)
            for (std::size_t k = 0; k < kBlock; ++k) out[k] = kAmplitude * Velmora::pm::Tanh(kSlope * in[k]);
        return static_cast<double>(kRepeats * kBlock);
    };
    std::vector<std::pair<std::string, Work>> fast;
    using Velmora::pm::TanhLanes;
    for (auto [name, lanes] : {std::pair{"SSE2", TanhLanes::Sse2}, std::pair{"AVX2", TanhLanes::Avx2},
                               std::pair{"AVX-512", TanhLanes::Avx512}}) {
        if (Velmora::pm::ScaledTanhKernel kernel = Velmora::pm::ScaledTanhKernelFor(lanes)) {
            fast.emplace_back(name, [&, kernel] {
                for (int r = 0; r < kRepeats; ++r) kernel(in.data(), out.data(), kBlock, kAmplitude, kSlope);
                return static_cast<double>(kRepeats * kBlock);
            });
        }
    }
    Compare("maths Tanh, block of 1024 [M samples/s]", "samples/s", scalar, fast);
}

// The clock-recovery loop and the eye monitor, fired on their own inside a receiver, in the network's order.
// The loop sees random data bits at 16 samples per bit: every block fired (the reference) against the
// lazy firing.
void CompareReceiverBlocks() {
    InProcessModel<kelvane_rx> rx("(kelvane_rx)", kBitTime / 16, kBitTime, FirPath::Reference);
    kelvane_rx& m = rx.Instance().model;
    ClockRecoverySection& cr = m.clockRecovery;
    const std::size_t n = 1 << 19;
    auto loop = [&](bool lazily) {
        return [&cr, n, lazily] {
            std::uint32_t bits = 0x2545F491u;
            for (std::size_t i = 0; i < n; ++i) {
                if (i % 16 == 0) bits = bits * 1664525u + 1013904223u;
                cr.detectorInputs[2][0] = (bits >> 31) ? 0.2 : -0.2;
                if (lazily) {
                    cr.FireLazily();
                } else {
                    cr.Fire();
                }
            }
            return static_cast<double>(n);
        };
    };
    Compare("clock-recovery loop, random data bits [M samples/s]", "samples/s", loop(false), {{"lazy", loop(true)}});
    Compare("eye monitor, per sample [M samples/s]", "samples/s", [&] {
        for (std::size_t i = 0; i < n; ++i) {
            m.eyeMonitor.clockInput[0] = static_cast<int>((i / 8) & 1);
            m.eyeMonitor.dataInput[0] = (i & 1) ? 0.1 : -0.1;
            m.eyeMonitor.controlInput[0] = 0;
            m.eyeMonitor.Run();
        }
        return static_cast<double>(n);
    }, {});
}

// The cost of single blocks: the two FIR filters, the maths functions, the clock-recovery loop, the eye monitor.
void CompareBlocks() {
    Velmora::TimeResponseFIR txResponse;
    std::vector<double> values(txResponseValues, txResponseValues + kTxResponseLength);
    std::vector<double> stamps(txResponseTimes, txResponseTimes + kTxResponseLength);
    txResponse.ResponseType = Velmora::TimeResponseFIR::ImpulseResponse;
    txResponse.Response = values.data();
    txResponse.ResponseTimeStamps = stamps.data();
    txResponse.NumberOfResponseValues = txResponse.NumberOfTimeStamps = kTxResponseLength;
    txResponse.SampleRate = 32 / kBitTime;
    txResponse.Setup();
    CompareFir("time-response FIR, transmitter response (" + std::to_string(txResponse.NumberOfTaps) + " taps)",
               txResponse, 1 << 22);

    Velmora::FIR<double, 0> fir;
    std::vector<double> taps(448);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-0.1, 0.1);
    for (double& t : taps) t = u(rng);
    fir.Taps = taps.data();
    fir.NumberOfTaps = static_cast<std::int32_t>(taps.size());
    fir.Setup();
    CompareFir("FIR, 448 non-zero taps (the equaliser at 16 samples per bit)", fir, 1 << 20);

    CompareMaths();
    CompareTanhBlock();
    CompareReceiverBlocks();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) rounds = std::max(1, std::atoi(argv[1]));
    if (argc > 2) section = argv[2];
    char dir[] = "/tmp/kelvane_speedXXXXXX";  // the receiver writes its trace into the working directory
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) return 1;

    std::printf("| Measurement | Fast path | Reference [M/s] | Fast [M/s] | Ratio |\n|---|---|---|---|---|\n");
    if (Runs("tx"))
        CompareModel<kelvane_tx>("Tx AMI_GetWave, 32 samples per bit, blocks of 1024", "(kelvane_tx (c0 15) (c1 2) (cm1 4))",
                                 32, 1024, 1 << 19, 1 << 24, 1 << 16);
    if (Runs("rx")) {
        CompareModel<kelvane_rx>("Rx AMI_GetWave, 16 samples per bit, adapting, blocks of 1024", "(kelvane_rx)", 16, 1024,
                                 1 << 18, 1 << 20, 100000);
        CompareModel<kelvane_rx>("Rx AMI_GetWave, 32 samples per bit, adapting, blocks of 1024", "(kelvane_rx)", 32, 1024,
                                 1 << 18, 1 << 20, 200000);
    }
    if (Runs("adaptation")) CompareAdaptation();
    if (Runs("blocks")) CompareBlocks();

    std::remove("adapt.txt");
    rmdir(dir);
    return 0;
}
