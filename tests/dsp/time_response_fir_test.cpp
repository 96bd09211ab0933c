#include "dsp/TimeResponseFIR.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using Velmora::TimeResponseFIR;

// The block keeps pointers to the arrays, so they live next to it.
struct Loaded {
    TimeResponseFIR fir;
    std::vector<double> stamps, values;

    Loaded(std::vector<double> s, std::vector<double> v, int type, double sampleRate)
        : stamps(std::move(s)), values(std::move(v)) {
        fir.ResponseTimeStamps = stamps.data();
        fir.Response = values.data();
        fir.NumberOfTimeStamps = static_cast<std::uint32_t>(stamps.size());
        fir.NumberOfResponseValues = static_cast<std::uint32_t>(values.size());
        fir.ResponseType = type;
        fir.SampleRate = sampleRate;
    }
    std::vector<double> Taps() const { return std::vector<double>(fir.Taps, fir.Taps + fir.NumberOfTaps); }
    std::string SetupMessages(bool& result) {
        testing::internal::CaptureStderr();
        result = fir.Setup();
        return testing::internal::GetCapturedStderr();
    }
};

std::vector<double> EvenStamps(std::size_t count, double step) {
    std::vector<double> stamps(count);
    for (std::size_t k = 0; k < count; ++k) stamps[k] = k * step;
    return stamps;
}

// Values at the four stamps from index first on, through Lagrange's form: independent of the spline code.
double LagrangeCubic(const std::vector<double>& x, const std::vector<double>& y, std::size_t first, double t) {
    double sum = 0.0;
    for (std::size_t k = first; k < first + 4; ++k) {
        double weight = 1.0;
        for (std::size_t m = first; m < first + 4; ++m)
            if (m != k) weight *= (t - x[m]) / (x[k] - x[m]);
        sum += y[k] * weight;
    }
    return sum;
}

TEST(TimeResponseFir, ExactHitsTakeTheImpulseValues) {
    Loaded block({0, 1e-12, 2e-12, 3e-12}, {0, 1, 0, 0}, TimeResponseFIR::ImpulseResponse, 1e12);
    ASSERT_TRUE(block.fir.Setup());
    EXPECT_EQ(block.Taps(), (std::vector<double>{0, 1e-12, 0, 0}));
}

TEST(TimeResponseFir, TimeStampsAreStoredFromZero) {
    Loaded block({5e-12, 6e-12, 7e-12, 8e-12}, {1, 2, 3, 4}, TimeResponseFIR::ImpulseResponse, 1e12);
    ASSERT_TRUE(block.fir.Setup());
    EXPECT_EQ(block.stamps[0], 0.0);
    for (int k = 1; k < 4; ++k) EXPECT_NEAR(block.stamps[k], k * 1e-12, 1e-26);
    EXPECT_EQ(block.stamps[3], 8e-12 - 5e-12);
}

TEST(TimeResponseFir, StepResponseTapsAreParabolaSlopes) {
    // Parabola through (0, 0), (1 ps, 0), (2 ps, 1): slope (2t - 1 ps) / 2 ps^2, times 1 ps per sample.
    Loaded block({0, 1e-12, 2e-12, 3e-12}, {0, 0, 1, 1}, TimeResponseFIR::StepResponse, 1e12);
    ASSERT_TRUE(block.fir.Setup());
    const std::vector<double> taps = block.Taps();
    ASSERT_EQ(taps.size(), 4u);
    const double expected[] = {-0.5, 0.5, 1.5, 2.5};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(taps[i], expected[i], 1e-9) << i;
}

TEST(TimeResponseFir, StepTapsAreTheDerivativeOfQuadraticData) {
    // Every parabola through points of a quadratic is that quadratic, so each tap is its slope whatever
    // window the block picks; the last window is capped so the final stamp is never needed.
    auto quadratic = [](double t) { return 0.3 + 2e11 * t - 5e21 * t * t; };
    const std::vector<double> stamps = {0, 1.5e-12, 2.0e-12, 4.5e-12, 7.0e-12, 7.5e-12, 10e-12};
    std::vector<double> values;
    for (double t : stamps) values.push_back(quadratic(t));
    const double rate = 0.77e12;
    Loaded block(stamps, values, TimeResponseFIR::StepResponse, rate);
    ASSERT_TRUE(block.fir.Setup());
    ASSERT_EQ(block.fir.NumberOfTaps, 8);  // floor(10 ps * 0.77e12) + 1
    for (int i = 0; i < 8; ++i) {
        const double t = i / rate;
        EXPECT_NEAR(block.fir.Taps[i], (2e11 - 1e22 * t) / rate, 1e-10) << i;
    }
}

TEST(TimeResponseFir, ImpulseTapsInterpolateTheFourPointsAroundEachSample) {
    const std::vector<double> stamps = {0, 0.8e-12, 2.1e-12, 2.5e-12, 3.9e-12, 5.0e-12, 6.2e-12, 7.7e-12};
    const std::vector<double> values = {3e11, -1e11, 5e11, 2e11, -4e11, 1e11, 6e11, 0.5e11};
    const double rate = 1.3e12;
    Loaded block(stamps, values, TimeResponseFIR::ImpulseResponse, rate);
    ASSERT_TRUE(block.fir.Setup());
    ASSERT_EQ(block.fir.NumberOfTaps, 11);  // floor(7.7 ps * 1.3e12) + 1
    for (int i = 0; i < 11; ++i) {
        const double t = i / rate;
        std::size_t h = 0;  // first stamp at or after t, then kept inside the data
        while (h + 1 < stamps.size() && stamps[h] < t) ++h;
        h = h == 0 ? 1 : std::min(h, stamps.size() - 3);
        const double expected = LagrangeCubic(stamps, values, h - 1, t) / rate;
        // Two different ways of evaluating the same cubic: they agree to the rounding of taps of order 1.
        EXPECT_NEAR(block.fir.Taps[i], expected, 1e-12) << i;
    }
    EXPECT_EQ(block.fir.Taps[0], values[0] / rate);  // t = 0 is an exact hit
}

TEST(TimeResponseFir, CubicDataIsReproducedExactly) {
    auto cubic = [](double t) { return 1e11 - 3e22 * t + 4e33 * t * t - 1e45 * t * t * t; };
    const std::vector<double> stamps = EvenStamps(12, 1e-12);
    std::vector<double> values;
    for (double t : stamps) values.push_back(cubic(t));
    const double rate = 2.3e12;
    Loaded block(stamps, values, TimeResponseFIR::ImpulseResponse, rate);
    ASSERT_TRUE(block.fir.Setup());
    ASSERT_EQ(block.fir.NumberOfTaps, 26);  // floor(11 ps * 2.3e12) + 1
    for (int i = 0; i < block.fir.NumberOfTaps; ++i) {
        EXPECT_NEAR(block.fir.Taps[i], cubic(i / rate) / rate, 1e-11) << i;
    }
}

TEST(TimeResponseFir, CountAndTypeMessages) {
    bool result = true;
    Loaded impulse({0, 1, 2}, {1, 2, 3}, TimeResponseFIR::ImpulseResponse, 1.0);
    EXPECT_EQ(impulse.SetupMessages(result),
              "At least 4 response coefficients are required for input impulse response\n");
    EXPECT_FALSE(result);

    Loaded step({0, 1, 2}, {1, 2, 3}, TimeResponseFIR::StepResponse, 1.0);
    EXPECT_EQ(step.SetupMessages(result), "At least 4 response coefficients are required for input step response\n");
    EXPECT_FALSE(result);

    Loaded other({0, 1, 2}, {1, 2, 3}, 2, 1.0);  // the message's "Inavlid" is kept on purpose
    EXPECT_EQ(other.SetupMessages(result),
              "Inavlid ResponseType is specified, it can be either Impulse Response or Step Response\n");
    EXPECT_FALSE(result);

    Loaded mismatch({0, 1, 2}, {1, 2, 3, 4}, TimeResponseFIR::ImpulseResponse, 1.0);
    EXPECT_EQ(mismatch.SetupMessages(result),
              "Number of coefficients in response must be same as the number of values in time stamps\n");
    EXPECT_FALSE(result);
}

TEST(TimeResponseFir, SampleRateMustBeFiniteAndPositive) {
    const double rates[] = {0.0, -1e12, std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity()};
    for (double rate : rates) {
        Loaded block({0, 1e-12, 2e-12, 3e-12}, {0, 1, 0, 0}, TimeResponseFIR::ImpulseResponse, rate);
        bool result = true;
        EXPECT_EQ(block.SetupMessages(result), "SampleRate must be > 0.0\n") << rate;
        EXPECT_FALSE(result);
        EXPECT_EQ(block.fir.Taps, nullptr);
    }
}

TEST(TimeResponseFir, OrderingMessageNamesTheStampsBeforeNormalisation) {
    bool result = true;
    Loaded repeated({0, 1, 1, 3}, {0, 0, 0, 0}, TimeResponseFIR::ImpulseResponse, 1.0);
    EXPECT_EQ(repeated.SetupMessages(result),
              "ResponseTimeStamps[3] = 1  <= ResponseTimeStamps[2] = 1. Time stamps must be in non-repeating "
              "ascending order.\n");
    EXPECT_FALSE(result);

    // Stamps up to the offending one are normalised, the rest are left as they were.
    Loaded shifted({10, 11, 11, 13}, {0, 0, 0, 0}, TimeResponseFIR::ImpulseResponse, 1.0);
    EXPECT_EQ(shifted.SetupMessages(result),
              "ResponseTimeStamps[3] = 11  <= ResponseTimeStamps[2] = 11. Time stamps must be in non-repeating "
              "ascending order.\n");
    EXPECT_EQ(shifted.stamps, (std::vector<double>{0, 1, 1, 13}));

    // Six significant digits, the shorter of fixed and scientific.
    Loaded falling({0, 1.23456789e-12, 1e-12, 3e-12}, {0, 0, 0, 0}, TimeResponseFIR::ImpulseResponse, 1e12);
    EXPECT_EQ(falling.SetupMessages(result),
              "ResponseTimeStamps[3] = 1e-12  <= ResponseTimeStamps[2] = 1.23457e-12. Time stamps must be in "
              "non-repeating ascending order.\n");

    Loaded nan({0, std::numeric_limits<double>::quiet_NaN(), 2, 3}, {0, 0, 0, 0},
               TimeResponseFIR::ImpulseResponse, 1.0);
    const std::string message = nan.SetupMessages(result);
    EXPECT_FALSE(result);
    EXPECT_NE(message.find("ResponseTimeStamps[2] = "), std::string::npos) << message;
}

TEST(TimeResponseFir, TapCountCoversTheLastStamp) {
    Loaded block({0, 1e-12, 2e-12, 2.5e-12}, {1, 2, 3, 4}, TimeResponseFIR::ImpulseResponse, 1e12);
    ASSERT_TRUE(block.fir.Setup());
    EXPECT_EQ(block.fir.NumberOfTaps, 3);
    EXPECT_EQ(block.fir.delayLine.size, 5u);  // three taps, one new sample per firing, one spare
}

TEST(TimeResponseFir, TransmitterAndReceiverTapCounts) {
    Loaded transmitter(EvenStamps(3226, 2.790178571428571e-13), std::vector<double>(3226, 0.0),
                       TimeResponseFIR::ImpulseResponse, 32 / 3.571428571428571e-11);
    ASSERT_TRUE(transmitter.fir.Setup());
    EXPECT_EQ(transmitter.fir.NumberOfTaps, 807);

    Loaded receiver(EvenStamps(500, 2e-12), std::vector<double>(500, 0.0), TimeResponseFIR::ImpulseResponse,
                    4.48e11);
    ASSERT_TRUE(receiver.fir.Setup());
    EXPECT_EQ(receiver.fir.NumberOfTaps, 448);
    receiver.fir.SampleRate = 16 / 3.5714e-11;
    ASSERT_TRUE(receiver.fir.Setup());
    EXPECT_EQ(receiver.fir.NumberOfTaps, 448);
}

TEST(TimeResponseFir, RepeatedSetupGivesIdenticalTaps) {
    std::vector<double> stamps, values;
    for (int k = 0; k < 40; ++k) {
        stamps.push_back(3.7e-9 + k * 0.9e-12);
        values.push_back(std::sin(0.4 * k) * 1e11);
    }
    Loaded block(stamps, values, TimeResponseFIR::ImpulseResponse, 1.37e12);
    ASSERT_TRUE(block.fir.Setup());
    const std::vector<double> first = block.Taps();
    ASSERT_TRUE(block.fir.Setup());
    EXPECT_EQ(block.Taps(), first);
}

TEST(TimeResponseFir, AbsurdTapCountFailsCleanlyAndKeepsEarlierTaps) {
    Loaded block({0, 1e-12, 2e-12, 3e-12}, {0, 1, 0, 0}, TimeResponseFIR::ImpulseResponse, 1e12);
    ASSERT_TRUE(block.fir.Setup());
    const double* taps = block.fir.Taps;

    bool result = true;
    block.fir.SampleRate = 1e300;  // 3e-12 s * 1e300 is far beyond any sane filter
    const std::string message = block.SetupMessages(result);
    EXPECT_FALSE(result);
    EXPECT_NE(message.find("too many taps"), std::string::npos) << message;
    EXPECT_EQ(block.fir.Taps, taps);
    EXPECT_EQ(block.fir.NumberOfTaps, 4);

    block.stamps = {0, 1, 2, 1e300};  // the product overflows to infinity
    block.fir.ResponseTimeStamps = block.stamps.data();
    block.fir.SampleRate = 1e12;
    EXPECT_NE(block.SetupMessages(result).find("too many taps"), std::string::npos);
    EXPECT_FALSE(result);
}

TEST(TimeResponseFir, FailedChecksKeepEarlierTaps) {
    Loaded block({0, 1e-12, 2e-12, 3e-12}, {0, 1, 0, 0}, TimeResponseFIR::ImpulseResponse, 1e12);
    ASSERT_TRUE(block.fir.Setup());
    block.fir.NumberOfResponseValues = 3;
    bool result = true;
    block.SetupMessages(result);
    EXPECT_FALSE(result);
    ASSERT_NE(block.fir.Taps, nullptr);
    EXPECT_EQ(block.Taps(), (std::vector<double>{0, 1e-12, 0, 0}));
}

}  // namespace
