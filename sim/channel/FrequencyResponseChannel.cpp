#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "sim/channel/Channel.h"
#include "sim/channel/FftwSupport.h"
#include "sim/channel/ImpulseShaping.h"
#include "sim/channel/Touchstone.h"

namespace ksim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBandEdgeFraction = 0.25;   // top part of the band the window rolls off over
constexpr std::size_t kMinPeriodUi = 16;

// The data with its 0 Hz point settled, as magnitude and unwrapped phase.
struct PolarResponse {
    std::vector<double> frequency, magnitude, phase;
};

void CheckInput(const std::vector<double>& frequencyHz, const std::vector<std::complex<double>>& response) {
    if (frequencyHz.size() != response.size()) throw std::invalid_argument("frequency response: as many values as frequencies are needed");
    if (frequencyHz.size() < 2) throw std::invalid_argument("frequency response: at least two frequency points are needed");
    for (std::size_t k = 0; k < frequencyHz.size(); ++k) {
        if (!std::isfinite(frequencyHz[k]) || frequencyHz[k] < 0.0 || (k > 0 && !(frequencyHz[k] > frequencyHz[k - 1])))
            throw std::invalid_argument("frequency response: frequencies must be finite, >= 0 and increasing");
        if (!std::isfinite(response[k].real()) || !std::isfinite(response[k].imag()))
            throw std::invalid_argument("frequency response: values must be finite");
    }
}

double WrapToPi(double x) { return x - 2.0 * kPi * std::round(x / (2.0 * kPi)); }

PolarResponse ToPolarWithDc(const std::vector<double>& frequencyHz, const std::vector<std::complex<double>>& response) {
    PolarResponse polar;
    const bool hasDc = frequencyHz[0] == 0.0;
    if (!hasDc) {
        // Placeholder for the 0 Hz point, settled below from the first two data points.
        polar.frequency.push_back(0.0);
        polar.magnitude.push_back(0.0);
        polar.phase.push_back(0.0);
    }
    double previous = 0.0;
    for (std::size_t k = 0; k < response.size(); ++k) {
        const double wrapped = std::arg(response[k]);
        previous = k == 0 ? wrapped : previous + WrapToPi(wrapped - previous);
        polar.frequency.push_back(frequencyHz[k]);
        polar.magnitude.push_back(std::abs(response[k]));
        polar.phase.push_back(previous);
    }
    // A real system is real at 0 Hz: its phase there is a multiple of pi (an imaginary part in a 0 Hz
    // point is measurement noise).
    if (hasDc) {
        polar.phase[0] = kPi * std::round(polar.phase[0] / kPi);
    } else {
        const double f0 = polar.frequency[1], f1 = polar.frequency[2];
        const double m0 = polar.magnitude[1], m1 = polar.magnitude[2];
        polar.magnitude[0] = std::max(0.0, m0 - (m1 - m0) * f0 / (f1 - f0));
        const double p0 = polar.phase[1], p1 = polar.phase[2];
        polar.phase[0] = kPi * std::round((p0 - (p1 - p0) * f0 / (f1 - f0)) / kPi);
    }
    return polar;
}

// Linear interpolation of the magnitude at f within the data (f <= last frequency).
double MagnitudeAt(const PolarResponse& polar, double f) {
    std::size_t k = 1;
    while (k + 1 < polar.frequency.size() && polar.frequency[k] < f) ++k;
    const double f0 = polar.frequency[k - 1], f1 = polar.frequency[k];
    const double t = (f - f0) / (f1 - f0);
    return polar.magnitude[k - 1] + t * (polar.magnitude[k] - polar.magnitude[k - 1]);
}

// Period length in samples: what the data's frequency step resolves, within the kept range.
std::size_t PeriodSamples(const PolarResponse& polar, double sampleInterval, std::size_t samplesPerBit) {
    const double step = (polar.frequency.back() - polar.frequency.front()) / static_cast<double>(polar.frequency.size() - 1);
    const double resolved = 1.0 / (step * sampleInterval);
    const double shortest = static_cast<double>(kMinPeriodUi * samplesPerBit);
    const double longest = static_cast<double>(kMaxImpulseUi * samplesPerBit);
    const double samples = std::min(std::max(std::ceil(resolved), shortest), longest);
    return FftFriendlyLength(static_cast<std::size_t>(samples));
}

// One period of the band-limited impulse response, N samples, sum = response at 0 Hz.
std::vector<double> PeriodicImpulse(const PolarResponse& polar, std::size_t n, double sampleInterval) {
    const std::size_t bins = n / 2 + 1;
    const double binStep = 1.0 / (static_cast<double>(n) * sampleInterval);
    const double top = std::min(polar.frequency.back(), 0.5 / sampleInterval);
    const double windowStart = top * (1.0 - kBandEdgeFraction);

    FftwComplexBuffer spectrum = AllocateFftwComplex(bins);
    FftwRealBuffer samples = AllocateFftwReal(n);
    const FftwPlan inverse = FftwPlan::ComplexToReal(n, spectrum.get(), samples.get());

    const double scale = 1.0 / static_cast<double>(n);
    std::size_t segment = 1;
    for (std::size_t k = 0; k < bins; ++k) {
        const double f = static_cast<double>(k) * binStep;
        if (f > top) break;
        while (segment + 1 < polar.frequency.size() && polar.frequency[segment] < f) ++segment;
        const double f0 = polar.frequency[segment - 1], f1 = polar.frequency[segment];
        const double t = (f - f0) / (f1 - f0);
        const double magnitude = polar.magnitude[segment - 1] + t * (polar.magnitude[segment] - polar.magnitude[segment - 1]);
        const double phase = polar.phase[segment - 1] + t * (polar.phase[segment] - polar.phase[segment - 1]);
        const double window = f <= windowStart ? 1.0 : 0.5 * (1.0 + std::cos(kPi * (f - windowStart) / (top - windowStart)));
        const double gain = scale * window * magnitude;
        spectrum[k] = k == 0 ? std::complex<double>(gain * std::cos(phase), 0.0) : std::polar(gain, phase);
    }
    inverse.Execute();
    return std::vector<double>(samples.get(), samples.get() + n);
}

}  // namespace

std::vector<double> BuildChannelFromFrequencyResponse(const std::vector<double>& frequencyHz,
                                                      const std::vector<std::complex<double>>& response, double sampleInterval,
                                                      double bitTime, ChannelInfo& info) {
    const std::size_t samplesPerBit = SamplesPerBit(sampleInterval, bitTime);
    CheckInput(frequencyHz, response);
    if (frequencyHz.back() < 0.5 / bitTime) {
        std::ostringstream what;
        what << "frequency response: the data ends at " << frequencyHz.back() * 1e-9 << " GHz, below half the bit rate ("
             << 0.5e-9 / bitTime << " GHz)";
        throw std::invalid_argument(what.str());
    }
    const PolarResponse polar = ToPolarWithDc(frequencyHz, response);

    std::vector<double> h = PeriodicImpulse(polar, PeriodSamples(polar, sampleInterval, samplesPerBit), sampleInterval);
    // The transform is periodic: what lies ahead of the rise is the part of the response that wrapped
    // around the period, so it moves behind the end instead of being dropped (the sum, the DC gain, stays).
    const std::size_t start = ResponseStart(h.data(), h.size(), kRiseFraction, samplesPerBit);
    std::rotate(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(start), h.end());
    h.resize(DecayedLength(h.data(), h.size(), kTailEnergyKept, kTailSumTolerance, kMaxImpulseUi * samplesPerBit));

    const double loss = -20.0 * std::log10(MagnitudeAt(polar, 0.5 / bitTime));
    DescribeChannel(h, "touchstone", "sampled frequency response", loss, sampleInterval, bitTime, start, info);
    info.dataEndHz = frequencyHz.back();
    return h;
}

std::vector<double> BuildTouchstoneChannel(const std::string& path, const PortMap& map, double sampleInterval, double bitTime,
                                           ChannelInfo& info) {
    const TouchstoneData data = ReadTouchstone(path);
    const std::vector<std::complex<double>> sdd21 = MixedModeSdd21(data, map);
    std::vector<double> h;
    try {
        h = BuildChannelFromFrequencyResponse(data.frequencyHz, sdd21, sampleInterval, bitTime, info);
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
    std::ostringstream source;
    source << path;
    if (data.ports == 2) source << " (S21)";
    else source << " (SDD21, in " << map.inPositive << "," << map.inNegative << " out " << map.outPositive << "," << map.outNegative << ")";
    info.source = source.str();
    return h;
}

}  // namespace ksim
