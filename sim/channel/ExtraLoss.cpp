#include <cmath>
#include <sstream>
#include <stdexcept>

#include "sim/channel/Channel.h"
#include "sim/channel/FftwSupport.h"
#include "sim/channel/ImpulseShaping.h"

namespace ksim {

namespace {

// Linear convolution of a and b through one real transform of a length that holds it whole.
std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b) {
    const std::size_t length = a.size() + b.size() - 1;
    const std::size_t n = FftFriendlyLength(length);
    const std::size_t bins = n / 2 + 1;
    FftwRealBuffer samples = AllocateFftwReal(n);
    FftwComplexBuffer first = AllocateFftwComplex(bins), second = AllocateFftwComplex(bins);
    const FftwPlan forwardFirst = FftwPlan::RealToComplex(n, samples.get(), first.get());
    const FftwPlan forwardSecond = FftwPlan::RealToComplex(n, samples.get(), second.get());
    const FftwPlan inverse = FftwPlan::ComplexToReal(n, first.get(), samples.get());
    std::copy(a.begin(), a.end(), samples.get());
    forwardFirst.Execute();
    std::fill(samples.get(), samples.get() + n, 0.0);
    std::copy(b.begin(), b.end(), samples.get());
    forwardSecond.Execute();
    const double scale = 1.0 / static_cast<double>(n);
    for (std::size_t k = 0; k < bins; ++k) first[k] *= second[k] * scale;
    inverse.Execute();
    return std::vector<double>(samples.get(), samples.get() + length);
}

}  // namespace

std::vector<double> AddAnalyticLoss(const std::vector<double>& h, double extraLossDb, double sampleInterval, double bitTime,
                                    ChannelInfo& info) {
    if (!std::isfinite(extraLossDb) || extraLossDb < 0.0)
        throw std::invalid_argument("the extra loss must be 0 dB or more");
    if (extraLossDb == 0.0 || h.empty()) return h;
    ChannelInfo loss;
    const std::vector<double> lossImpulse = BuildAnalyticChannel(extraLossDb, sampleInterval, bitTime, loss);
    std::vector<double> combined = Convolve(h, lossImpulse);
    const std::size_t samplesPerBit = SamplesPerBit(sampleInterval, bitTime);
    combined.resize(DecayedLength(combined.data(), combined.size(), kTailEnergyKept, kTailSumTolerance,
                                  kMaxImpulseUi * samplesPerBit));
    const ChannelInfo base = info;
    std::ostringstream source;
    source << base.source << " + " << extraLossDb << " dB analytic loss";
    DescribeChannel(combined, base.kind, source.str(), base.lossDbAtNyquist + extraLossDb, sampleInterval, bitTime,
                    base.delaySamples, info);
    info.dataEndHz = base.dataEndHz;
    info.extraLossDbAtNyquist = extraLossDb;
    return combined;
}

}  // namespace ksim
