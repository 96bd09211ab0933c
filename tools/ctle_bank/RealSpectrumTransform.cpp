#include "RealSpectrumTransform.h"

#include <cmath>

namespace ctle_bank {

RealSpectrumTransform::RealSpectrumTransform(int points)
    : points_(points), cosTable_(points), sinTable_(points) {
    const double pi = 3.14159265358979323846;
    for (int m = 0; m < points_; ++m) {
        const double angle = 2.0 * pi * m / points_;
        cosTable_[m] = std::cos(angle);
        sinTable_[m] = std::sin(angle);
    }
}

void RealSpectrumTransform::Inverse(const ComplexValue* bins, double* samples) const {
    const int half = points_ / 2;
    for (int k = 0; k < points_; ++k) {
        double sum = 0.0;
        int angleIndex = 0;  // n k modulo N
        for (int n = 1; n < half; ++n) {
            angleIndex += k;
            if (angleIndex >= points_) angleIndex -= points_;
            sum += bins[n].re * cosTable_[angleIndex] - bins[n].im * sinTable_[angleIndex];
        }
        const double nyquist = (k % 2 == 0) ? bins[half].re : -bins[half].re;
        samples[k] = (bins[0].re + 2.0 * sum + nyquist) / points_;
    }
}

void RealSpectrumTransform::Forward(const double* samples, ComplexValue* bins) const {
    const int half = points_ / 2;
    for (int n = 0; n <= half; ++n) {
        double re = 0.0;
        double im = 0.0;
        int angleIndex = 0;  // n k modulo N
        for (int k = 0; k < points_; ++k) {
            re += samples[k] * cosTable_[angleIndex];
            im -= samples[k] * sinTable_[angleIndex];
            angleIndex += n;
            if (angleIndex >= points_) angleIndex -= points_;
        }
        bins[n] = {re, im};
    }
}

}  // namespace ctle_bank
