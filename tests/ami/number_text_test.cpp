// The parameter parser reads numbers with its own reader, the same on every platform. Its accepted syntax,
// its results and where it stops must be those of strtod (and strtol for integers) in the C locale.

#include <gtest/gtest.h>

#include <locale.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ami/NumberText.h"

namespace {

std::uint64_t Bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Same value bits (any NaN matches a NaN of the same sign: payloads are no part of a parameter's value)
// and same end.
void ExpectReadsLikeStrtod(const std::string& text, locale_t c) {
    char* strtodEnd = nullptr;
    char* ourEnd = nullptr;
    const double expected = strtod_l(text.c_str(), &strtodEnd, c);
    const double got = ReadNumberText(text.c_str(), &ourEnd);
    EXPECT_EQ(ourEnd - text.c_str(), strtodEnd - text.c_str()) << '"' << text << '"';
    if (expected != expected)
        EXPECT_TRUE(got != got && std::signbit(got) == std::signbit(expected)) << '"' << text << '"';
    else
        EXPECT_EQ(Bits(got), Bits(expected)) << '"' << text << "\": " << got << " vs " << expected;

    char* strtolEnd = nullptr;
    strtol_l(text.c_str(), &strtolEnd, 10, c);
    EXPECT_EQ(IsIntegerText(text.c_str()), strtolEnd != text.c_str() && *strtolEnd == '\0') << '"' << text << '"';
}

}  // namespace

TEST(NumberText, ReadsEveryFormLikeStrtodInTheCLocale) {
    const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    ASSERT_NE(c, static_cast<locale_t>(0));
    const std::vector<std::string> texts = {
        // signs, white space, partial numbers
        "", " ", "7", "+7", "-7", "--7", "+-7", "-+7", " \t\n\v\f\r5", "- 5", "5 ", "1.", ".5", ".", "-.", "e5",
        "1e", "1e+", "1e-", "1E5", "1.e3", ".e3", "1,5", "12abc", "007", "-0", "+0.0", "1e+05", "1e0005",
        // hexadecimal, with and without digits after the prefix
        "0x", "0X1A", "0x1.8p3", "0x1p", "0x.8", "0x.", "0x-1", "0xp1", "0xg", "  -0x1.1p+2xyz", "0x1.fffffffffffff8p1023",
        // infinities and NaNs
        "inf", "INF", "-Inf", "infinity", "infinit", "infx", "nan", "NaN", "-nan", "nan()", "nan(12)", "nan(a_9)",
        "nan(1 2)", "nan(", "nanx",
        // range: overflow, underflow to subnormals and to zero, in both notations
        "1.7976931348623157e308", "1.8e308", "-1e309", "1e99999999999999999999", "2.2250738585072011e-308",
        "4.9e-324", "2.4e-324", "2.5e-324", "-1e-400", "1e-99999999999999999999", "0e999999999", "0x1p-1074",
        "0x1p-1075", "0x1.8p-1075", "0x1p1024", "0.000000000000000000000000000000001e-300", "1000000000000000000000e300",
        // correct rounding: halfway cases and long digit strings
        "9007199254740993", "9007199254740993.0000000000000000000000001", "123456789012345678901234567890",
        "0.1", "3.571428571428571e-11", "1.1160714285714286e-12", "600000000.0"};
    for (const std::string& text : texts) ExpectReadsLikeStrtod(text, c);

    // Shortest, 17-digit, short-precision and hexadecimal spellings of random bit patterns.
    std::mt19937_64 random(9);
    for (int i = 0; i < 3000; ++i) {
        const std::uint64_t bits = random();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        char text[64];
        const char* formats[] = {"%.17g", "%.3g", "%a"};
        for (const char* format : formats) {
            std::snprintf(text, sizeof text, format, x);
            ExpectReadsLikeStrtod(text, c);
        }
    }
    freelocale(c);
}
