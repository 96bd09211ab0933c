#pragma once

#include <cstdint>

#include "dsp/FIR.h"

namespace Velmora {

// FIR filter whose taps come from a response known at arbitrary time stamps (an impulse response or a
// step response), resampled at the simulation's sample rate when Setup runs. Filtering, the delay line,
// Initialize, Run and Finalize are those of the plain FIR.
class TimeResponseFIR : public FIR<double, 0> {
public:
    enum ResponseKind : std::int32_t {
        ImpulseResponse = 0,  // values are a density in 1/s
        StepResponse = 1      // values are the response to a unit step
    };

    // Response values, one per time stamp; owned by the owner of the block.
    double* Response = nullptr;
    // Time stamps [s], strictly ascending; owned by the owner of the block. Setup rewrites them in place so
    // that the first is 0, which makes a repeated Setup produce the same taps.
    double* ResponseTimeStamps = nullptr;
    std::uint32_t NumberOfResponseValues = 0;  // entries in Response, >= 4
    std::uint32_t NumberOfTimeStamps = 0;      // entries in ResponseTimeStamps, equal to the above
    std::int32_t ResponseType = StepResponse;  // ImpulseResponse or StepResponse
    double SampleRate = 1e12;                  // simulation samples per second, finite and > 0

    // Setup refuses a response that would need this many taps or more. The longest responses in use need
    // about a thousand taps; at the limit the taps alone take 80 MB, the history as much again, and every
    // sample costs as many multiply-adds as there are taps. A count that large comes from broken timing (an
    // absurd sample rate or last time stamp), not from a real channel, and it also keeps the count far
    // inside the int range of the tap index.
    static constexpr double kMaxTaps = 1e7;

    TimeResponseFIR() = default;
    ~TimeResponseFIR() override;

    // Checks the response, normalises the time stamps, builds the taps and then performs the plain FIR
    // Setup. A failure before the taps are rebuilt leaves the earlier taps in place.
    bool Setup() override;

private:
    bool CheckResponse() const;
    bool NormaliseTimeStamps();
    bool AllocateTaps(double lastStamp);
    void BuildTaps();
    double StepSlope(std::uint32_t h, double t) const;
    void ReleaseTaps();
};

}  // namespace Velmora
