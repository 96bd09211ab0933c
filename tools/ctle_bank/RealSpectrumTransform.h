#pragma once

#include <vector>

#include "ComplexValue.h"

namespace ctle_bank {

// Discrete Fourier transform between N real samples (N even) and their one-sided spectrum of N/2 + 1 bins.
// The inverse carries the 1/N factor, so bin 0 is the plain sum of the samples.
class RealSpectrumTransform {
public:
    explicit RealSpectrumTransform(int points);  // points: N, even, >= 2

    int Points() const { return points_; }
    int Bins() const { return points_ / 2 + 1; }

    // samples[k] = (1/N) (Re X0 + 2 sum_{n=1}^{N/2-1} Re(Xn e^{j 2 pi n k / N}) + Re X_{N/2} (-1)^k);
    // the Nyquist bin contributes its real part only. bins: Bins() values, samples: Points() values.
    void Inverse(const ComplexValue* bins, double* samples) const;

    // bins[n] = sum_k samples[k] e^{-j 2 pi n k / N} for n = 0 .. N/2.
    void Forward(const double* samples, ComplexValue* bins) const;

private:
    int points_;
    // cos and sin of 2 pi m / N for m = 0 .. N-1; n k is reduced modulo N so every angle is taken exactly.
    std::vector<double> cosTable_;
    std::vector<double> sinTable_;
};

}  // namespace ctle_bank
