// Extra analytic loss on top of a channel: the losses add at half the bit rate, the DC gain stays, the
// added part is the analytic channel itself, and nothing changes without it.

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/channel/Channel.h"
#include "sim/channel/ImpulseShaping.h"

namespace {

constexpr double kBitTime = 3.571428571428571e-11;  // 28 Gb/s
constexpr double kDt = kBitTime / 32;
constexpr double kNyquist = 0.5 / kBitTime;

}  // namespace

TEST(SimExtraLoss, LossesAddAtNyquistAndTheDcGainStays) {
    const std::string measured = std::string(KELVANE_SHARED_CHANNELS) + "/DPO_14in_Meg7_THRU.s4p";
    for (const std::string& channel : {std::string("analytic"), measured})
        for (double extra : {0.0, 3.0, 8.3, 20.0}) {
            ksim::ChannelInfo info;
            const std::vector<double> base = ksim::BuildChannelByName(channel, 10.0, {1, 3, 2, 4}, kDt, kBitTime, info);
            const ksim::ChannelInfo before = info;
            const std::vector<double> h = ksim::AddAnalyticLoss(base, extra, kDt, kBitTime, info);
            const std::string what = channel + " + " + std::to_string(extra) + " dB";
            if (extra == 0.0) {
                EXPECT_EQ(h, base) << what;
                EXPECT_EQ(info.source, before.source) << what;
                continue;
            }
            EXPECT_NEAR(ksim::ImpulseLossDb(h, kNyquist, kDt) - ksim::ImpulseLossDb(base, kNyquist, kDt), extra, 0.05) << what;
            EXPECT_DOUBLE_EQ(info.lossDbAtNyquist, before.lossDbAtNyquist + extra) << what;
            EXPECT_NEAR(info.dcGain, before.dcGain, 2e-3 * std::fabs(before.dcGain)) << what;
            EXPECT_EQ(info.extraLossDbAtNyquist, extra) << what;
            EXPECT_EQ(info.delaySamples, before.delaySamples) << what;
            EXPECT_NE(info.source.find(" dB analytic loss"), std::string::npos) << what;
        }
}

TEST(SimExtraLoss, TheAddedPartIsTheAnalyticChannelAndBadLossIsRefused) {
    ksim::ChannelInfo alone, info;
    const std::vector<double> analytic = ksim::BuildAnalyticChannel(6.0, kDt, kBitTime, alone);
    std::vector<double> delayed(4, 0.0);
    delayed[3] = 0.5;  // half the amplitude, three samples late
    const std::vector<double> h = ksim::AddAnalyticLoss(delayed, 6.0, kDt, kBitTime, info);
    ASSERT_GE(h.size(), 3 + analytic.size() / 2);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(h[i], 0.0, 1e-12) << i;
    for (std::size_t i = 3; i < h.size(); ++i) ASSERT_NEAR(h[i], 0.5 * analytic[i - 3], 1e-12) << i;
    for (double bad : {-1.0, std::nan(""), HUGE_VAL})
        EXPECT_THROW(ksim::AddAnalyticLoss(delayed, bad, kDt, kBitTime, info), std::invalid_argument) << bad;
}
