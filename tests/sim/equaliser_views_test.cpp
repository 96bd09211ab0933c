// The equaliser views: the gain of sampled responses, the table settings' bank columns against the response
// bank itself, the equalised pulse, and the "not measured" path.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numeric>
#include <string>
#include <vector>

#include "rx/CtleBank.h"
#include "sim/SimResults.h"
#include "sim/analysis/EqualiserViews.h"
#include "sim/report/EqualiserReport.h"

namespace ksim {
namespace {

const double kPi = std::acos(-1.0);

TEST(EqualiserViews, FirGainMatchesClosedForms) {
    const double dt = 1e-12;
    struct Case {
        std::vector<double> taps;
        double f;           // [Hz]
        double gain;        // |H(f)|, worked out by hand
    };
    const Case cases[] = {
        {{0.5}, 3e9, 0.5},                              // one tap: flat
        {{1, 1}, 0, 2},                                 // two equal taps add at DC ...
        {{1, 1}, 0.25 / dt, std::sqrt(2.0)},            // ... are at right angles a quarter of the way ...
        {{1, -1}, 0.5 / dt, 2},                         // ... and a difference doubles at half the rate
        {{0.6, 0.3}, 0.25 / dt, std::sqrt(0.45)},       // |0.6 - 0.3j|
        {{0.2, 0, 0, 0.7}, 1e10, std::abs(0.2 + 0.7 * std::polar(1.0, -2 * kPi * 1e10 * 3 * dt))},
    };
    for (const Case& c : cases) {
        const std::vector<double> db = FirGainDb(c.taps, dt, {c.f});
        EXPECT_NEAR(db[0], 20 * std::log10(c.gain), 1e-9) << c.taps.size() << " taps at " << c.f;
    }
    EXPECT_LT(FirGainDb({1, 1}, dt, {0.5 / dt})[0], -250);  // a zero, but for the rounding of pi
    EXPECT_TRUE(std::isinf(FirGainDb({0, 0}, dt, {1e9})[0]));
}

// The bank column's response read straight from the bank: sum of density x 2 ps x exp(-j w t_k).
double BankGainDb(int column, double f) {
    std::complex<double> sum = 0;
    for (int k = 0; k < kCtleBankPoints; ++k) {
        const double h = CtleBankValues()[k + static_cast<std::size_t>(kCtleBankPoints) * column];
        sum += h * kCtleBankStep * std::polar(1.0, -2 * kPi * f * CtleBankTimeStamp(k));
    }
    return 20 * std::log10(std::abs(sum));
}

// At 32 samples of 2 ps per bit the receiver's equaliser takes the bank's values as they are, so its
// response is the bank column's own.
RunReport ReportWithTable(int vgaGain, int eqHighGain, const std::vector<double>& codes) {
    RunReport r;
    r.bitTime = 32 * kCtleBankStep;
    r.samplesPerBit = 32;
    r.channel.sampleInterval = kCtleBankStep;
    for (std::size_t i = 0; i < codes.size(); ++i) r.rxApplied.push_back({"EQ_TABLE." + std::to_string(i), "", codes[i], false});
    r.rxApplied.push_back({"VGA_GAIN", "", static_cast<double>(vgaGain), false});
    r.rxApplied.push_back({"EQ_HIGAIN", "", static_cast<double>(eqHighGain), false});
    return r;
}

// Each setting's curve is the response of the bank column the gain bits and the code select: it matches
// that column read straight from the bank, and no other column of the bank matches it better.
TEST(EqualiserViews, SettingsFilterWithTheColumnsTheGainBitsAndCodesSelect) {
    const std::vector<double> codes = {0, 64, 80, 128, 144, 192, 208, 209, 213, 216, 234, 2347, 253, 238, 239, 255};
    struct Case {
        int vga, high, index;
        int column;  // worked out by hand: 256 * (vga + 2 high) + code, the first column outside the bank
    };
    const Case cases[] = {{0, 0, 13, 238}, {1, 0, 3, 384}, {0, 1, 6, 720}, {1, 1, 15, 1023}, {1, 1, 11, 0}};
    const double nyquist = 0.5 / (32 * kCtleBankStep);
    for (const Case& c : cases) {
        SCOPED_TRACE("VGA_GAIN " + std::to_string(c.vga) + ", EQ_HIGAIN " + std::to_string(c.high) + ", index " +
                     std::to_string(c.index));
        RunReport r = ReportWithTable(c.vga, c.high, codes);
        r.adaptation.chosenTableIndex = c.index;
        const EqualiserViews views = ComputeEqualiserViews(r);
        ASSERT_TRUE(views.available) << views.reason;
        const EqualiserSetting& s = views.table[static_cast<std::size_t>(c.index)];
        EXPECT_EQ(s.column, c.column);
        EXPECT_EQ(s.outsideBank, c.index == 11);
        EXPECT_NEAR(s.dcGainDb, BankGainDb(c.column, 0), 1e-6);
        EXPECT_NEAR(s.nyquistGainDb, BankGainDb(c.column, nyquist), 1e-6);
        int closest = -1;
        double best = 1e9;
        for (int column = 0; column < kCtleBankResponses; ++column) {
            const double miss = std::fabs(BankGainDb(column, nyquist) - s.nyquistGainDb) +
                                std::fabs(BankGainDb(column, 0) - s.dcGainDb);
            if (miss < best) best = miss, closest = column;
        }
        EXPECT_LT(best, 1e-6);
        EXPECT_NEAR(BankGainDb(closest, nyquist), BankGainDb(c.column, nyquist), 1e-9);  // ties among equal columns
    }
}

TEST(EqualiserViews, EqualisedPulseChannelSumAndMissingTable) {
    RunReport r = ReportWithTable(0, 0, std::vector<double>(16, 200));
    r.adaptation.chosenTableIndex = 4;
    r.channel.lossFrequencyHz = {0, 14e9};
    r.channel.lossDb = {0, 15};
    r.channel.lossDbAtNyquist = 15;
    for (int i = 0; i < 400; ++i) r.channel.pulseResponse.push_back(std::exp(-std::pow((i - 100) / 30.0, 2)));
    const EqualiserViews views = ComputeEqualiserViews(r);
    ASSERT_TRUE(views.available) << views.reason;
    // a convolution multiplies the sums: the pulse's area times the equaliser's DC gain
    const double before = std::accumulate(views.pulseBefore.begin(), views.pulseBefore.end(), 0.0);
    const double after = std::accumulate(views.pulseAfter.begin(), views.pulseAfter.end(), 0.0);
    EXPECT_NEAR(after / before, std::pow(10, views.table[4].dcGainDb / 20), 1e-9);
    ASSERT_EQ(views.combinedDb.size(), 2u);
    EXPECT_NEAR(views.combinedDb[1], views.table[4].gainDb[1] - 15, 1e-12);
    EXPECT_NEAR(EqualiserJson(r, views)["channel_plus_equaliser_at_nyquist_db"].get<double>(),
                views.table[4].nyquistGainDb - 15, 1e-12);

    RunReport bare;
    bare.bitTime = r.bitTime;
    bare.samplesPerBit = 32;
    const EqualiserViews none = ComputeEqualiserViews(bare);
    EXPECT_FALSE(none.available);
    EXPECT_EQ(EqualiserJson(bare, none)["reason"], "not measured: the receiver's EQ_TABLE is not in the run's applied parameters");
    EXPECT_FALSE(ComputeEqualiserViews(RunReport()).available);
}

}  // namespace
}  // namespace ksim
