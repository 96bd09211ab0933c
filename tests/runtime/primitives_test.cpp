#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "runtime/Add.h"
#include "runtime/ConstUnTimed.h"
#include "runtime/Fork.h"
#include "runtime/Gain.h"
#include "runtime/Mux.h"
#include "runtime/TypeConverter.h"

using namespace Velmora;

namespace {

int Round(double x) { return TypeConverterRound::Convert<int, double>(x); }

}  // namespace

TEST(TypeConverterRound, HalvesRoundAwayFromZero) {
    EXPECT_EQ(Round(2.5), 3);
    EXPECT_EQ(Round(-2.5), -3);
    EXPECT_EQ(Round(0.4999), 0);
    EXPECT_EQ(Round(-0.4999), 0);
    EXPECT_EQ(Round(-0.5), -1);
    EXPECT_EQ(Round(0.5), 1);
    EXPECT_EQ(Round(1.0), 1);
    EXPECT_EQ(Round(-1.49), -1);
    EXPECT_EQ(Round(-0.0), 0);
}

TEST(TypeConverterRound, NanGivesZeroAndOutOfRangeSaturates) {
    EXPECT_EQ(Round(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(Round(std::numeric_limits<double>::infinity()), INT_MAX);
    EXPECT_EQ(Round(-std::numeric_limits<double>::infinity()), INT_MIN);
    EXPECT_EQ(Round(3e9), INT_MAX);
    EXPECT_EQ(Round(-3e9), INT_MIN);
    // The range ends themselves and their rounded neighbours stay exact.
    EXPECT_EQ(Round(2147483646.6), INT_MAX);
    EXPECT_EQ(Round(2147483647.4), INT_MAX);
    EXPECT_EQ(Round(2147483647.5), INT_MAX);
    EXPECT_EQ(Round(-2147483648.4), INT_MIN);
    EXPECT_EQ(Round(-2147483648.5), INT_MIN);
    EXPECT_EQ(Round(2147483645.5), 2147483646);
}

TEST(ScalarToScalar, ConvertsOneElementAtOffsetZero) {
    ScalarToScalar<double, int, TypeConverterRound> round;
    double in[3] = {0.0, -7.5, 0.0};
    int out[2] = {0, 0};
    round.input.Attach(in, 3);
    round.input.position = 1;
    round.output.Attach(out, 2);
    round.output.position = 1;
    EXPECT_TRUE(round.Run());
    EXPECT_EQ(out[1], -8);
    EXPECT_EQ(out[0], 0);

    ScalarToScalar<int, float, TypeConverterAssign> toFloat;
    int i = 16777217;  // 2^24 + 1 has no float; nearest is 2^24
    float f = 0.0f;
    toFloat.input.Attach(&i, 1);
    toFloat.output.Attach(&f, 1);
    EXPECT_TRUE(toFloat.Run());
    EXPECT_EQ(f, 16777216.0f);

    ScalarToScalar<int, double, TypeConverterAssign> intToDouble;
    int j = -123456789;
    double d = 0.0;
    intToDouble.input.Attach(&j, 1);
    intToDouble.output.Attach(&d, 1);
    EXPECT_TRUE(intToDouble.Run());
    EXPECT_EQ(d, -123456789.0);

    ScalarToScalar<float, double, TypeConverterAssign> floatToDouble;
    float g = 0.1f;
    floatToDouble.input.Attach(&g, 1);
    floatToDouble.output.Attach(&d, 1);
    EXPECT_TRUE(floatToDouble.Run());
    EXPECT_EQ(d, static_cast<double>(0.1f));
}

TEST(ConstUnTimed, InitialDelayGivesZerosFirst) {
    ConstUnTimed<double> source;
    double out = -9.0;
    source.output.Attach(&out, 1);
    source.value = 1.0;
    source.InitialDelay = 3;
    ASSERT_TRUE(source.Setup());
    ASSERT_TRUE(source.Initialize());
    const double expected[] = {0.0, 0.0, 0.0, 1.0, 1.0, 1.0};
    for (double e : expected) {
        ASSERT_TRUE(source.Run());
        EXPECT_EQ(out, e);
    }
    // A new Initialize restarts the delay.
    ASSERT_TRUE(source.Initialize());
    source.Run();
    EXPECT_EQ(out, 0.0);

    source.InitialDelay = 0;
    source.value = -2.25;
    ASSERT_TRUE(source.Initialize());
    source.Run();
    EXPECT_EQ(out, -2.25);
}

TEST(ConstUnTimed, NegativeDelayFailsInitialize) {
    ConstUnTimed<double> source;
    double out = 0.0;
    source.output.Attach(&out, 1);
    source.InitialDelay = -1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(source.Initialize());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "InitialDelay must be >= 0\n");
}

TEST(ConstUnTimed, FiringCountWrapsAndRestartsTheDelay) {
    ConstUnTimed<double> source;
    double out = 0.0;
    source.output.Attach(&out, 1);
    source.value = 4.0;
    source.InitialDelay = 2;
    ASSERT_TRUE(source.Initialize());
    source.firingCount = UINT32_MAX;
    source.Run();
    EXPECT_EQ(out, 4.0);
    EXPECT_EQ(source.firingCount, 0u);
    source.Run();
    EXPECT_EQ(out, 0.0);
    source.Run();
    EXPECT_EQ(out, 0.0);
    source.Run();
    EXPECT_EQ(out, 4.0);
}

TEST(Gain, MultipliesInFloat) {
    Gain<float> gain;
    float in = -1.0f, out = 0.0f;
    gain.input.Attach(&in, 1);
    gain.output.Attach(&out, 1);
    gain.gain = 0.5f;
    EXPECT_TRUE(gain.Run());
    EXPECT_EQ(out, -0.5f);
    in = 0.1f;
    gain.gain = 3.0f;
    gain.Run();
    EXPECT_EQ(out, 0.1f * 3.0f);
}

TEST(Fork, CopiesToEveryBranch) {
    Fork<double> fork;
    double in = 0.375;
    double branchStorage[6] = {};
    fork.input.Attach(&in, 1);
    fork.output.SetBusWidth(6);
    for (int i = 0; i < 6; ++i) fork.output[i].Attach(&branchStorage[i], 1);
    EXPECT_TRUE(fork.Run());
    for (double v : branchStorage) EXPECT_EQ(v, 0.375);

    Fork<int> empty;
    int x = 1;
    empty.input.Attach(&x, 1);
    EXPECT_TRUE(empty.Run());
}

TEST(Add, SumsBranchesInIntArithmetic) {
    Add<int> add;
    int a = 1, b = -1, out = 99;
    add.output.Attach(&out, 1);
    EXPECT_TRUE(add.Run());
    EXPECT_EQ(out, 0);  // no branches

    add.input.SetBusWidth(2);
    add.input[0].Attach(&a, 1);
    add.input[1].Attach(&b, 1);
    out = 99;
    add.Run();
    EXPECT_EQ(out, 0);
    a = 5;
    b = 7;
    add.Run();
    EXPECT_EQ(out, 12);
    // Overflow wraps instead of being undefined.
    a = INT_MAX;
    b = 1;
    add.Run();
    EXPECT_EQ(out, INT_MIN);
}

class MuxTest : public testing::Test {
protected:
    void Connect(std::size_t width) {
        mux.input.SetBusWidth(width);
        for (std::size_t i = 0; i < width; ++i) mux.input[i].Attach(&inputs[i], 1);
        mux.output.Attach(&out, 1);
    }
    std::string RunExpectingFailure(int control) {
        mux.control = control;
        out = -7.0;
        testing::internal::CaptureStderr();
        const bool ok = mux.Run();
        std::string text = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ok);
        EXPECT_EQ(out, -7.0);  // untouched
        return text;
    }

    Mux<double> mux;
    double inputs[2] = {10.0, 20.0};
    double out = 0.0;
};

TEST_F(MuxTest, SelectsTheControlledInput) {
    Connect(2);
    ASSERT_TRUE(mux.Setup());
    mux.control = 0;
    EXPECT_TRUE(mux.Run());
    EXPECT_EQ(out, 10.0);
    mux.control = 1;
    EXPECT_TRUE(mux.Run());
    EXPECT_EQ(out, 20.0);
}

TEST_F(MuxTest, OutOfRangeMessageForTwoInputs) {
    Connect(2);
    ASSERT_TRUE(mux.Setup());
    EXPECT_EQ(RunExpectingFailure(2),
              "Control input signal value is equal to 2.  There are 2 inputs connected.  "
              "The valid control input range is [0,1].\n");
    EXPECT_EQ(RunExpectingFailure(-1),
              "Control input signal value is equal to -1.  There are 2 inputs connected.  "
              "The valid control input range is [0,1].\n");
}

TEST_F(MuxTest, OutOfRangeMessageForOneAndNoInput) {
    Connect(1);
    ASSERT_TRUE(mux.Setup());
    EXPECT_EQ(RunExpectingFailure(5),
              "Control input signal value is equal to 5.  There is 1 input connected.  "
              "The valid control input range is [0,0].\n");
    mux.input.SetBusWidth(0);
    EXPECT_EQ(RunExpectingFailure(0),
              "Control input signal value is equal to 0.  There is 0 input connected.  "
              "The valid control input range is [0,-1].\n");
}

TEST_F(MuxTest, BlockSizeSetsRatesAndMovesBlocks) {
    mux.BlockSize = 0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(mux.Setup());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "BlockSize must be >= 1\n");

    double a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8}, o[4] = {};
    mux.input.SetBusWidth(2);
    mux.input[0].Attach(a, 4);
    mux.input[1].Attach(b, 4);
    mux.input[1].position = 2;
    mux.output.Attach(o, 4);
    mux.output.position = 3;
    mux.BlockSize = 3;
    ASSERT_TRUE(mux.Setup());
    EXPECT_EQ(mux.output.rate, 3u);
    EXPECT_EQ(mux.input[0].rate, 3u);
    EXPECT_EQ(mux.input[1].size, 3u);
    mux.control = 1;
    ASSERT_TRUE(mux.Run());
    // Source offsets 0..2 of b from index 2 are 7, 8, 5; destination indexes 3, 0, 1.
    EXPECT_EQ(o[3], 7.0);
    EXPECT_EQ(o[0], 8.0);
    EXPECT_EQ(o[1], 5.0);
    EXPECT_EQ(o[2], 0.0);
}
