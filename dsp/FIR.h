#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"

namespace Velmora {

// Tapped-delay-line filter. T is the sample type, Kind selects the tap arithmetic; only real samples with
// real taps (FIR<double, 0>) exist.
template <typename T, int Kind>
class FIR;

// Real samples, real taps. Each firing consumes Decimation input samples and produces Interpolation output
// samples of the polyphase filter "interpolate by Interpolation with zeros, filter with the taps, keep every
// Decimation-th sample starting at DecimationPhase". With the defaults it is a plain convolution.
template <>
class FIR<double, 0> : public DFModel {
public:
    CircularBuffer<double> input;   // Decimation valid samples at offsets 0.. per firing
    CircularBuffer<double> output;  // room for Interpolation samples per firing

    // Past input samples: the newest at offset size - 1, older ones below it. The view covers the first half
    // of delayStorage; the second half mirrors it element for element, so that any run of offsets is one
    // contiguous stretch of storage starting at the unwrapped index position + offset.
    CircularBuffer<double> delayLine;
    double* delayStorage = nullptr;  // owned; 2 * mirrorDistance elements, allocated by Initialize

    double* Taps = nullptr;            // NumberOfTaps coefficients; owned by whoever fills them
    std::int32_t NumberOfTaps = 0;     // > 0
    std::int32_t Decimation = 1;       // input samples per firing, >= 1
    std::int32_t DecimationPhase = 0;  // phase of the first output within a firing, 0 <= phase < Decimation
    std::int32_t Interpolation = 1;    // output samples per firing, >= 1
    std::int32_t tapsPerPhase = 0;     // taps used per output, ceil(NumberOfTaps / Interpolation)

    FIR() = default;
    FIR(const FIR&) = delete;
    FIR& operator=(const FIR&) = delete;
    ~FIR() override;

    // Checks the taps and rates, declares the port rates and sizes the delay line. Repeatable between
    // firings to take new taps: the history and its storage are left alone, so the owner must keep the
    // number of taps and the rates that the last Initialize sized the storage for.
    bool Setup() override;
    // Allocates the delay line for the size chosen by Setup and clears the history.
    bool Initialize() override;
    // Returns false and touches nothing when the block is not ready to filter (no successful Setup, no
    // Initialize, a later Setup asked for more history than Initialize allocated, or a delay-line position
    // outside its storage).
    bool Run() override;
    bool Finalize() override;

private:
    std::size_t mirrorDistance = 0;  // elements between a history element and its mirror copy; 0 without storage

    bool ReadyToRun() const;
    // True while delayLine still views the mirrored storage that Initialize allocated.
    bool HistoryIsMirrored() const;
    // Stores a sample at a delayLine offset and, when the storage is mirrored, in its mirror copy.
    void StoreHistory(std::size_t offset, double sample);
    // One input sample in, one output sample out: the only rate setting the models use.
    void RunPlainConvolution();
    // Any Decimation, Interpolation and DecimationPhase.
    void RunPolyphase();
    void ReleaseDelayStorage();
};

}  // namespace Velmora
