// How the transmitter library hands its parameters to the FFE, checked through the entry points against a
// reference written here: the FFE's weights from the settings and sign flags, and its taps 32 samples apart.
// The transmitter is linear, so its impulse response is y = f * h, with f the FFE's three taps and h the
// rest of the model. Two runs with FFE taps f1, f2 must then satisfy y1 * f2 == y2 * f1 whatever h is:
// a wrong weight, a wrong sign or a tap in the wrong place breaks the identity.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/AmiLibrary.h"

namespace {

const double kBitTime = 3.571428571428571e-11;

struct TxSettings {
    int c0 = 15, c1 = 0, cm1 = 4;
    double c0Sign = 1, c1Sign = 1, cm1Sign = 1;
};

// The FFE's taps at 0, 32 and 64 samples (pre-cursor, main, post-cursor), worked out from the settings.
std::vector<double> ReferenceTaps(const TxSettings& s) {
    static const double kMainTable[32] = {
        0.205, 0.26, 0.305, 0.355, 0.395, 0.44, 0.49, 0.525, 0.565, 0.61, 0.65, 0.685, 0.72, 0.76, 0.79, 0.825,
        0.86, 0.89, 0.925, 0.96, 0.985, 1.01, 1.04, 1.075, 1.095, 1.125, 1.15, 1.165, 1.19, 1.205, 1.22, 1.225};
    const double post = s.c1 >= 1 ? (-0.03 - 0.031 * s.c1) / 2 : 0.0;   // de-emphasis magnitudes, negative
    const double pre = s.cm1 >= 1 ? (-0.025 - 0.03 * s.cm1) / 2 : 0.0;
    double main = kMainTable[std::min(s.c0 + s.c1 + s.cm1, 31)] / 2 + post + pre;
    if (s.c0Sign == 0) main = -main;                 // c0_sign 0 alone makes the main weight negative
    const double postTap = s.c1Sign == 1 ? -post : post;  // 1 makes a cursor positive, any other value negative
    const double preTap = s.cm1Sign == 1 ? -pre : pre;
    std::vector<double> f(65, 0.0);
    f[0] = preTap;
    f[32] = main;
    f[64] = postTap;
    return f;
}

std::vector<double> ImpulseResponse(const TxSettings& s, double samplesPerBit) {
    static const AmiLibrary lib(KELVANE_TX_LIBRARY);
    char text[200];
    std::snprintf(text, sizeof text, "(kelvane_tx (c0 %d) (c1 %d) (cm1 %d) (c0_sign %g) (c1_sign %g) (cm1_sign %g))",
                  s.c0, s.c1, s.cm1, s.c0Sign, s.c1Sign, s.cm1Sign);
    AmiSession session(lib, text, kBitTime / samplesPerBit, kBitTime);
    EXPECT_EQ(session.initResult, 1) << session.message;
    std::vector<double> wave(1500, 0.0);
    wave[40] = 0.5;
    session.Process(wave, wave.size());
    return wave;
}

std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> c(a.size() + b.size() - 1, 0.0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j) c[i + j] += a[i] * b[j];
    return c;
}

// Largest difference of y1 * f2 and y2 * f1 relative to their size.
double IdentityError(const TxSettings& s1, const TxSettings& s2, double samplesPerBit) {
    const std::vector<double> left = Convolve(ImpulseResponse(s1, samplesPerBit), ReferenceTaps(s2));
    const std::vector<double> right = Convolve(ImpulseResponse(s2, samplesPerBit), ReferenceTaps(s1));
    double err = 0, size = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        err = std::max(err, std::fabs(left[i] - right[i]));
        size = std::max(size, std::fabs(left[i]));
    }
    return size > 0 ? err / size : 1.0;
}

}  // namespace

// Every flag at 0, 1, 2 and -1, each with the other flags at other values, on settings where every tap is
// non-zero and the pre- and post-cursor differ, at 32 samples per bit and at a non-integer ratio.
TEST(TxWiring, SignFlagsAtEveryValue) {
    const TxSettings base{12, 5, 2, 1, 1, 1};
    for (double spb : {32.0, 20.5}) {
        for (int flag = 0; flag < 3; ++flag) {
            for (double value : {0.0, 1.0, 2.0, -1.0}) {
                TxSettings s = base;
                double* flags[3] = {&s.c0Sign, &s.c1Sign, &s.cm1Sign};
                *flags[flag] = value;
                *flags[(flag + 1) % 3] = value == 1 ? 0 : 1;  // the neighbours disagree with the flag
                EXPECT_LT(IdentityError(base, s, spb), 1e-12)
                    << "flag " << flag << " = " << value << " at " << spb << " samples per bit";
            }
        }
    }
}

// Each of the 32 entries of the main-tap table, reached through c0 alone and through the sum of the three
// settings, against the plain run at the defaults.
TEST(TxWiring, EveryMainTapEntry) {
    const TxSettings reference{15, 0, 4, 1, 1, 1};
    for (int entry = 0; entry < 32; ++entry) {
        TxSettings alone{entry, 0, 0, 1, 1, 1};
        EXPECT_LT(IdentityError(reference, alone, 32.0), 1e-12) << "c0 " << entry;
        if (entry >= 2) {
            TxSettings summed{entry - 2, 1, 1, 1, 0, -1};
            EXPECT_LT(IdentityError(reference, summed, 20.5), 1e-12) << "c0 " << entry - 2 << " c1 1 cm1 1";
        }
    }
    // Sums above 31 use the last entry.
    EXPECT_LT(IdentityError(reference, TxSettings{31, 15, 15, 1, 1, 1}, 32.0), 1e-12);
}
