#pragma once

#include <cstddef>
#include <memory>

#include "runtime/DFModel.h"

// The transmitter's three-tap feed-forward equaliser. The pre-cursor weight acts on the newest sample, the
// main weight on the sample samplesPerBit older and the post-cursor weight on the sample 2 x samplesPerBit
// older, so the output lags the input by one unit interval. Input samples are limited to +-0.5 and doubled
// before they enter the delay line.
//
// The block has no buffer ports: per sample the owner writes `input`, calls Run and reads `output`.
// Settings take effect only through Initialize.
class tx_fir_new : public Velmora::DFModel {
public:
    double input = 0.0;   // next sample [V]; Run limits it to -0.5..0.5 in place
    double output = 0.0;  // sample produced by the last Run [V]

    // Tap settings, clamped in place by Initialize: cm1 and c1 to 0..15, c0 to 0..31. The main weight comes
    // from a 32-entry amplitude table indexed by cm1 + c0 + c1; sums above 31 use the last entry.
    int cm1 = 0;  // pre-cursor setting
    int c0 = 0;   // main-cursor setting
    int c1 = 0;   // post-cursor setting
    // Polarity flags: c0_sign 0 inverts the main weight; cm1_sign 1 and c1_sign 1 invert the (otherwise
    // zero or negative) cursor weights.
    int cm1_sign = 0;
    int c0_sign = 0;
    int c1_sign = 0;

    double preTap = 0.0;   // pre-cursor weight, computed by Initialize
    double mainTap = 0.0;  // main-cursor weight, computed by Initialize
    double postTap = 0.0;  // post-cursor weight, computed by Initialize

    // Ring of the last 4 x samplesPerBit doubled input samples; DelayedSample(k) is the sample k firings
    // older than the newest one.
    std::unique_ptr<double[]> delayLine;
    int samplesPerBit = 32;  // tap spacing [samples], >= 1 (Initialize fails otherwise)

    // Fails, with one line on standard error and no delay line, when samplesPerBit is below 1.
    bool Initialize() override;
    // Returns false and outputs 0 when no successful Initialize preceded it.
    bool Run() override;
    // n samples in, n out: the same as writing each to input, firing Run and reading output, with the
    // same arithmetic per sample, after a successful Initialize. in and out may be the same array.
    void RunSamples(const double* in, double* out, std::size_t n);

    // The doubled, limited input sample `age` firings before the newest one; needs a successful
    // Initialize, age < 4 x samplesPerBit.
    double DelayedSample(std::size_t age) const {
        std::size_t index = newest + age;
        if (index >= delayLength) index -= delayLength;
        return delayLine[index];
    }

private:
    void ClampSettings();
    // The weighted sum of the delayed samples; one function for Run and for RunSamples' windows that
    // hold a non-finite sample, so that both give the same NaN payloads.
    double WeightedSum(double postSample, double mainSample, double preSample) const;
    void ComputeWeights();

    std::size_t delayLength = 0;  // elements in delayLine, fixed by Initialize
    std::size_t tapSpacing = 0;   // samplesPerBit as taken by Initialize
    std::size_t newest = 0;       // ring index of the newest sample
    // RunSamples' work area: the 2 x samplesPerBit newest samples, oldest first, then a run of new ones.
    std::unique_ptr<double[]> runWindow;
    static constexpr std::size_t kRunLength = 1024;  // new samples per pass through runWindow
};
