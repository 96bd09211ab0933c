#include "sim/channel/OverlapAddConvolver.h"

#include <algorithm>
#include <stdexcept>

#include "sim/channel/SpectrumProduct.h"

namespace ksim {

OverlapAddConvolver::OverlapAddConvolver(const std::vector<double>& impulse, std::size_t blockLength)
    : block_(blockLength), bins_(blockLength + 1), impulseLength_(impulse.size()) {
    if (impulse.empty()) throw std::invalid_argument("convolver: the impulse response is empty");
    if (blockLength < 1) throw std::invalid_argument("convolver: the block length must be at least 1");
    partitions_ = (impulse.size() + block_ - 1) / block_;
    time_ = AllocateFftwReal(2 * block_);
    spectrum_ = AllocateFftwComplex(bins_);
    product_ = AllocateFftwComplex(bins_);
    forward_ = FftwPlan::RealToComplex(2 * block_, time_.get(), spectrum_.get());
    inverse_ = FftwPlan::ComplexToReal(2 * block_, product_.get(), time_.get());

    // The 1/(2B) of the inverse transform is folded into the partitions' spectra.
    const double scale = 1.0 / static_cast<double>(2 * block_);
    partitionSpectra_.resize(partitions_ * bins_);
    for (std::size_t p = 0; p < partitions_; ++p) {
        const std::size_t first = p * block_;
        const std::size_t count = std::min(block_, impulse.size() - first);
        std::fill(time_.get(), time_.get() + 2 * block_, 0.0);
        std::copy(impulse.begin() + static_cast<std::ptrdiff_t>(first),
                  impulse.begin() + static_cast<std::ptrdiff_t>(first + count), time_.get());
        forward_.Execute();
        for (std::size_t k = 0; k < bins_; ++k) partitionSpectra_[p * bins_ + k] = spectrum_[k] * scale;
    }
    history_.resize(partitions_ * bins_);
    pending_.resize(block_);
    base_.resize(block_);
    tail_.resize(block_);
    Reset();
}

void OverlapAddConvolver::Reset() {
    std::fill(history_.begin(), history_.end(), std::complex<double>(0.0));
    std::fill(pending_.begin(), pending_.end(), 0.0);
    std::fill(base_.begin(), base_.end(), 0.0);
    std::fill(tail_.begin(), tail_.end(), 0.0);
    newest_ = 0;
    filled_ = 0;
}

void OverlapAddConvolver::Process(const double* in, double* out, std::size_t n) {
    while (n > 0) {
        const std::size_t count = std::min(n, block_ - filled_);
        std::copy(in, in + count, pending_.begin() + static_cast<std::ptrdiff_t>(filled_));
        const std::size_t from = filled_;
        filled_ += count;
        TransformPendingBlock();
        for (std::size_t i = 0; i < count; ++i) out[i] = base_[from + i] + time_[from + i];
        if (filled_ == block_) FinishBlock();
        in += count;
        out += count;
        n -= count;
    }
}

void OverlapAddConvolver::TransformPendingBlock() {
    std::copy(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(filled_), time_.get());
    std::fill(time_.get() + filled_, time_.get() + 2 * block_, 0.0);
    forward_.Execute();
    MultiplySpectra(spectrum_.get(), partitionSpectra_.data(), product_.get(), bins_);
    inverse_.Execute();
}

void OverlapAddConvolver::FinishBlock() {
    // Second half of this block's complete sum: it overlaps the next block's output.
    for (std::size_t i = 0; i < block_; ++i) base_[i] = tail_[i] + time_[block_ + i];
    std::fill(tail_.begin(), tail_.end(), 0.0);

    newest_ = (newest_ + 1) % partitions_;
    std::copy(spectrum_.get(), spectrum_.get() + bins_, history_.begin() + static_cast<std::ptrdiff_t>(newest_ * bins_));
    filled_ = 0;
    if (partitions_ == 1) return;

    // Terms of the next block's sum that do not involve the next block itself: partitions 1..P-1 against
    // this block and the earlier ones.
    std::fill(product_.get(), product_.get() + bins_, std::complex<double>(0.0));
    for (std::size_t p = 1; p < partitions_; ++p) {
        const std::complex<double>* x = history_.data() + ((newest_ + partitions_ + 1 - p) % partitions_) * bins_;
        const std::complex<double>* h = partitionSpectra_.data() + p * bins_;
        // Written out: std::complex's operator* carries a NaN-recovery branch that keeps this loop from vectorising.
        double* sum = reinterpret_cast<double*>(product_.get());
        const double* xs = reinterpret_cast<const double*>(x);
        const double* hs = reinterpret_cast<const double*>(h);
        for (std::size_t k = 0; k < 2 * bins_; k += 2) {
            sum[k] += xs[k] * hs[k] - xs[k + 1] * hs[k + 1];
            sum[k + 1] += xs[k] * hs[k + 1] + xs[k + 1] * hs[k];
        }
    }
    inverse_.Execute();
    for (std::size_t i = 0; i < block_; ++i) {
        base_[i] += time_[i];
        tail_[i] = time_[block_ + i];
    }
}

}  // namespace ksim
