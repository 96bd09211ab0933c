// libFuzzer target: one model instance, started with valid settings the input chooses, then driven through
// AMI_GetWave with blocks of random size (empty ones included) whose samples are a link signal with
// NaN, infinite, huge and denormal values put in, or made of such values entirely.
//
// Beyond the sanitizers' reports the target traps when a call breaks what a host relies on: a result of
// 1 for a started model, clock times within the host's array and terminated, and a model that still gives
// finite output for a clean signal once bad samples have passed.

#include "fuzz/models/FuzzHost.h"

#include <string>

using namespace fuzz_host;

namespace {

constexpr std::size_t kMaxSamples = 24000;  // per input, so that each input stays quick
constexpr std::size_t kMaxBlock = 4096;

// Valid settings. At 1 to 4 samples per bit with short eye measurements the receiver's start gate opens
// (after 5000 clock periods) and it measures within one input.
std::string Settings(FuzzedDataProvider& in, double& sampleInterval) {
#if defined(KELVANE_FUZZ_RX)
    sampleInterval = kBitTime / in.PickValueInArray({1, 2, 3, 4, 16, 32});
    return "(kelvane_rx (Rx_config " + std::to_string(in.ConsumeIntegralInRange(0, 1)) + ") (EOM_window " +
           std::to_string(in.PickValueInArray({1, 2, 5, 200})) + ") (CTLEAdapt " +
           std::to_string(in.ConsumeIntegralInRange(0, 1)) + ") (DFEAdapt " +
           std::to_string(in.ConsumeIntegralInRange(0, 1)) + ") (CTLE " + std::to_string(in.ConsumeIntegralInRange(0, 15)) +
           ") (DFEtap1 " + std::to_string(in.ConsumeIntegralInRange(-31, 31)) + "))";
#else
    sampleInterval = kBitTime / in.PickValueInArray({1, 2, 16, 32, 64});
    return "(kelvane_tx (c0 " + std::to_string(in.ConsumeIntegralInRange(0, 31)) + ") (c1 " +
           std::to_string(in.ConsumeIntegralInRange(0, 15)) + ") (cm1 " + std::to_string(in.ConsumeIntegralInRange(0, 15)) +
           ") (c0_sign " + std::to_string(in.ConsumeIntegralInRange(0, 1)) + "))";
#endif
}

// A ±0.5 V PRBS-7 signal through a first-order low pass, continued from block to block.
struct LinkSignal {
    unsigned state = 0x7f;
    double y = 0.0;
    int phase = 0;
    double bit = 0.5;
    double Next(int samplesPerBit) {
        if (phase++ % samplesPerBit == 0) {
            const unsigned b = ((state >> 6) ^ (state >> 5)) & 1u;
            state = ((state << 1) | b) & 0x7fu;
            bit = b ? 0.5 : -0.5;
        }
        y += 0.2 * (bit - y);
        return y;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    double sampleInterval = 0.0;
    std::string parameters = Settings(in, sampleInterval);
    const int samplesPerBit = static_cast<int>(kBitTime / sampleInterval + 0.5);
    void* handle = nullptr;
    char* message = nullptr;
    Require(AMI_Init(nullptr, 0, 0, sampleInterval, kBitTime, &parameters[0], nullptr, &handle, &message) == 1);

    LinkSignal link;
    std::size_t total = 0;
    while (in.remaining_bytes() > 0 && total < kMaxSamples) {
        const std::size_t n = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::size_t>(0, 3)
                                               : in.ConsumeIntegralInRange<std::size_t>(0, kMaxBlock);
        HostBlock block(n);
        const int fill = in.ConsumeIntegralInRange(0, 3);
        for (std::size_t i = 0; i < n; ++i) block.wave[i] = link.Next(samplesPerBit);
        if (fill == 0) {
            for (std::size_t i = 0; i < n && in.remaining_bytes() > 0; ++i) block.wave[i] = Sample(in);
        } else if (fill == 1 && n > 0) {
            const double bad = Sample(in);
            for (std::size_t i = 0; i < n; ++i) block.wave[i] = bad;
        } else if (n > 0) {
            const int hits = in.ConsumeIntegralInRange(0, 4);
            for (int h = 0; h < hits; ++h) block.wave[in.ConsumeIntegralInRange<std::size_t>(0, n - 1)] = Sample(in);
        }
        if (in.ConsumeIntegralInRange(0, 31) == 0) {
            Require(AMI_GetWave(block.wave.get(), static_cast<long>(n), nullptr, nullptr, handle) == 1);
        } else {
            Require(CallGetWave(handle, block) == 1);
        }
        total += n;
    }

    // Whatever passed before, a clean signal gives finite output again once the filters' histories have
    // flushed it (the longest is the transmitter's stored response: 807 taps at 32 samples per bit).
    const std::size_t flush = 4096;
    HostBlock clean(flush);
    for (std::size_t i = 0; i < flush; ++i) clean.wave[i] = link.Next(samplesPerBit);
    Require(CallGetWave(handle, clean) == 1);
    for (std::size_t i = flush - 256; i < flush; ++i) Require(std::isfinite(clean.wave[i]));
    Require(AMI_Close(handle) == 1);
    return 0;
}
