// Eight threads, each with its own transmitter and receiver over the same long link, give exactly what one
// thread alone gives; their receivers, appending to one "adapt.txt", leave only whole lines. Run under the
// thread sanitizer as well (tools/setup/sanitize.sh).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rx/AdaptTraceFile.h"
#include "rx/KelvaneRx.h"
#include "tests/hardening/FullParameterString.h"
#include "tests/support/AmiLibrary.h"
#include "tests/support/LinkStimulus.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/WaveDigest.h"
#include "tx/KelvaneTx.h"

namespace {

const double kBitTime = 3.571428571428571e-11;
const int kSamplesPerBit = 4;
const std::size_t kBlock = 2048;
constexpr int kThreads = 8;

struct LinkResult {
    std::uint64_t txDigest = 0;
    std::uint64_t rxDigest = 0;  // output and clock times
    std::size_t clockTimes = 0;
    long status = 1;
};

// Transmitter, then a lossy channel (a first-order low pass), then receiver, block by block. Short eye
// measurements let the receiver sweep its equaliser and climb its taps within the run.
LinkResult RunLink(const AmiLibrary& tx, const AmiLibrary& rx, const std::vector<double>& bits) {
    const double interval = kBitTime / kSamplesPerBit;
    AmiSession transmitter(tx, FullParameterString<kelvane_tx>(), interval, kBitTime);
    AmiSession receiver(rx, FullParameterString<kelvane_rx>("(EOM_window 100)"), interval, kBitTime);
    LinkResult r;
    r.status = transmitter.initResult & receiver.initResult;
    std::vector<double> sent(bits), received, clocks;
    double y = 0.0;
    for (std::size_t start = 0; start < sent.size(); start += kBlock) {
        const std::size_t n = std::min(kBlock, sent.size() - start);
        r.status &= transmitter.GetWave(sent.data() + start, n);
        std::vector<double> block(sent.begin() + static_cast<long>(start), sent.begin() + static_cast<long>(start + n));
        for (double& x : block) x = y += 0.25 * (x - y);
        r.status &= receiver.GetWave(block.data(), n, &clocks);
        received.insert(received.end(), block.begin(), block.end());
    }
    r.txDigest = WaveDigest(sent);
    r.rxDigest = WaveDigest(clocks, WaveDigest(received));
    r.clockTimes = clocks.size();
    return r;
}

std::map<std::string, int> LineCounts(const std::string& text, int times) {
    std::map<std::string, int> counts;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) counts[line] += times;
    return counts;
}

}  // namespace

TEST(Concurrency, EightThreadsGiveTheSerialResultsAndWholeTraceLines) {
    const AmiLibrary tx(KELVANE_TX_LIBRARY);
    const AmiLibrary rx(KELVANE_RX_LIBRARY);
    // Past the start gate (20000 samples) and through the equaliser sweep (16000 samples a step); under a
    // sanitizer, ten times slower, into the sweep.
#ifdef KELVANE_SANITIZED
    const std::vector<double> bits = LossyPrbsWave(20000, kSamplesPerBit, 0.0);
#else
    const std::vector<double> bits = LossyPrbsWave(100000, kSamplesPerBit, 0.0);
#endif

    std::string serialTrace;
    LinkResult serial;
    {
        ScopedTempDir dir;
        serial = RunLink(tx, rx, bits);
        serialTrace = dir.Read("adapt.txt");
    }
    ASSERT_EQ(serial.status, 1);
    ASSERT_GT(serial.clockTimes, bits.size() / kSamplesPerBit * 9 / 10);
    ASSERT_GT(LineCounts(serialTrace, 1).size(), 3u) << serialTrace;  // the header and measurements

    ScopedTempDir dir;
    std::vector<LinkResult> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back([&, t] { results[static_cast<std::size_t>(t)] = RunLink(tx, rx, bits); });
    for (std::thread& thread : threads) thread.join();
    for (const LinkResult& r : results) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.txDigest, serial.txDigest);
        EXPECT_EQ(r.rxDigest, serial.rxDigest);
    }
    // Each receiver's lines, each whole, eight times over, in whatever order they were written.
    EXPECT_EQ(LineCounts(dir.Read("adapt.txt"), 1), LineCounts(serialTrace, kThreads));
}

TEST(Concurrency, ReceiversStartingTogetherWriteWholeTraceLines) {
    // Every start appends the trace's header; eight threads start receivers over and over at once.
    const AmiLibrary rx(KELVANE_RX_LIBRARY);
    constexpr int kStarts = 100;
    ScopedTempDir dir;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            ++ready;
            while (ready.load() < kThreads) {
            }
            for (int k = 0; k < kStarts; ++k) AmiSession s(rx, "", kBitTime / kSamplesPerBit, kBitTime);
        });
    }
    for (std::thread& thread : threads) thread.join();
    const std::map<std::string, int> expected = {{std::string(kAdaptTraceHeaderLine), kThreads * kStarts}};
    EXPECT_EQ(LineCounts(dir.Read("adapt.txt"), 1), expected);
}
