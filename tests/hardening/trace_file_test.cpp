// The receiver's adaptation trace goes to "adapt.txt" in the current directory. A directory the trace
// cannot be written to (read-only, deleted, full, or with something else in the trace's place) changes
// nothing but the trace: the receiver runs and its output and clock times stay bit-identical.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rx/KelvaneRx.h"
#include "tests/hardening/FullParameterString.h"
#include "tests/support/AmiLibrary.h"
#include "tests/support/LinkStimulus.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/WaveDigest.h"

namespace {

const double kBitTime = 3.571428571428571e-11;

struct RxRun {
    long status = 0;
    std::uint64_t digest = 0;
};

// Past the start gate (20000 samples at 4 samples per bit) and through several eye measurements, each of
// which appends a trace line.
RxRun RunReceiver() {
    static const AmiLibrary rx(KELVANE_RX_LIBRARY);
    AmiSession s(rx, FullParameterString<kelvane_rx>("(EOM_window 20)"), kBitTime / 4, kBitTime);
    std::vector<double> wave = LossyPrbsWave(15000, 4, 2.0), clocks;
    RxRun r;
    r.status = s.initResult & s.Process(wave, 4096, &clocks);
    r.digest = WaveDigest(clocks, WaveDigest(wave));
    return r;
}

// "Full": files may not grow beyond a few bytes, and the signal that would end the process for it is
// ignored, so writes fail with EFBIG as they fail with ENOSPC on a full disk.
void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& body) {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = bytes;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    body();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
}

}  // namespace

TEST(TraceFile, AnUnwritableTraceChangesNothingButTheTrace) {
    RxRun reference;
    {
        ScopedTempDir dir;
        reference = RunReceiver();
        const std::string trace = dir.Read("adapt.txt");
        ASSERT_GE(std::count(trace.begin(), trace.end(), '\n'), 3) << trace;  // the header and measurement lines
    }
    ASSERT_EQ(reference.status, 1);

    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> places = {
        {"read-only directory", [](const std::string& d) { chmod(d.c_str(), 0555); }},
        {"read-only trace", [](const std::string&) { std::fclose(std::fopen("adapt.txt", "w")); chmod("adapt.txt", 0444); }},
        {"a directory in the trace's place", [](const std::string&) { mkdir("adapt.txt", 0755); }},
        {"a link to nowhere in its place", [](const std::string&) { ASSERT_EQ(symlink("gone/adapt.txt", "adapt.txt"), 0); }},
        {"deleted directory", [](const std::string& d) { ASSERT_EQ(rmdir(d.c_str()), 0); }},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.first);
        ScopedTempDir dir;
        place.second(dir.path());
        const RxRun run = RunReceiver();
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.digest, reference.digest);
        chmod(dir.path().c_str(), 0755);
    }
    {
        SCOPED_TRACE("full file system");
        ScopedTempDir dir;
        RxRun full;
        WithFileSizeLimit(100, [&full] { full = RunReceiver(); });
        EXPECT_EQ(full.status, 1);
        EXPECT_EQ(full.digest, reference.digest);
        EXPECT_LE(dir.Read("adapt.txt").size(), 100u);
    }
}
