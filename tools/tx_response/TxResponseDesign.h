#pragma once

#include <vector>

// The transmitter's analog impulse response, sampled at the table's step: a band-limited pulse with its
// ringing, written as h[k] = E(k) sin phi(k) over the non-zero span. The phase phi is a monotone cubic
// through the zero crossings (odd multiples of pi/2 at the two extremes), the envelope E a shape-preserving
// cubic in ln E through the published rows; a smooth bump on the main lobe trims the DC gain.
struct TxResponse {
    std::vector<double> times;   // [s]
    std::vector<double> values;  // [1/s]
    double bumpWeight = 0.0;     // relative height of the DC-gain bump on the main lobe
    int trimIndex = 0;           // sample that absorbs the last rounding error of the DC gain
    double trimCorrection = 0.0; // what was added to that sample [1/s]
};

TxResponse designTxResponse();
