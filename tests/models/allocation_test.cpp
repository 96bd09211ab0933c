// AMI_GetWave allocates nothing, apart from the equaliser's new taps when the adaptation engine switches
// its response and the clock-time list when a call brings a larger block than any before. Counted by
// replacing operator new in this test program (counting only while a test asks for it).

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "rx/KelvaneRx.h"
#include "tests/support/InProcessModel.h"
#include "tests/support/LinkStimulus.h"
#include "tests/support/ScopedTempDir.h"
#include "tx/KelvaneTx.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

const double kBitTime = 3.571428571428571e-11;
const std::size_t kBlocks[] = {65536, 1, 1024, 1025, 37, 4096, 333};

// Runs the wave through the model in varied blocks (the largest first) and returns, per call, the
// allocations it made; `switched` tells per call whether the receiver's equaliser changed its response.
template <typename Model>
std::vector<long> AllocationsPerCall(InProcessModel<Model>& model, std::vector<double> wave, std::vector<bool>* switched) {
    std::vector<double> times(65537);
    std::vector<long> perCall;
    std::size_t at = 0;
    for (std::size_t k = 0; at < wave.size(); ++k) {
        const std::size_t n = std::min(kBlocks[k % 7], wave.size() - at);
        int before = 0;
        if constexpr (std::is_same_v<Model, kelvane_rx>) before = model.Instance().model.equaliserSection.equaliser.loadedIndex;
        allocations = 0;
        counting = true;
        model.GetWave(wave.data() + at, static_cast<long>(n), times.data());
        counting = false;
        if (k > 0) perCall.push_back(allocations.load());
        if constexpr (std::is_same_v<Model, kelvane_rx>) {
            if (k > 0) switched->push_back(model.Instance().model.equaliserSection.equaliser.loadedIndex != before);
        }
        at += n;
    }
    return perCall;
}

}  // namespace

TEST(Allocation, GetWaveAllocatesOnlyForAnEqualiserSwitch) {
    ScopedTempDir dir;
    for (Velmora::FirPath path : {Velmora::FirPath::Reference, Velmora::FirPath::Fastest}) {
        InProcessModel<kelvane_tx> tx("(kelvane_tx)", kBitTime / 32, kBitTime, path);
        for (long n : AllocationsPerCall(tx, LossyPrbsWave(3000, 32), nullptr)) ASSERT_EQ(n, 0);
    }
    // The start of the equaliser sweep.
    InProcessModel<kelvane_rx> rx("(kelvane_rx (EOM_window 50))", kBitTime / 16, kBitTime, Velmora::FirPath::Fastest);
    std::vector<bool> switched;
    const std::vector<long> perCall = AllocationsPerCall(rx, LossyPrbsWave(9000, 16), &switched);
    int callsWithSwitch = 0;
    for (std::size_t k = 0; k < perCall.size(); ++k) {
        if (switched[k]) {
            ++callsWithSwitch;
        } else {
            ASSERT_EQ(perCall[k], 0) << "call " << k;
        }
    }
    EXPECT_GE(callsWithSwitch, 1);
}
