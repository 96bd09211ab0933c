#pragma once

// Steps shared by the channel builders once a per-sample impulse response exists: finding where the
// response rises (to trim the flight delay), finding where its tail has decayed (to truncate it), the pulse
// response of one bit, the loss at one frequency, and filling ChannelInfo.

#include <cstddef>
#include <string>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

// Longest impulse response a builder keeps, in unit intervals.
constexpr std::size_t kMaxImpulseUi = 4096;
// The response counts as risen where |h| first reaches this fraction of its peak (flight-delay trim).
constexpr double kRiseFraction = 1e-3;
// The tail is cut where what follows holds less than these fractions of the energy and of the sum.
constexpr double kTailEnergyKept = 0.9999;
constexpr double kTailSumTolerance = 1e-4;

// Checks sampleInterval > 0, bitTime >= sampleInterval (both finite) and returns round(bitTime /
// sampleInterval); throws std::invalid_argument otherwise.
std::size_t SamplesPerBit(double sampleInterval, double bitTime);

// Index from which to keep h: `marginSamples` ahead of the rise, or 0. The rise is the first sample of
// the run of samples with |h| >= riseFraction * max|h| that ends at the largest |h|.
std::size_t ResponseStart(const double* h, std::size_t n, double riseFraction, std::size_t marginSamples);

// Number of leading samples to keep: the shortest prefix (at least 1, at most maxLength) that holds
// energyFraction of the energy and whose sum differs from the sum of all n samples by at most
// sumTolerance times that sum's magnitude. When no prefix within maxLength meets both, maxLength.
std::size_t DecayedLength(const double* h, std::size_t n, double energyFraction, double sumTolerance, std::size_t maxLength);

// Response to one bit of +1 held for samplesPerBit samples: h convolved with that many ones.
std::vector<double> PulseResponse(const std::vector<double>& h, std::size_t samplesPerBit);

// Insertion loss of the per-sample impulse response h at frequency f [Hz]: -20 log10 |sum h[n] e^{-j2 pi f n dt}| [dB].
double ImpulseLossDb(const std::vector<double>& h, double frequency, double sampleInterval);

// Fills every field of `info` from h and the given descriptions.
void DescribeChannel(const std::vector<double>& h, const std::string& kind, const std::string& source, double lossDbAtNyquist,
                     double sampleInterval, double bitTime, std::size_t delaySamples, ChannelInfo& info);

}  // namespace ksim
