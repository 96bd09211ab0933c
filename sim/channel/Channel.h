#pragma once

// Channel models of the link simulator: each builder returns the channel's impulse response h per sample
// of the simulation (y[n] = sum_k h[k] x[n-k], so sum(h) is the DC gain) and describes it in ChannelInfo
// (kind, source, loss at half the bit rate, DC gain, sample interval, trimmed flight delay, pulse response
// of one bit of +1 V). The sample interval dt [s] must be > 0 and the bit time [s] at least dt, else
// std::invalid_argument. Transforms use FFTW.
//
// Sampled frequency response -> impulse response:
//   1. DC: the 0 Hz point when the data has one (its magnitude, with the sign of its real part); otherwise
//      the magnitude is extrapolated linearly from the first two points (not below 0) and the phase is the
//      multiple of pi nearest the linear extrapolation of the unwrapped phase (0 for a non-inverting channel).
//   2. Magnitude and unwrapped phase are interpolated linearly onto a uniform grid of N/2+1 bins up to the
//      Nyquist frequency of dt, N*dt being the period the data's mean frequency step resolves (1/step),
//      kept between 16 and kMaxImpulseUi unit intervals. Up to the top of the data (or the Nyquist
//      frequency, whichever is lower) the response is multiplied by a raised-cosine band-edge window that
//      falls from 1 to 0 over the top quarter of that band; above it the response is zero.
//   3. A real inverse FFT gives one period of the impulse response (with the 1/N that makes sum(h) the
//      value at 0 Hz).
//   4. Flight delay: the response counts as risen after the last sample ahead of its peak that is below
//      kRiseFraction of the peak; the samples before one unit interval ahead of that are the flight delay
//      (ChannelInfo::delaySamples). Being periodic, they hold the part of the response that wrapped
//      around the period, so they move behind the end rather than being dropped.
//   5. Tail: cut where the rest holds less than (1 - kTailEnergyKept) of the energy and less than
//      kTailSumTolerance of the sum (so the DC gain stays), and never longer than kMaxImpulseUi unit
//      intervals (see ImpulseShaping.h).
// The loss at half the bit rate is read from the data (interpolated magnitude), not from the windowed h;
// data that ends below half the bit rate is refused.
//
// Analytic channel: |H(f)| = exp(-a (sqrt(f + fs) - sqrt(fs)) - b f), a skin-effect term (proportional to
// sqrt(f) above the transition fs at which the skin depth reaches the copper thickness, flat towards DC,
// so no DC loss) and a dielectric term proportional to f, each giving half the requested loss at half the
// bit rate. The phase is the minimum phase of that magnitude (folded real cepstrum), which is the
// Hilbert-consistent, causal choice; a uniform line would only add a pure delay. The response then gets
// the same tail cut as above; it starts at once (delaySamples 0).
//
// Impulse-response file: text rows "time value" (separated by blanks or a comma), time [s] strictly
// increasing and 0 at the stimulus, value the impulse response density [1/s] (the response to a unit-area
// impulse; its integral is the DC gain). Blank lines and lines starting with "#" or "!" are skipped. The
// density is taken as piecewise linear between the rows and zero outside them, and integrated over each
// sample cell [(n-1/2) dt, (n+1/2) dt), which keeps its area (DC gain) at any dt; anything before the
// first cell counts in it. The flight delay is then dropped (the file is not periodic) and the tail cut
// as above.

#include <complex>
#include <string>
#include <vector>

#include "sim/SimResults.h"
#include "sim/channel/MixedMode.h"
#include "sim/channel/OverlapAddConvolver.h"

namespace ksim {

// frequencyHz: >= 0, strictly increasing, at least 2 points [Hz]; response: complex gain at each.
// Throws std::invalid_argument for unusable input.
std::vector<double> BuildChannelFromFrequencyResponse(const std::vector<double>& frequencyHz,
                                                      const std::vector<std::complex<double>>& response, double sampleInterval,
                                                      double bitTime, ChannelInfo& info);

// Reads a Touchstone file, forms SDD21 with the port map (S21 for a 2-port) and builds the channel from it.
// Throws std::runtime_error naming the file for anything unusable.
std::vector<double> BuildTouchstoneChannel(const std::string& path, const PortMap& map, double sampleInterval, double bitTime,
                                           ChannelInfo& info);

// lossDbAtNyquist: insertion loss at half the bit rate [dB], 0..100 (std::invalid_argument otherwise).
std::vector<double> BuildAnalyticChannel(double lossDbAtNyquist, double sampleInterval, double bitTime, ChannelInfo& info);

// Throws std::runtime_error naming the file and line for malformed input.
std::vector<double> LoadImpulseResponseFile(const std::string& path, double sampleInterval, double bitTime, ChannelInfo& info);

// The channel h followed by the analytic channel's skin-effect and dielectric loss (minimum phase, no DC
// loss) of extraLossDb at half the bit rate [dB], >= 0: to make a measured channel longer. The loss at half
// the bit rate becomes the sum of both, the source says what was added; 0 returns h unchanged.
// Throws std::invalid_argument for a negative or non-finite extra loss.
std::vector<double> AddAnalyticLoss(const std::vector<double>& h, double extraLossDb, double sampleInterval, double bitTime,
                                    ChannelInfo& info);

// The channel a user names: "analytic" (with analyticLossDb), a Touchstone file (".sNp", any case; with the
// port map), or else an impulse-response file. Errors as the builders above, all as std::runtime_error.
std::vector<double> BuildChannelByName(const std::string& channel, double analyticLossDb, const PortMap& map,
                                       double sampleInterval, double bitTime, ChannelInfo& info);

}  // namespace ksim
