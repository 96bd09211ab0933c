#include <cmath>
#include <sstream>
#include <stdexcept>

#include "sim/channel/Channel.h"
#include "sim/channel/FftwSupport.h"
#include "sim/channel/ImpulseShaping.h"

namespace ksim {

namespace {

constexpr double kNepersToDb = 8.685889638065035;   // 20 log10(e)
constexpr double kSkinTransitionHz = 60e6;           // skin depth = half the thickness of half-ounce copper
constexpr double kMaxLossDb = 100.0;
constexpr std::size_t kPeriodUi = 2048;              // period of the transforms; the response decays well within

// Attenuation [Np] of the loss model at f [Hz] with the given coefficients.
struct LossModel {
    double skin = 0.0;        // [Np / sqrt(Hz)]
    double dielectric = 0.0;  // [Np / Hz]
    double Nepers(double f) const {
        return skin * (std::sqrt(f + kSkinTransitionHz) - std::sqrt(kSkinTransitionHz)) + dielectric * f;
    }
};

LossModel ScaledLossModel(double lossDb, double nyquist) {
    const double halfNepers = 0.5 * lossDb / kNepersToDb;
    LossModel model;
    model.skin = halfNepers / (std::sqrt(nyquist + kSkinTransitionHz) - std::sqrt(kSkinTransitionHz));
    model.dielectric = halfNepers / nyquist;
    return model;
}

// Minimum-phase impulse response (one period of n samples) whose spectrum has magnitude
// exp(-model.Nepers(f)) on the n-point grid: the real cepstrum of the log magnitude, folded onto positive
// times, transformed back and exponentiated.
std::vector<double> MinimumPhaseImpulse(const LossModel& model, std::size_t n, double sampleInterval) {
    const std::size_t bins = n / 2 + 1;
    const double binStep = 1.0 / (static_cast<double>(n) * sampleInterval);
    FftwComplexBuffer spectrum = AllocateFftwComplex(bins);
    FftwRealBuffer samples = AllocateFftwReal(n);
    const FftwPlan toTime = FftwPlan::ComplexToReal(n, spectrum.get(), samples.get());
    const FftwPlan toFrequency = FftwPlan::RealToComplex(n, samples.get(), spectrum.get());

    const double scale = 1.0 / static_cast<double>(n);
    for (std::size_t k = 0; k < bins; ++k) spectrum[k] = -model.Nepers(static_cast<double>(k) * binStep) * scale;
    toTime.Execute();  // real cepstrum, even in time
    for (std::size_t i = 1; i < n; ++i) {
        if (2 * i < n) samples[i] *= 2.0;
        else if (2 * i > n) samples[i] = 0.0;
    }
    toFrequency.Execute();  // log of the minimum-phase spectrum
    for (std::size_t k = 0; k < bins; ++k) spectrum[k] = std::exp(spectrum[k]) * scale;
    toTime.Execute();
    return std::vector<double>(samples.get(), samples.get() + n);
}

}  // namespace

std::vector<double> BuildAnalyticChannel(double lossDbAtNyquist, double sampleInterval, double bitTime, ChannelInfo& info) {
    const std::size_t samplesPerBit = SamplesPerBit(sampleInterval, bitTime);
    if (!std::isfinite(lossDbAtNyquist) || lossDbAtNyquist < 0.0 || lossDbAtNyquist > kMaxLossDb) {
        std::ostringstream what;
        what << "analytic channel: the loss at the Nyquist frequency must be 0 to " << kMaxLossDb << " dB";
        throw std::invalid_argument(what.str());
    }
    std::vector<double> h;
    if (lossDbAtNyquist == 0.0) {
        h.assign(1, 1.0);
    } else {
        const LossModel model = ScaledLossModel(lossDbAtNyquist, 0.5 / bitTime);
        h = MinimumPhaseImpulse(model, FftFriendlyLength(kPeriodUi * samplesPerBit), sampleInterval);
        h.resize(DecayedLength(h.data(), h.size(), kTailEnergyKept, kTailSumTolerance, kMaxImpulseUi * samplesPerBit));
    }
    std::ostringstream source;
    source << "skin-effect and dielectric loss, " << lossDbAtNyquist << " dB at " << 0.5e-9 / bitTime << " GHz, minimum phase";
    DescribeChannel(h, "analytic", source.str(), lossDbAtNyquist, sampleInterval, bitTime, 0, info);
    return h;
}

}  // namespace ksim
