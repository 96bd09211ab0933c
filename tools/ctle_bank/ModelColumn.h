#pragma once

#include "CtleModel.h"
#include "RealSpectrumTransform.h"

namespace ctle_bank {

// Samples a setting's impulse response the way a frequency-domain simulation gives it: the response is
// evaluated on the bank's frequency grid (1 / (points * step) apart, up to Nyquist), transformed back and
// divided by the time step, so each sample is a response density [1/s] and the sum of a column times the
// step equals the DC gain.
class ModelColumn {
public:
    ModelColumn();

    // column: bankPoints values [1/s].
    void Sample(const CtleSetting& setting, double* column) const;

    const RealSpectrumTransform& Transform() const { return transform_; }

private:
    RealSpectrumTransform transform_;
};

}  // namespace ctle_bank
