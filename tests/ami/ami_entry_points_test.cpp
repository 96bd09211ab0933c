// Drives the AMI entry points through dlopen, as a simulator does, using the test-only model library.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/AmiLibrary.h"

namespace {

const double kBitTime = 3.571428571428571e-11;
const double kSampleInterval = kBitTime / 32;  // 32 samples per bit
const char* kLibrary = KELVANE_AMI_TEST_MODEL;

const AmiLibrary& Library() {
    static const AmiLibrary lib(kLibrary);
    return lib;
}

std::string Warning(const std::string& name) {
    return "The IBIS-AMI model, ami_test_model, is unable to initialize the parameter " + name +
           " from the AMI_Init arguments.  The model will use the default setting. ";
}

std::string AllWarnings() {
    std::string text;
    for (const char* name : {"gain", "mode", "fail_setup", "fail_initialize", "fail_finalize", "fail_at",
                             "clock_every", "clock_nan", "codes.0", "codes.1", "codes.2"})
        text += Warning(name);
    return text;
}

const std::string kAllGiven =
    "(ami_test_model (gain 2) (mode 0) (fail_setup 0) (fail_initialize 0) (fail_finalize 0) (fail_at -1)"
    " (clock_every 0) (clock_nan 0) (codes (0 1) (1 2) (2 3)))";

// Output of mode 1: samples per bit as the model received it.
double SamplesPerBitSeen(double sampleInterval, double bitTime) {
    AmiSession s(Library(), "(ami_test_model (mode 1))", sampleInterval, bitTime);
    std::vector<double> wave(1, 0.0);
    s.Process(wave, 1);
    return wave[0];
}

}  // namespace

TEST(AmiInit, AllParametersGivenLeavesMessagePointerAlone) {
    char text[512];
    std::snprintf(text, sizeof text, "%s", kAllGiven.c_str());
    char* message = reinterpret_cast<char*>(0x1234);  // the caller's own value must survive
    void* handle = nullptr;
    EXPECT_EQ(Library().init(nullptr, 0, 0, kSampleInterval, kBitTime, text, nullptr, &handle, &message), 1);
    EXPECT_EQ(message, reinterpret_cast<char*>(0x1234));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(std::string(text), kAllGiven);  // the caller's text is never changed
    EXPECT_EQ(Library().close(handle), 1);
}

TEST(AmiInit, MissingOrUnparsableParametersWarnInTableOrder) {
    for (const char* parameters : {"", "   ", "ami_test_model (gain 2)", "(ami_test_model (gain 2)"}) {
        AmiSession s(Library(), parameters, kSampleInterval, kBitTime);
        EXPECT_EQ(s.initResult, 1);
        EXPECT_EQ(s.message, AllWarnings()) << parameters;
    }
    // A null parameter string is treated like one that does not parse.
    char* message = nullptr;
    void* handle = nullptr;
    EXPECT_EQ(Library().init(nullptr, 0, 0, kSampleInterval, kBitTime, nullptr, nullptr, &handle, &message), 1);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(std::string(message), AllWarnings());
    EXPECT_EQ(Library().close(handle), 1);
}

TEST(AmiInit, ReadsTypedValuesListsAndSiblingsWithoutBlanks) {
    AmiSession s(Library(), "(ami_test_model(gain 1.5)(mode 3)(codes (0 4)(2 6.9)))", kSampleInterval, kBitTime);
    EXPECT_EQ(s.initResult, 1);
    std::string expected;
    for (const char* name : {"fail_setup", "fail_initialize", "fail_finalize", "fail_at", "clock_every",
                             "clock_nan", "codes.1"})
        expected += Warning(name);
    EXPECT_EQ(s.message, expected);
    std::vector<double> wave = {0.0, 1.0, 2.0};  // mode 3 outputs codes[input]
    s.Process(wave, 3);
    EXPECT_EQ(wave, (std::vector<double>{4.0, 8.0, 6.0}));  // 6.9 truncates; codes.1 keeps its default
}

TEST(AmiInit, UnusableValuesKeepDefaults) {
    // A word, an integer beyond the int range and a boolean are not numbers of the accepted kind.
    AmiSession s(Library(), "(ami_test_model (gain x) (mode 1e99) (fail_at True))", kSampleInterval, kBitTime);
    EXPECT_EQ(s.initResult, 1);
    EXPECT_NE(s.message.find(Warning("gain")), std::string::npos);
    EXPECT_NE(s.message.find(Warning("mode")), std::string::npos);
    EXPECT_NE(s.message.find(Warning("fail_at")), std::string::npos);
    std::vector<double> wave = {0.25};
    s.Process(wave, 1);
    EXPECT_EQ(wave[0], 0.25);  // gain 1, mode 0
}

TEST(AmiInit, SamplesPerBitRoundsToNearest) {
    EXPECT_EQ(SamplesPerBitSeen(1.1161e-12, 3.5714e-11), 32.0);  // quotient 31.999
    EXPECT_EQ(SamplesPerBitSeen(1.0, 31.4), 31.0);
    EXPECT_EQ(SamplesPerBitSeen(1.0, 31.5), 32.0);
}

TEST(AmiInit, UnusableTimingFailsSetupAndStillHandsOutTheHandle) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double cases[][2] = {{0.0, kBitTime}, {-1e-12, kBitTime}, {nan, kBitTime}, {inf, kBitTime},
                               {kSampleInterval, 0.0}, {kSampleInterval, -kBitTime}, {kSampleInterval, nan},
                               {kSampleInterval, inf}, {1e-300, 1.0}, {1.0, 0.4}};
    for (const auto& timing : cases) {
        AmiSession s(Library(), kAllGiven, timing[0], timing[1]);
        EXPECT_EQ(s.initResult, 0) << timing[0] << " " << timing[1];
        ASSERT_NE(s.handle, nullptr);
        EXPECT_EQ(s.message.rfind("Error occurred in ami_test_model::Setup(). ", 0), 0u) << s.message;
        EXPECT_NE(s.message.find("samples per bit"), std::string::npos);
        // A host that calls AMI_GetWave anyway gets a failure, its wave back unchanged and only the
        // terminator, within its array: the model that failed to start is never run.
        std::vector<double> wave(4, 1.0), times(4, -2.0);
        EXPECT_EQ(Library().getWave(wave.data(), 4, times.data(), nullptr, s.handle), 0);
        EXPECT_EQ(wave, std::vector<double>(4, 1.0));
        EXPECT_EQ(times[0], -1.0);
        EXPECT_EQ(times[1], -2.0);
        EXPECT_EQ(s.Close(), 1);
    }
}

TEST(AmiInit, LifecycleFailuresAreReported) {
    {
        AmiSession s(Library(), "(ami_test_model (fail_setup 1) (fail_initialize 1))", kSampleInterval, kBitTime);
        EXPECT_EQ(s.initResult, 0);
        EXPECT_NE(s.message.find("Error occurred in ami_test_model::Setup(). "), std::string::npos);
        EXPECT_EQ(s.message.find("Initialize"), std::string::npos);  // not called after a failed Setup
        EXPECT_EQ(s.Close(), 1);
    }
    {
        AmiSession s(Library(), "(ami_test_model (fail_initialize 1))", kSampleInterval, kBitTime);
        EXPECT_EQ(s.initResult, 0);
        const std::string tail = "Error occurred in ami_test_model::Initialize(). ";
        ASSERT_GE(s.message.size(), tail.size());
        EXPECT_EQ(s.message.substr(s.message.size() - tail.size()), tail);
        EXPECT_EQ(s.Close(), 1);
    }
    {
        AmiSession s(Library(), "(ami_test_model (fail_finalize 1))", kSampleInterval, kBitTime);
        EXPECT_EQ(s.initResult, 1);
        EXPECT_EQ(s.Close(), 0);  // the instance is released all the same
    }
}

TEST(AmiGetWave, EmptyBlockWritesOnlyTheTerminator) {
    AmiSession s(Library(), "(ami_test_model (clock_every 1))", kSampleInterval, kBitTime);
    double times[3] = {-2.0, -2.0, -2.0};
    double unused = 5.0;
    EXPECT_EQ(Library().getWave(&unused, 0, times, nullptr, s.handle), 1);
    EXPECT_EQ(times[0], -1.0);
    EXPECT_EQ(times[1], -2.0);
    EXPECT_EQ(unused, 5.0);
}

TEST(AmiGetWave, KeepsTheLatestClockTimesWithinTheLimit) {
    // 64 samples at 32 samples per bit: limit 2 + 3 = 5 entries. Clock times at samples 0, 10, ..., 60.
    AmiSession s(Library(), "(ami_test_model (clock_every 10))", kSampleInterval, kBitTime);
    std::vector<double> wave(64, 0.0), times(65, -2.0);
    EXPECT_EQ(Library().getWave(wave.data(), 64, times.data(), nullptr, s.handle), 1);
    const double T = kBitTime / 32;
    EXPECT_EQ(times[0], 30 * T);
    EXPECT_EQ(times[1], 40 * T);
    EXPECT_EQ(times[2], 50 * T);
    EXPECT_EQ(times[3], 60 * T);
    EXPECT_EQ(times[4], -1.0);
    EXPECT_EQ(times[5], -2.0);
}

TEST(AmiGetWave, NeverWritesBeyondTheHostArray) {
    // One sample per bit and a clock time at every sample: the limit would be size + 3.
    for (long size : {1L, 2L, 3L, 7L}) {
        AmiSession s(Library(), "(ami_test_model (clock_every 1))", 1.0, 1.0);
        std::vector<double> wave(static_cast<std::size_t>(size), 0.0);
        std::vector<double> times(static_cast<std::size_t>(size) + 4, -2.0);
        EXPECT_EQ(Library().getWave(wave.data(), size, times.data(), nullptr, s.handle), 1);
        EXPECT_EQ(times[static_cast<std::size_t>(size) - 1], -1.0);  // terminator is the last entry written
        for (std::size_t i = static_cast<std::size_t>(size); i < times.size(); ++i) EXPECT_EQ(times[i], -2.0);
        if (size > 1) {
            EXPECT_EQ(times[static_cast<std::size_t>(size) - 2], static_cast<double>(size - 1));
        }
    }
}

TEST(AmiGetWave, NaNClockValuesAreNotClockTimes) {
    AmiSession s(Library(), "(ami_test_model (clock_every 4) (clock_nan 1))", kSampleInterval, kBitTime);
    std::vector<double> wave(8, 0.0), times(9, -2.0);
    EXPECT_EQ(Library().getWave(wave.data(), 8, times.data(), nullptr, s.handle), 1);
    const double T = kBitTime / 32;
    EXPECT_EQ(times[0], 0.0);
    EXPECT_EQ(times[1], 4 * T);
    EXPECT_EQ(times[2], -1.0);
}

TEST(AmiGetWave, RunFailureStopsAtThatSample) {
    AmiSession s(Library(), "(ami_test_model (gain 2) (fail_at 10) (clock_every 3))", kSampleInterval, kBitTime);
    std::vector<double> wave(100), times(101, -2.0);
    for (int i = 0; i < 100; ++i) wave[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(Library().getWave(wave.data(), 100, times.data(), nullptr, s.handle), 0);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(wave[static_cast<std::size_t>(i)], 2.0 * i);
    for (int i = 10; i < 100; ++i) EXPECT_EQ(wave[static_cast<std::size_t>(i)], i);
    const double T = kBitTime / 32;
    const std::vector<double> expected = {0, 3 * T, 6 * T, 9 * T, -1.0};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(times[i], expected[i]);
}

TEST(AmiGetWave, TimeLineRunsOnAcrossCalls) {
    AmiSession whole(Library(), "(ami_test_model (gain 3) (clock_every 5))", kSampleInterval, kBitTime);
    AmiSession split(Library(), "(ami_test_model (gain 3) (clock_every 5))", kSampleInterval, kBitTime);
    std::vector<double> a(257), b;
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = std::sin(0.1 * static_cast<double>(i));
    b = a;
    std::vector<double> clocksA, clocksB;
    whole.Process(a, a.size(), &clocksA);  // the limit drops early times of one big block
    split.Process(b, 5, &clocksB);
    EXPECT_EQ(a, b);
    ASSERT_EQ(clocksB.size(), 52u);
    EXPECT_EQ(clocksB.back(), 255 * (kBitTime / 32));
    // The whole block keeps only its latest floor(257/32) + 3 - 1 = 10 times.
    ASSERT_EQ(clocksA.size(), 10u);
    EXPECT_TRUE(std::equal(clocksA.begin(), clocksA.end(), clocksB.end() - 10));
}

TEST(AmiEntryPoints, NullPointersNeverCrash) {
    char text[] = "(ami_test_model (gain 2))";
    char* message = nullptr;
    EXPECT_EQ(Library().init(nullptr, 0, 0, kSampleInterval, kBitTime, text, nullptr, nullptr, &message), 0);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(Library().init(nullptr, 0, 0, kSampleInterval, kBitTime, text, nullptr, nullptr, nullptr), 0);
    void* handle = nullptr;
    EXPECT_EQ(Library().init(nullptr, 0, 0, kSampleInterval, kBitTime, text, nullptr, &handle, nullptr), 1);
    double wave[4] = {1, 2, 3, 4};
    double times[5];
    EXPECT_EQ(Library().getWave(wave, 4, times, nullptr, nullptr), 0);
    EXPECT_EQ(Library().getWave(nullptr, 4, times, nullptr, handle), 0);
    EXPECT_EQ(Library().getWave(wave, -1, times, nullptr, handle), 0);
    EXPECT_EQ(Library().getWave(wave, 4, nullptr, nullptr, handle), 1);
    EXPECT_EQ(wave[3], 8.0);
    EXPECT_EQ(Library().close(nullptr), 0);
    EXPECT_EQ(Library().close(handle), 1);
}

TEST(AmiEntryPoints, InstancesOnThreadsAreIndependent) {
    auto run = [](double gain, std::vector<double>& out) {
        AmiSession s(Library(), "(ami_test_model (gain " + std::to_string(gain) + "))", kSampleInterval, kBitTime);
        out.assign(5000, 0.5);
        for (int round = 0; round < 20; ++round) s.Process(out, 250);
    };
    std::vector<double> a, b;
    std::thread ta(run, 2.0, std::ref(a));
    std::thread tb(run, 0.5, std::ref(b));
    ta.join();
    tb.join();
    EXPECT_EQ(a[0], 0.5 * std::pow(2.0, 20));
    EXPECT_EQ(b[4999], 0.5 * std::pow(0.5, 20));
}

TEST(AmiEntryPoints, TwoCopiesOfOneLibraryLoadSideBySide) {
    // A second build of the same library under another file name must not share its symbols.
    const std::string copy = testing::TempDir() + "ami_test_model_copy.so";
    {
        std::ifstream in(kLibrary, std::ios::binary);
        std::ofstream out(copy, std::ios::binary);
        out << in.rdbuf();
    }
    const AmiLibrary second(copy);
    EXPECT_NE(reinterpret_cast<void*>(second.init), reinterpret_cast<void*>(Library().init));
    AmiSession a(Library(), "(ami_test_model (gain 2))", kSampleInterval, kBitTime);
    AmiSession b(second, "(ami_test_model (gain 3))", kSampleInterval, kBitTime);
    std::vector<double> wa = {1.0}, wb = {1.0};
    a.Process(wa, 1);
    b.Process(wb, 1);
    EXPECT_EQ(wa[0], 2.0);
    EXPECT_EQ(wb[0], 3.0);
    std::remove(copy.c_str());
}
