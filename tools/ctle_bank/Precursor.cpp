#include "Precursor.h"

#include <cmath>

namespace ctle_bank {

std::vector<double> BuildPrecursor(const double* headTargets, int headLength, const double* modelColumn0) {
    const double pi = 3.14159265358979323846;
    std::vector<double> precursor(precursorLength, 0.0);
    for (int k = 0; k < headLength; ++k) precursor[k] = headTargets[k] - modelColumn0[k];

    // The ringing continues the head's last two samples as a damped sinusoid (m counts samples from the
    // last head sample), fades out through a taper that reaches zero at the end, and a smooth recovery lobe
    // scaled to cancel the net area.
    const int last = headLength - 1;
    const int span = precursorLength - last;
    const double omega = 2.0 * pi / precursorRingingPeriod;
    const double decayPerSample = std::exp(-1.0 / precursorRingingDecay);
    const double cosine = precursor[last];
    const double sine = (cosine * std::cos(omega) - precursor[last - 1] * decayPerSample) / std::sin(omega);

    double headArea = 0.0;
    for (int k = 0; k < headLength; ++k) headArea += precursor[k];
    double ringingArea = 0.0;
    double recoveryArea = 0.0;
    std::vector<double> recovery(precursorLength, 0.0);
    for (int k = headLength; k < precursorLength; ++k) {
        const int m = k - last;
        const double taper = std::cos(0.5 * pi * m / span);
        const double ringing = std::exp(-m / precursorRingingDecay) *
                               (cosine * std::cos(omega * m) + sine * std::sin(omega * m));
        precursor[k] = taper * taper * ringing;
        ringingArea += precursor[k];
        const double lobe = std::sin(pi * m / span);
        recovery[k] = lobe * lobe;
        recoveryArea += recovery[k];
    }
    const double recoveryScale = -(headArea + ringingArea) / recoveryArea;
    for (int k = headLength; k < precursorLength; ++k) precursor[k] = precursor[k] + recoveryScale * recovery[k];
    return precursor;
}

}  // namespace ctle_bank
