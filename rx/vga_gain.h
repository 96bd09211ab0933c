#pragma once

#include <cstddef>

#include "runtime/DFModel.h"

// The receiver's variable-gain stage between the equaliser and the DFE: a saturating gain
// output = A × tanh(K × input), with one of four (A, K) pairs chosen by the gain step and the high-gain range.
// The owner writes input before Run and reads output after it.
class vga_gain : public Velmora::DFModel {
public:
    static constexpr int kGainSettings = 4;

    double input = 0.0;   // sample before the stage [V]
    double output = 0.0;  // sample after the stage [V]
    int EQ_HIGAIN = 0;    // high-gain range, 0 or 1; other values count as the nearer of the two
    int VGA_GAIN = 0;     // gain step, 0 or 1; other values count as the nearer of the two
    double amplitudes[kGainSettings] = {};  // A: saturation level per setting [V]
    double slopes[kGainSettings] = {};      // K: small-signal slope per setting [1/V]
    int index = 0;                          // setting in use, 0..3: VGA_GAIN + 2 × EQ_HIGAIN

    bool Initialize() override;
    bool Run() override;
    // n samples in, n out, each as Run computes it, bit for bit, several at once in vector lanes (in and out
    // may be the same array).
    void RunSamples(const double* in, double* out, std::size_t n) const;
};
