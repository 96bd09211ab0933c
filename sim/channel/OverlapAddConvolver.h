#pragma once

// Streaming convolution y[n] = sum_k h[k] x[n-k] by FFT overlap-add with a uniformly partitioned impulse
// response, with no added latency.
//
// h is cut into P partitions of B samples (B = the block length). Each complete input block j is
// transformed once (2B-point real FFT, zero-padded) and kept in a frequency-domain delay line; block j of
// the output is the first half of IFFT(sum_p X_{j-p} H_p) plus the second half of the previous block's sum.
// Everything but the newest block's own term X_j H_0 is known when block j starts, and is transformed at
// that point ("base"). So output can be given for any number of input samples: the newest, possibly
// incomplete, block is transformed zero-padded and only its first partition applied. A block that arrives
// whole takes the same path once; a block that arrives in pieces is transformed once per piece.
//
// Results therefore do not depend on how the input is split, up to rounding: an output sample computed
// from a partial block sums the same terms through a transform of different data (zeros in place of
// samples not yet seen), so its last bits can differ from the whole-block result, by about
// 1e-16 * log2(2B) times the output's scale. For the same reason it matches a direct convolution to
// rounding, not bit for bit.
//
// Cost per complete block: three 2B-point real FFTs and P complex multiply-adds of B+1 bins. A block length
// near the host block size (or a multiple of it, so calls stay aligned) and a power of two is best; plans
// are made once, Process allocates nothing.

#include <complex>
#include <cstddef>
#include <vector>

#include "sim/channel/FftwSupport.h"

namespace ksim {

class OverlapAddConvolver {
public:
    // impulse: h per sample, not empty; blockLength: B >= 1 samples.
    OverlapAddConvolver(const std::vector<double>& impulse, std::size_t blockLength);
    OverlapAddConvolver(const OverlapAddConvolver&) = delete;
    OverlapAddConvolver& operator=(const OverlapAddConvolver&) = delete;

    // Filters n samples; `in` and `out` may be the same array. Any n, including 0.
    void Process(const double* in, double* out, std::size_t n);
    // Back to the state after construction (all past input zero).
    void Reset();

    std::size_t BlockLength() const { return block_; }
    std::size_t ImpulseLength() const { return impulseLength_; }

private:
    // Applies the first partition to the pending block (first `filled_` samples) into time_.
    void TransformPendingBlock();
    // After a complete block: store its spectrum, prepare base_ and tail_ for the next block.
    void FinishBlock();

    std::size_t block_;              // B
    std::size_t bins_;               // B + 1
    std::size_t partitions_;         // P
    std::size_t impulseLength_;
    std::vector<std::complex<double>> partitionSpectra_;  // P x bins, scaled by 1/(2B)
    std::vector<std::complex<double>> history_;           // P x bins, input block spectra, ring
    std::size_t newest_ = 0;         // slot of the newest complete block in history_
    std::vector<double> pending_;    // current block's input, B
    std::size_t filled_ = 0;         // samples of the current block seen
    std::vector<double> base_;       // output of the current block from earlier blocks, B
    std::vector<double> tail_;       // second half of the earlier blocks' sum for the current block, B
    FftwRealBuffer time_;            // 2B
    FftwComplexBuffer spectrum_;     // bins
    FftwComplexBuffer product_;      // bins
    FftwPlan forward_;               // time_ -> spectrum_
    FftwPlan inverse_;               // product_ -> time_
};

}  // namespace ksim
