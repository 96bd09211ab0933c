#include "rx/AdaptTraceFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>

namespace {

// The header as every stored trace carries it.
const char kStoredHeader[] = "VGA_GAIN EQ_HIGAIN ctleindex CTLE DFE1 DFE2 DFE3 DFE4 DFE5 HEO VEO";

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(AdaptTraceReader, EveryKindOfLine) {
    constexpr auto H = AdaptTraceLineKind::Header;
    constexpr auto B = AdaptTraceLineKind::Blank;
    constexpr auto M = AdaptTraceLineKind::Measurement;
    constexpr auto X = AdaptTraceLineKind::Malformed;
    const std::string header = kStoredHeader;
    const std::string data = "1 0 3 128\t0.01 \t-0.02 \t0 \t0 \t0 \t0.4375\t0.0875";
    const struct {
        std::string line;
        AdaptTraceLineKind kind;
        long long code;  // the CTLE field read, for a measurement
    } cases[] = {
        {header, H, 0},
        {header + "\r", H, 0},                       // written through a Windows editor
        {header + " ", X, 0},                        // a header is the header exactly
        {"VGA_GAIN EQ_HIGAIN ctleindex CTLE DFE1 DFE2 DFE3 DFE4 DFE5 HEO", X, 0},
        {"", B, 0},
        {" \t \t", B, 0},
        {"\r", B, 0},
        {data, M, 128},
        {data + "\r", M, 128},
        {"  1 0 3 128 0.01 -0.02 0 0 0 0.4375 0.0875  ", M, 128},  // any blanks or tabs separate
        {"+1 0 3 -129 0.01 -0.02 0 0 0 0.4375 0.0875", M, -129},    // signs
        {"1 0 3 99999999999 0.01 -0.02 0 0 0 0.4375 0.0875", M, 99999999999},  // the code is wide
        {"1 0 3 128 nan inf -inf 0 0 0.4375 0.0875", M, 128},       // reals as the writer spells them
        {"1 0 3 128 0.01 -0.02 0 0 0 0.4375", X, 0},                // ten fields
        {data + " 7", X, 0},                                         // twelve fields
        {"1 0 3 128.5 0.01 -0.02 0 0 0 0.4375 0.0875", X, 0},       // a real where an integer goes
        {"1 0 3 128x 0.01 -0.02 0 0 0 0.4375 0.0875", X, 0},
        {"1 0 99999999999 128 0.01 -0.02 0 0 0 0.4375 0.0875", X, 0},  // beyond an int
        {"1 0 3 128 0,01 -0.02 0 0 0 0.4375 0.0875", X, 0},         // a decimal comma
        {"1 0 3 128 0.01 --0.02 0 0 0 0.4375 0.0875", X, 0},
        {"1 0 3 128 0.01 +-0.02 0 0 0 0.4375 0.0875", X, 0},
        {"1 0 3 128 0.01 -0.02 0 0 0 0.4375 1e999", X, 0},          // beyond a double
        {std::string("1 0 3 128 0.01 -0.02 0 0 0 0.4375 0.0875") + '\0', X, 0},
    };
    for (const auto& c : cases) {
        AdaptTraceRecord record;
        record.equaliserCode = -7;
        EXPECT_EQ(ReadAdaptTraceLine(c.line, record), c.kind) << '"' << c.line << '"';
        if (c.kind != M) {
            EXPECT_EQ(record.equaliserCode, -7) << "a line that is no measurement leaves the record alone";
            continue;
        }
        EXPECT_EQ(record.equaliserCode, c.code) << c.line;
        EXPECT_EQ(record.equaliserIndex, 3) << c.line;
        EXPECT_EQ(record.vgaGain, 1) << c.line;
        EXPECT_EQ(record.veo, 0.0875) << c.line;
    }
    EXPECT_EQ(std::string(kAdaptTraceHeader), header + "\n");
}

TEST(AdaptTraceReader, ReadsBackWhatTheReceiverWrites) {
    // Written lines read back to what a default stream reads from the same text, bit for bit.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-320, 300);
    const double inf = std::numeric_limits<double>::infinity();
    for (int k = 0; k < 400; ++k) {
        AdaptTraceRecord written;
        written.vgaGain = k % 2;
        written.eqHighGain = k % 3 - 1;
        written.equaliserIndex = k % 16;
        written.equaliserCode = (k % 5 == 0 ? -1 : 1) * (static_cast<long long>(k) << (k % 40));
        for (double& tap : written.taps) tap = mantissa(random) * std::pow(10.0, exponent(random) / 10);
        written.heo = k == 1 ? std::nan("") : mantissa(random);
        written.veo = k == 2 ? -inf : mantissa(random) * std::pow(10.0, exponent(random));
        const FormattedAdaptTraceLine line(written);
        const std::string text(line.Text(), line.Length() - 1);  // without the line break

        AdaptTraceRecord read;
        ASSERT_EQ(ReadAdaptTraceLine(text, read), AdaptTraceLineKind::Measurement) << text;
        EXPECT_EQ(read.vgaGain, written.vgaGain);
        EXPECT_EQ(read.eqHighGain, written.eqHighGain);
        EXPECT_EQ(read.equaliserIndex, written.equaliserIndex);
        EXPECT_EQ(read.equaliserCode, written.equaliserCode);
        std::istringstream fields(text);
        std::string field;
        for (int skip = 0; skip < 4; ++skip) fields >> field;
        const double got[7] = {read.taps[0], read.taps[1], read.taps[2], read.taps[3], read.taps[4], read.heo, read.veo};
        for (double value : got) {
            fields >> field;
            if (field == "nan") {
                EXPECT_TRUE(std::isnan(value)) << text;
                continue;
            }
            double expected = field == "inf" ? inf : field == "-inf" ? -inf : 0.0;
            if (std::isfinite(expected)) std::istringstream(field) >> expected;
            EXPECT_TRUE(SameBits(value, expected)) << field << " read as " << value;
        }
    }
}
