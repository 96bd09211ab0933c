#include "sim/channel/ImpulseShaping.h"

#include <cmath>
#include <complex>
#include <stdexcept>

namespace ksim {

std::size_t SamplesPerBit(double sampleInterval, double bitTime) {
    if (!std::isfinite(sampleInterval) || !(sampleInterval > 0.0))
        throw std::invalid_argument("the sample interval must be a positive number of seconds");
    if (!std::isfinite(bitTime) || !(bitTime >= sampleInterval))
        throw std::invalid_argument("the bit time must be at least one sample interval");
    const double ratio = std::round(bitTime / sampleInterval);
    if (ratio > 1e6) throw std::invalid_argument("more than a million samples per bit");
    return static_cast<std::size_t>(ratio);
}

std::size_t ResponseStart(const double* h, std::size_t n, double riseFraction, std::size_t marginSamples) {
    if (n == 0) return 0;
    std::size_t peak = 0;
    for (std::size_t i = 1; i < n; ++i)
        if (std::fabs(h[i]) > std::fabs(h[peak])) peak = i;
    const double threshold = riseFraction * std::fabs(h[peak]);
    std::size_t rise = peak;
    while (rise > 0 && std::fabs(h[rise - 1]) >= threshold) --rise;
    return rise > marginSamples ? rise - marginSamples : 0;
}

std::size_t DecayedLength(const double* h, std::size_t n, double energyFraction, double sumTolerance, std::size_t maxLength) {
    if (n == 0) return 0;
    const std::size_t limit = n < maxLength ? n : maxLength;
    double energy = 0.0, sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        energy += h[i] * h[i];
        sum += h[i];
    }
    const double energyNeeded = energyFraction * energy;
    const double sumSlack = sumTolerance * std::fabs(sum);
    // Backwards, so that a tail that wanders back out of tolerance is kept.
    double tailEnergy = 0.0, tailSum = 0.0;
    std::size_t length = n;
    for (std::size_t i = n; i-- > 1;) {
        tailEnergy += h[i] * h[i];
        tailSum += h[i];
        if (energy - tailEnergy < energyNeeded || std::fabs(tailSum) > sumSlack) break;
        length = i;
    }
    return length < limit ? length : limit;
}

std::vector<double> PulseResponse(const std::vector<double>& h, std::size_t samplesPerBit) {
    if (h.empty() || samplesPerBit == 0) return {};
    std::vector<double> pulse(h.size() + samplesPerBit - 1, 0.0);
    for (std::size_t i = 0; i < pulse.size(); ++i) {
        const std::size_t first = i + 1 > samplesPerBit ? i + 1 - samplesPerBit : 0;
        const std::size_t last = i < h.size() ? i : h.size() - 1;
        double sum = 0.0;
        for (std::size_t k = first; k <= last; ++k) sum += h[k];
        pulse[i] = sum;
    }
    return pulse;
}

double ImpulseLossDb(const std::vector<double>& h, double frequency, double sampleInterval) {
    constexpr double kTwoPi = 6.283185307179586476925;
    constexpr std::size_t kResync = 256;  // rotations between exact phasors, so rounding cannot build up
    const double step = kTwoPi * frequency * sampleInterval;
    const std::complex<double> rotation(std::cos(step), -std::sin(step));
    std::complex<double> sum = 0.0, phasor = 1.0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        if (i % kResync == 0) {
            const double phase = std::fmod(step * static_cast<double>(i), kTwoPi);
            phasor = std::complex<double>(std::cos(phase), -std::sin(phase));
        }
        sum += h[i] * phasor;
        phasor *= rotation;
    }
    return -20.0 * std::log10(std::abs(sum));
}

void DescribeChannel(const std::vector<double>& h, const std::string& kind, const std::string& source, double lossDbAtNyquist,
                     double sampleInterval, double bitTime, std::size_t delaySamples, ChannelInfo& info) {
    info.kind = kind;
    info.source = source;
    info.lossDbAtNyquist = lossDbAtNyquist;
    double sum = 0.0;
    for (double v : h) sum += v;
    info.dcGain = sum;
    info.sampleInterval = sampleInterval;
    info.delaySamples = delaySamples;
    info.pulseResponse = PulseResponse(h, SamplesPerBit(sampleInterval, bitTime));
    // The loss curve reaches three times the Nyquist frequency, where the equalisers have given up.
    constexpr int kLossPoints = 151;
    info.lossFrequencyHz.clear();
    info.lossDb.clear();
    for (int k = 0; k < kLossPoints; ++k) {
        const double f = 1.5 / bitTime * k / (kLossPoints - 1);
        info.lossFrequencyHz.push_back(f);
        info.lossDb.push_back(ImpulseLossDb(h, f, sampleInterval));
    }
}

}  // namespace ksim
