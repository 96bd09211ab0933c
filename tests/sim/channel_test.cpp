#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "sim/channel/Channel.h"
#include "sim/channel/ImpulseShaping.h"
#include "sim/channel/MixedMode.h"
#include "sim/channel/OverlapAddConvolver.h"
#include "sim/channel/SpectrumProduct.h"
#include "sim/channel/Touchstone.h"

#ifndef KELVANE_SHARED_CHANNELS
#define KELVANE_SHARED_CHANNELS "/work/shared/channels"
#endif

namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;
constexpr double kBitTime = 3.571428571428571e-11;   // 28 Gb/s
constexpr double kDt = kBitTime / 32;

std::string WriteTempFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + "ksim_channel_" + name;
    std::ofstream(path) << text;
    return path;
}

// The message of the std::runtime_error that f throws, or "" when it throws none.
template <class F>
std::string ErrorOf(F f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

void ExpectComplexNear(Complex actual, Complex expected, double tolerance) {
    EXPECT_NEAR(actual.real(), expected.real(), tolerance);
    EXPECT_NEAR(actual.imag(), expected.imag(), tolerance);
}

// ---- Touchstone reader -------------------------------------------------------------------------------

TEST(Touchstone, TwoPortRealImaginaryInHzListsS21BeforeS12AndSkipsNoiseData) {
    const std::string text =
        "\xEF\xBB\xBF! a hand-made through\n"
        "# Hz S RI R 50\n"
        "0    0.1 0.0   0.9 0.0   0.8 0.0   0.2 0.0\n"
        "1e9  0.1 -0.2  0.5 -0.6  0.4 -0.3  0.2 0.1  ! trailing comment\n"
        "\n"
        "5e8  1.2 0.5 30 0.9 50\n";  // noise parameters: the frequency goes back
    const std::string path = WriteTempFile("ri.S2P", text);
    const ksim::TouchstoneData data = ksim::ReadTouchstone(path);
    ASSERT_EQ(data.ports, 2);
    ASSERT_EQ(data.Points(), 2u);
    EXPECT_EQ(data.frequencyHz[1], 1e9);
    ExpectComplexNear(data.S(1, 1, 1), {0.1, -0.2}, 0.0);
    ExpectComplexNear(data.S(1, 2, 1), {0.5, -0.6}, 0.0);
    ExpectComplexNear(data.S(1, 1, 2), {0.4, -0.3}, 0.0);
    ExpectComplexNear(data.S(1, 2, 2), {0.2, 0.1}, 0.0);
    const std::vector<Complex> through = ksim::MixedModeSdd21(data);
    ExpectComplexNear(through[1], {0.5, -0.6}, 0.0);
}

TEST(Touchstone, FourPortMagnitudeAngleInGhzSpreadsRowsOverLines) {
    // Row-major; value of S(i,j) at point k: magnitude 0.1 i + 0.01 j + 0.001 k, angle 10 i + j - 5 k degrees.
    std::string text = "!comment before the options\n#GHz s ma r 75\n";
    for (int k = 0; k < 2; ++k) {
        text += std::to_string(1.5 * k);
        for (int i = 1; i <= 4; ++i) {
            for (int j = 1; j <= 4; ++j) text += " " + std::to_string(0.1 * i + 0.01 * j + 0.001 * k) + " " + std::to_string(10 * i + j - 5 * k);
            text += i == 2 ? "  ! a comment inside the point\n" : "\n";
        }
    }
    const ksim::TouchstoneData data = ksim::ParseTouchstone(text, 4, "hand.s4p");
    ASSERT_EQ(data.Points(), 2u);
    EXPECT_EQ(data.referenceOhms, 75.0);
    EXPECT_DOUBLE_EQ(data.frequencyHz[1], 1.5e9);
    for (int k = 0; k < 2; ++k)
        for (int i = 1; i <= 4; ++i)
            for (int j = 1; j <= 4; ++j)
                ExpectComplexNear(data.S(k, i, j), std::polar(0.1 * i + 0.01 * j + 0.001 * k, (10 * i + j - 5 * k) * kPi / 180), 1e-12);
}

TEST(Touchstone, DecibelAngleAndDefaultOptions) {
    const ksim::TouchstoneData db = ksim::ParseTouchstone("# MHz S DB\n100 -6.020599913 90\n", 1, "db.s1p");
    EXPECT_DOUBLE_EQ(db.frequencyHz[0], 1e8);
    ExpectComplexNear(db.S(0, 1, 1), {0.0, 0.5}, 1e-9);  // the dB figure has ten digits
    // Without an option line: GHz and magnitude-angle.
    const ksim::TouchstoneData plain = ksim::ParseTouchstone("2 0.5 180\n", 1, "plain.s1p");
    EXPECT_DOUBLE_EQ(plain.frequencyHz[0], 2e9);
    ExpectComplexNear(plain.S(0, 1, 1), {-0.5, 0.0}, 1e-15);
}

TEST(Touchstone, MalformedInputNamesFileAndLine) {
    const std::string head = "# GHz S RI\n";
    const std::string row = " 1 0 1 0 1 0 1 0\n";  // four pairs
    const auto parse = [](const std::string& text) { return ErrorOf([&] { ksim::ParseTouchstone(text, 4, "bad.s4p"); }); };
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "bad.s4p:3: expected a number, found 'x'", parse(head + "1" + row + " 1 0 x 0 1 0 1 0\n"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "bad.s4p:2: the line ends inside a value pair", parse(head + "1 1 0 1 0 1 0 1\n"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "bad.s4p:2: each matrix row must start on a new line",
                        parse(head + "1 1 0 1 0 1 0 1 0 1 0\n"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "bad.s4p:6: frequencies must increase",
                        parse(head + "1" + row + row + row + row + "1" + row));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "bad.s4p:2: the file ends inside the frequency point", parse(head + "1" + row + row));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "bad.s4p:1: only S-parameters", parse("# GHz Z RI\n"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "bad.s4p:1: unknown word 'furlong'", parse("# furlong\n"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "no frequency points", parse(head));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "bad.s4p:2: more values than one frequency point holds",
                        ErrorOf([&] { ksim::ParseTouchstone(head + "1 0 1 0 1 0 1 0 1 2\n", 2, "bad.s4p"); }));

    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "not a Touchstone file name", ErrorOf([] { ksim::ReadTouchstone("channel.txt"); }));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "cannot open", ErrorOf([] { ksim::ReadTouchstone("/nonexistent/x.s2p"); }));
}

TEST(MixedMode, Sdd21FollowsThePortMap) {
    ksim::TouchstoneData data;
    data.source = "map.s4p";
    data.ports = 4;
    data.frequencyHz = {0.0};
    data.values.resize(16);
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j) data.values[(i - 1) * 4 + (j - 1)] = Complex(i * 10 + j, -j);
    // Default pairs (1,3) in, (2,4) out: 0.5 (S21 - S23 - S41 + S43).
    const Complex s21(21, -1), s23(23, -3), s41(41, -1), s43(43, -3);
    ExpectComplexNear(ksim::MixedModeSdd21(data)[0], 0.5 * (s21 - s23 - s41 + s43), 0.0);
    // Pairs (1,2) in, (3,4) out: 0.5 (S31 - S32 - S41 + S42).
    ksim::PortMap adjacent{1, 2, 3, 4};
    const Complex s31(31, -1), s32(32, -2), s42(42, -2);
    ExpectComplexNear(ksim::MixedModeSdd21(data, adjacent)[0], 0.5 * (s31 - s32 - s41 + s42), 0.0);
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "port 5", ErrorOf([&] { ksim::MixedModeSdd21(data, {1, 3, 2, 5}); }));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "twice", ErrorOf([&] { ksim::MixedModeSdd21(data, {1, 3, 1, 4}); }));
}

// ---- Frequency response to impulse response ----------------------------------------------------------

// A Gaussian low-pass (sigma f0 in frequency) behind a delay tau: its impulse response is a Gaussian
// pulse of unit area centred on tau, band-limited well inside the data, so the band-edge window does not
// touch it.
struct GaussianChannel {
    double f0 = 5e9, tau = 3e-9;
    Complex At(double f) const { return std::exp(-0.5 * (f / f0) * (f / f0)) * std::polar(1.0, -2 * kPi * f * tau); }
    double DensityAt(double t) const {
        const double x = 2 * kPi * f0 * (t - tau);
        return std::sqrt(2 * kPi) * f0 * std::exp(-0.5 * x * x);
    }
};

TEST(FrequencyResponseChannel, GaussianPulseComesOutWithItsAreaShapeAndDelay) {
    const GaussianChannel channel;
    for (double first : {0.0, 1e7}) {  // with and without a 0 Hz point
        std::vector<double> f;
        std::vector<Complex> h;
        for (double x = first; x <= 60e9; x += 1e7) {
            f.push_back(x);
            h.push_back(channel.At(x));
        }
        ksim::ChannelInfo info;
        const std::vector<double> impulse = ksim::BuildChannelFromFrequencyResponse(f, h, kDt, kBitTime, info);
        EXPECT_NEAR(info.dcGain, 1.0, 1e-4) << first;
        EXPECT_NEAR(info.lossDbAtNyquist, -20 * std::log10(std::abs(channel.At(14e9))), 1e-9);
        // Trimmed up to one unit interval ahead of the rise, so the pulse sits where the delay says.
        const double peak = channel.DensityAt(channel.tau) * kDt;
        for (std::size_t n = 0; n < 200; ++n) {
            const double t = (static_cast<double>(n + info.delaySamples)) * kDt;
            EXPECT_NEAR(impulse[n], channel.DensityAt(t) * kDt, 1e-6 * peak) << n;
        }
        EXPECT_GT(info.delaySamples, (channel.tau - 5 * kBitTime) / kDt);
        EXPECT_LT(info.delaySamples, (channel.tau - kBitTime) / kDt);
        // The pulse of one bit is the running sum of 32 samples of h.
        ASSERT_EQ(info.pulseResponse.size(), impulse.size() + 31);
        double sum = 0.0;
        for (int k = 0; k < 32; ++k) sum += impulse[100 - k];
        EXPECT_NEAR(info.pulseResponse[100], sum, 1e-15);
    }
}

TEST(FrequencyResponseChannel, InvertingChannelWithoutDcPointKeepsItsSign) {
    const GaussianChannel channel;
    std::vector<double> f;
    std::vector<Complex> h;
    for (double x = 2e7; x <= 40e9; x += 2e7) {
        f.push_back(x);
        h.push_back(-channel.At(x));
    }
    ksim::ChannelInfo info;
    const std::vector<double> impulse = ksim::BuildChannelFromFrequencyResponse(f, h, kDt, kBitTime, info);
    EXPECT_NEAR(info.dcGain, -1.0, 1e-4);
    EXPECT_LT(*std::min_element(impulse.begin(), impulse.end()), -0.9 * channel.DensityAt(channel.tau) * kDt);
}

TEST(FrequencyResponseChannel, RejectsUnusableData) {
    ksim::ChannelInfo info;
    EXPECT_THROW(ksim::BuildChannelFromFrequencyResponse({0.0}, {1.0}, kDt, kBitTime, info), std::invalid_argument);
    EXPECT_THROW(ksim::BuildChannelFromFrequencyResponse({0.0, 1e9, 1e9}, {1.0, 1.0, 1.0}, kDt, kBitTime, info), std::invalid_argument);
    EXPECT_THROW(ksim::BuildChannelFromFrequencyResponse({0.0, 1e9}, {1.0, NAN}, kDt, kBitTime, info), std::invalid_argument);
    EXPECT_THROW(ksim::BuildChannelFromFrequencyResponse({0.0, 1e9}, {1.0, 1.0}, 0.0, kBitTime, info), std::invalid_argument);
    // Data that stops short of half the bit rate cannot describe the channel at that rate.
    EXPECT_THROW(ksim::BuildChannelFromFrequencyResponse({0.0, 10e9}, {1.0, 0.5}, kDt, kBitTime, info), std::invalid_argument);
}

// ---- Shared channels -----------------------------------------------------------------------------------

struct SharedChannel {
    ksim::TouchstoneData data;
    std::vector<Complex> sdd21;
    std::vector<double> impulse;
    ksim::ChannelInfo info;
};

class SharedChannels : public ::testing::Test {
protected:
    // Insertion loss at 14 GHz as published with the files [dB].
    static const std::map<std::string, double>& PublishedLoss() {
        static const std::map<std::string, double> loss = {{"DPO_4in_Meg7_THRU.s4p", 7.5},
                                                           {"CA_19p75dB_thru.s4p", 12.1},
                                                           {"DPO_10in_Meg7_THRU.s4p", 15.3},
                                                           {"DPO_14in_Meg7_THRU.s4p", 20.7}};
        return loss;
    }

    // Each file is read and built once for all tests of this suite.
    static void SetUpTestSuite() {
        struct stat info;
        if (stat(KELVANE_SHARED_CHANNELS, &info) != 0) return;
        channels_ = new std::map<std::string, SharedChannel>();
        for (const auto& entry : PublishedLoss()) {
            SharedChannel& c = (*channels_)[entry.first];
            c.data = ksim::ReadTouchstone(std::string(KELVANE_SHARED_CHANNELS) + "/" + entry.first);
            c.sdd21 = ksim::MixedModeSdd21(c.data);
            c.impulse = ksim::BuildChannelFromFrequencyResponse(c.data.frequencyHz, c.sdd21, kDt, kBitTime, c.info);
        }
    }
    static void TearDownTestSuite() {
        delete channels_;
        channels_ = nullptr;
    }
    void SetUp() override {
        if (!channels_) GTEST_SKIP() << "no shared channels at " << KELVANE_SHARED_CHANNELS;
    }

    static std::map<std::string, SharedChannel>* channels_;
};

std::map<std::string, SharedChannel>* SharedChannels::channels_ = nullptr;

TEST_F(SharedChannels, FilesAreFourPortsFromDcTo60GHz) {
    for (const auto& [name, c] : *channels_) {
        EXPECT_EQ(c.data.ports, 4) << name;
        EXPECT_EQ(c.data.Points(), 6001u) << name;
        EXPECT_EQ(c.data.frequencyHz.front(), 0.0) << name;
        EXPECT_EQ(c.data.frequencyHz.back(), 60e9) << name;
    }
}

// The published figures have one decimal; 0.2 dB allows for that rounding and for the reader.
TEST_F(SharedChannels, InsertionLossAt14GHzMatchesThePublishedFigures) {
    for (const auto& [name, c] : *channels_) {
        const double published = PublishedLoss().at(name);
        const std::size_t k14 = 1400;  // 10 MHz steps
        ASSERT_EQ(c.data.frequencyHz[k14], 14e9);
        EXPECT_NEAR(-20 * std::log10(std::abs(c.sdd21[k14])), published, 0.2) << name;
        EXPECT_NEAR(c.info.lossDbAtNyquist, published, 0.2) << name;
        // The impulse response itself carries the loss: the window starts far above 14 GHz.
        EXPECT_NEAR(ksim::ImpulseLossDb(c.impulse, 14e9, kDt), published, 0.2) << name;
    }
}

// The whole period sums to |SDD21(0)| exactly; the tail cut may leave out kTailSumTolerance of it, and the
// rest is rounding.
TEST_F(SharedChannels, DcGainMatchesSdd21AtZeroHz) {
    for (const auto& [name, c] : *channels_) {
        const double dc = std::abs(c.sdd21[0]);
        EXPECT_NEAR(c.info.dcGain, dc, 1.01 * ksim::kTailSumTolerance * dc) << name;
        // Settled at the end (what precedes the rise in the period, moved behind the end, is tiny).
        const double pulsePeak = *std::max_element(c.info.pulseResponse.begin(), c.info.pulseResponse.end());
        EXPECT_LT(std::fabs(c.info.pulseResponse.back()), 1e-3 * pulsePeak) << name;
    }
}

TEST_F(SharedChannels, ImpulseResponsesLookCausal) {
    for (const auto& [name, c] : *channels_) {
        const auto peak = std::max_element(c.impulse.begin(), c.impulse.end());
        const std::size_t peakIndex = static_cast<std::size_t>(peak - c.impulse.begin());
        EXPECT_GE(peakIndex, 32u) << name;
        EXPECT_LE(peakIndex, 32u * 20) << name;
        double ahead = 0.0, total = 0.0;
        for (std::size_t n = 0; n < c.impulse.size(); ++n) {
            total += c.impulse[n] * c.impulse[n];
            if (n < 16) ahead += c.impulse[n] * c.impulse[n];
        }
        EXPECT_LT(ahead, 1e-3 * total) << name;
        EXPECT_LE(c.impulse.size(), ksim::kMaxImpulseUi * 32) << name;
    }
    EXPECT_GT(channels_->at("CA_19p75dB_thru.s4p").info.delaySamples * kDt, 8e-9);  // arrives after about 10 ns
}

// ---- Analytic channel ----------------------------------------------------------------------------------

// Loss [dB] of the model at f for a loss L at fN: half from sqrt(f + fs) - sqrt(fs), half from f.
double ModelLossDb(double f, double lossDb, double nyquist) {
    const double fs = 60e6;
    return 0.5 * lossDb * ((std::sqrt(f + fs) - std::sqrt(fs)) / (std::sqrt(nyquist + fs) - std::sqrt(fs)) + f / nyquist);
}

TEST(AnalyticChannel, LossFollowsTheModelWithNoDcLoss) {
    for (int samplesPerBit : {32, 8})
        for (double lossDb : {5.0, 15.0, 30.0}) {
            const double dt = kBitTime / samplesPerBit, nyquist = 0.5 / kBitTime;
            ksim::ChannelInfo info;
            const std::vector<double> h = ksim::BuildAnalyticChannel(lossDb, dt, kBitTime, info);
            SCOPED_TRACE(::testing::Message() << samplesPerBit << " samples per bit, " << lossDb << " dB");
            EXPECT_EQ(info.kind, "analytic");
            EXPECT_EQ(info.lossDbAtNyquist, lossDb);
            EXPECT_NEAR(ksim::ImpulseLossDb(h, nyquist, dt), lossDb, 0.05);
            for (double f : {0.1e9, 3.5e9, 28e9}) EXPECT_NEAR(ksim::ImpulseLossDb(h, f, dt), ModelLossDb(f, lossDb, nyquist), 0.05) << f;
            EXPECT_NEAR(info.dcGain, 1.0, 1.01 * ksim::kTailSumTolerance);
            double previous = -1.0;
            for (int i = 0; i <= 40; ++i) {
                const double loss = ksim::ImpulseLossDb(h, i * 2 * nyquist / 40, dt);
                EXPECT_GT(loss, previous) << "magnitude not falling at " << i * 2 * nyquist / 40 << " Hz";
                previous = loss;
            }
        }
}

TEST(AnalyticChannel, PulseHasItsPeakEarlyAndALongPositiveTail) {
    ksim::ChannelInfo info;
    ksim::BuildAnalyticChannel(15.0, kDt, kBitTime, info);
    const std::vector<double>& pulse = info.pulseResponse;
    const std::size_t peak = static_cast<std::size_t>(std::max_element(pulse.begin(), pulse.end()) - pulse.begin());
    EXPECT_LT(peak, 3u * 32);
    EXPECT_GT(pulse[peak], 0.3);
    EXPECT_LT(pulse[peak], 0.6);
    for (int ui = 1; ui <= 50; ++ui) {
        EXPECT_LT(pulse[peak + 32 * ui], pulse[peak + 32 * (ui - 1)]) << ui;
        EXPECT_GT(pulse[peak + 32 * ui], 0.0) << ui;
    }
    EXPECT_GT(pulse[peak + 32 * 10], 0.01 * pulse[peak]);
}

TEST(AnalyticChannel, ZeroLossIsAWireAndBadLossIsRefused) {
    ksim::ChannelInfo info;
    EXPECT_EQ(ksim::BuildAnalyticChannel(0.0, kDt, kBitTime, info), std::vector<double>{1.0});
    EXPECT_EQ(info.pulseResponse, std::vector<double>(32, 1.0));
    EXPECT_THROW(ksim::BuildAnalyticChannel(-1.0, kDt, kBitTime, info), std::invalid_argument);
    EXPECT_THROW(ksim::BuildAnalyticChannel(NAN, kDt, kBitTime, info), std::invalid_argument);
    EXPECT_THROW(ksim::BuildAnalyticChannel(15.0, kBitTime, kDt, info), std::invalid_argument);
}

// ---- Impulse-response file -----------------------------------------------------------------------------

// A constant density of 1e11 /s from 2.2 ps to 5.7 ps, at 1 ps per sample: the cells [n - 1/2, n + 1/2) ps
// hold 0.03, 0.1, 0.1, 0.1 and 0.02.
TEST(ImpulseResponseFile, DensityIsIntegratedOverEachSampleCell) {
    const std::string path = WriteTempFile("box.txt", "# time [s]  density [1/s]\n\n2.2e-12 1e11\n5.7e-12,1e11\n");
    ksim::ChannelInfo info;
    const std::vector<double> h = ksim::LoadImpulseResponseFile(path, 1e-12, 1e-12, info);
    const std::vector<double> expected = {0.0, 0.03, 0.1, 0.1, 0.1, 0.02};  // one sample kept ahead of the rise
    ASSERT_EQ(h.size(), expected.size());
    for (std::size_t n = 0; n < h.size(); ++n) EXPECT_NEAR(h[n], expected[n], 1e-15) << n;
    EXPECT_EQ(info.delaySamples, 1u);
    EXPECT_EQ(info.kind, "impulse-file");
    EXPECT_NEAR(info.dcGain, 0.35, 1e-15);
}

TEST(ImpulseResponseFile, FineAndCoarseTablesOfAGaussianGiveTheSameChannel) {
    const GaussianChannel channel;
    std::vector<double> gains;
    for (double step : {0.1e-12, 2e-12}) {
        std::string text;
        for (double t = 0.0; t <= 6e-9; t += step) text += std::to_string(t * 1e12) + "e-12 " + std::to_string(channel.DensityAt(t)) + "\n";
        const std::string path = WriteTempFile("gauss.txt", text);
        ksim::ChannelInfo info;
        ksim::LoadImpulseResponseFile(path, kDt, kBitTime, info);
        EXPECT_NEAR(info.dcGain, 1.0, 2e-3) << step;
        EXPECT_NEAR(info.lossDbAtNyquist, -20 * std::log10(std::abs(channel.At(14e9))), 0.05) << step;
    }
}

TEST(ImpulseResponseFile, MalformedRowsNameFileAndLine) {
    const auto error = [](const std::string& name, const std::string& text) {
        const std::string path = WriteTempFile(name, text);
        ksim::ChannelInfo info;
        return ErrorOf([&] { ksim::LoadImpulseResponseFile(path, kDt, kBitTime, info); });
    };
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "words.txt:2: expected a number, found 'volts'", error("words.txt", "0 1\n1e-12 volts\n"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "order.txt:3: times must increase", error("order.txt", "0 1\n2e-12 1\n1e-12 1\n"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "three.txt:1: more than two values", error("three.txt", "0 1 2\n"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "at least two rows", error("short.txt", "0 1\n"));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "zero everywhere", error("zero.txt", "0 0\n1e-9 0\n"));
}

// ---- Choosing the channel by name ----------------------------------------------------------------------

TEST(ChannelByName, PicksTheBuilderAndReportsErrorsAsRuntimeErrors) {
    ksim::ChannelInfo info;
    ksim::BuildChannelByName("analytic", 10.0, {}, kDt, kBitTime, info);
    EXPECT_EQ(info.kind, "analytic");
    EXPECT_EQ(info.lossDbAtNyquist, 10.0);

    // A flat through of 0.5 with a 20 ps delay, to 50 GHz.
    std::string text = "# GHz S MA\n";
    for (int k = 0; k <= 50; ++k) text += std::to_string(k) + " 0 0 0.5 " + std::to_string(-360.0 * k * 1e9 * 20e-12) + " 0.5 0 0 0\n";
    const std::string through = WriteTempFile("through.s2p", text);
    ksim::BuildChannelByName(through, 10.0, {}, kDt, kBitTime, info);
    EXPECT_EQ(info.kind, "touchstone");
    EXPECT_EQ(info.source, through + " (S21)");
    EXPECT_NEAR(info.dcGain, 0.5, 1e-4);
    EXPECT_NEAR(info.lossDbAtNyquist, 6.0206, 1e-4);

    ksim::BuildChannelByName(WriteTempFile("pulse.txt", "0 0\n1e-11 1e11\n2e-11 0\n"), 10.0, {}, kDt, kBitTime, info);
    EXPECT_EQ(info.kind, "impulse-file");
    EXPECT_NEAR(info.dcGain, 1.0, 1e-12);

    const std::string narrow = WriteTempFile("narrow.s2p", "# GHz S RI\n0 0 0 1 0 1 0 0 0\n10 0 0 1 0 1 0 0 0\n");
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, narrow + ": frequency response: the data ends at 10 GHz",
                        ErrorOf([&] { ksim::BuildChannelByName(narrow, 0, {}, kDt, kBitTime, info); }));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "channel analytic: ",
                        ErrorOf([&] { ksim::BuildChannelByName("analytic", -3, {}, kDt, kBitTime, info); }));
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "cannot open",
                        ErrorOf([&] { ksim::BuildChannelByName("/nonexistent/channel.s4p", 0, {}, kDt, kBitTime, info); }));
}

// ---- Overlap-add convolver -----------------------------------------------------------------------------

std::vector<double> DirectConvolution(const std::vector<double>& h, const std::vector<double>& x) {
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t n = 0; n < x.size(); ++n)
        for (std::size_t k = 0; k <= n && k < h.size(); ++k) y[n] += h[k] * x[n - k];
    return y;
}

// Rounding in the transforms grows with log2 of their length, relative to sum|h| * max|x|.
constexpr double kConvolutionTolerance = 1e-12;

TEST(OverlapAddConvolver, MatchesDirectConvolutionHoweverTheInputIsSplit) {
    std::mt19937_64 random(7);
    std::normal_distribution<double> gauss;
    for (std::size_t length : {1u, 5u, 64u, 300u})
        for (std::size_t block : {1u, 16u, 64u, 100u}) {
            std::vector<double> h(length), x(1500);
            for (double& v : h) v = gauss(random);
            for (double& v : x) v = gauss(random);
            const std::vector<double> expected = DirectConvolution(h, x);
            double sumH = 0.0, maxX = 0.0;
            for (double v : h) sumH += std::fabs(v);
            for (double v : x) maxX = std::max(maxX, std::fabs(v));
            const double scale = sumH * maxX;

            ksim::OverlapAddConvolver convolver(h, block);
            const auto check = [&](const std::vector<double>& y, const char* split) {
                for (std::size_t n = 0; n < x.size(); ++n)
                    ASSERT_NEAR(y[n], expected[n], kConvolutionTolerance * scale) << split << " L " << length << " B " << block << " n " << n;
            };
            std::vector<double> y(x.size());
            convolver.Process(x.data(), y.data(), x.size());
            check(y, "whole");
            convolver.Reset();
            for (std::size_t n = 0; n < x.size(); ++n) convolver.Process(&x[n], &y[n], 1);
            check(y, "one sample");
            convolver.Reset();
            y = x;  // in place, uneven pieces (and empty calls)
            for (std::size_t at = 0, piece = 0; at < y.size(); piece = (piece * 7 + 3) % 41) {
                const std::size_t n = std::min(piece, y.size() - at);
                convolver.Process(&y[at], &y[at], n);
                at += n;
            }
            check(y, "uneven, in place");
        }
}

// The convolver's vectorisable spectrum product against std::complex's operator*, bit for bit, on every pair
// of parts from signed zeros, finite values, huge values, infinities and NaN (where the operator recovers
// infinities from NaN parts), in one array so that the vector loop meets them at every lane.
TEST(OverlapAddConvolver, SpectrumProductIsTheComplexOperatorBitForBit) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const double parts[] = {0.0, -0.0, 1.5, -2.25, 1e308, -3e-310, inf, -inf, nan};
    std::vector<std::complex<double>> x, h;
    for (double a : parts)
        for (double b : parts)
            for (double c : parts)
                for (double d : parts) {
                    x.emplace_back(a, b);
                    h.emplace_back(c, d);
                }
    std::vector<std::complex<double>> product(x.size());
    ksim::MultiplySpectra(x.data(), h.data(), product.data(), x.size());
    for (std::size_t k = 0; k < x.size(); ++k) {
        const std::complex<double> expected = x[k] * h[k];
        ASSERT_EQ(std::memcmp(&product[k], &expected, sizeof expected), 0) << x[k] << " * " << h[k];
    }
}

TEST(OverlapAddConvolver, RefusesEmptyImpulseOrBlock) {
    EXPECT_THROW(ksim::OverlapAddConvolver({}, 16), std::invalid_argument);
    EXPECT_THROW(ksim::OverlapAddConvolver({1.0}, 0), std::invalid_argument);
}

}  // namespace
