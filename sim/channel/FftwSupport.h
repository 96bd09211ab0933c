#pragma once

// Small owners for FFTW buffers and plans.
//
// FFTW's planner keeps process-wide state, so creating and destroying plans is serialised here by one
// lock; executing a plan (fftw_execute) is thread-safe, so channel objects on different threads only meet
// at construction and destruction. Buffers come from fftw_malloc so that plans may use SIMD alignment.
// All plans are made with FFTW_ESTIMATE: planning is quick and does not overwrite the buffers.
//
// FFTW's transforms are unnormalised: a forward real-to-complex transform followed by the inverse
// multiplies by the length.

#include <fftw3.h>

#include <complex>
#include <cstddef>
#include <memory>

namespace ksim {

struct FftwDeleter {
    void operator()(void* p) const { fftw_free(p); }
};
using FftwRealBuffer = std::unique_ptr<double[], FftwDeleter>;
using FftwComplexBuffer = std::unique_ptr<std::complex<double>[], FftwDeleter>;

// Zero-filled buffers of n elements.
FftwRealBuffer AllocateFftwReal(std::size_t n);
FftwComplexBuffer AllocateFftwComplex(std::size_t n);

class FftwPlan {
public:
    FftwPlan() = default;
    FftwPlan(const FftwPlan&) = delete;
    FftwPlan& operator=(const FftwPlan&) = delete;
    FftwPlan(FftwPlan&& other) noexcept : plan_(other.plan_) { other.plan_ = nullptr; }
    FftwPlan& operator=(FftwPlan&& other) noexcept;
    ~FftwPlan();

    // Real input of n samples to n/2 + 1 bins (e^{-j...}).
    static FftwPlan RealToComplex(std::size_t n, double* in, std::complex<double>* out);
    // n/2 + 1 bins to n real samples (e^{+j...}); the imaginary parts of bins 0 and n/2 are ignored.
    // Overwrites `in`.
    static FftwPlan ComplexToReal(std::size_t n, std::complex<double>* in, double* out);

    // Transforms the buffers the plan was made for.
    void Execute() const { fftw_execute(plan_); }

private:
    explicit FftwPlan(fftw_plan plan) : plan_(plan) {}
    fftw_plan plan_ = nullptr;
};

// Smallest length >= n whose only prime factors are 2, 3 and 5 (fast for FFTW).
std::size_t FftFriendlyLength(std::size_t n);

}  // namespace ksim
