#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/FirKernels.h"
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

    // Block interface of the plain convolution (one input and one output per firing): the outputs of up
    // to kBlockSamples firings computed at once, bit for bit those that Run would give one by one. Load a
    // block, read its outputs (after new taps and a Setup, FilterBlockFrom recomputes them from the
    // firing where the taps change), then commit the firings that took place; until the commit the history
    // is that of the block's start. Trailing taps that are exactly zero are skipped: a sum that starts at
    // +0 never becomes -0, so adding a zero product changes no bit. A window that holds a NaN or infinite
    // sample, or non-finite taps, goes through the reference sum instead.
    static constexpr std::size_t kBlockSamples = 1024;
    // Chooses the arithmetic of the block interface; false, leaving the choice as it was, for a path that
    // this build or processor lacks. Reference turns the block interface off (BlocksReady is false).
    bool SelectPath(FirPath path);
    FirPath SelectedPath() const { return path; }
    // True when the block interface may be used: a successful Initialize, plain convolution, a vector path.
    bool BlocksReady() const;
    // n <= kBlockSamples input samples, the firings that follow the present history.
    void LoadBlock(const double* in, std::size_t n);
    // Recomputes outputs first .. n - 1 of the loaded block with the present taps.
    void FilterBlockFrom(std::size_t first);
    const double* BlockOutput() const { return blockOutput; }
    // Moves the first `fired` samples of the loaded block into the history, as that many Runs would.
    void CommitBlock(std::size_t fired);
    // n samples in, n out (any n), through blocks; the same as n Runs. Needs BlocksReady.
    void FilterSamples(const double* in, double* out, std::size_t n);

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
    void ReleaseBlockStorage();

    FirPath path = FirPath::Fastest;
    FirBlockKernel kernel = FirKernelFor(FirPath::Fastest);
    // Samples stored since the last non-finite one, saturating at the history length.
    std::size_t samplesSinceNonFinite = 0;
    // Block storage, allocated by Initialize for blockTaps taps: the NumberOfTaps - 1 samples before the
    // block and the block's inputs (blockWindow), then its outputs (blockOutput), then kernelScratch.
    double* blockStorage = nullptr;
    double* blockWindow = nullptr;
    double* blockOutput = nullptr;
    double* kernelScratch = nullptr;  // the vector kernel's work space, after blockOutput
    // Fewer outputs than this go through the reference sum (with the trimmed taps): laying out the samples
    // for the lanes would cost more than it saves.
    static constexpr std::size_t kShortestVectorRun = 32;
    std::size_t blockTaps = 0;
    std::size_t blockLength = 0;        // samples in the loaded block
    std::size_t firstNonFinite = 0;     // index in the loaded block of its first non-finite input, or blockLength
};

}  // namespace Velmora
