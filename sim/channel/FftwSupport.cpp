#include "sim/channel/FftwSupport.h"

#include <climits>
#include <mutex>
#include <new>
#include <stdexcept>

namespace ksim {

namespace {

std::mutex& PlannerLock() {
    static std::mutex lock;
    return lock;
}

int CheckedLength(std::size_t n) {
    if (n < 1 || n > static_cast<std::size_t>(INT_MAX)) throw std::length_error("FFT length out of range");
    return static_cast<int>(n);
}

fftw_plan CheckedPlan(fftw_plan plan) {
    if (!plan) throw std::runtime_error("FFTW could not make a plan");
    return plan;
}

}  // namespace

FftwRealBuffer AllocateFftwReal(std::size_t n) {
    double* p = fftw_alloc_real(n ? n : 1);
    if (!p) throw std::bad_alloc();
    for (std::size_t i = 0; i < n; ++i) p[i] = 0.0;
    return FftwRealBuffer(p);
}

FftwComplexBuffer AllocateFftwComplex(std::size_t n) {
    // fftw_complex is layout-compatible with std::complex<double>.
    auto* p = reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(n ? n : 1));
    if (!p) throw std::bad_alloc();
    for (std::size_t i = 0; i < n; ++i) p[i] = 0.0;
    return FftwComplexBuffer(p);
}

FftwPlan& FftwPlan::operator=(FftwPlan&& other) noexcept {
    if (this != &other) {
        FftwPlan old(plan_);
        plan_ = other.plan_;
        other.plan_ = nullptr;
    }
    return *this;
}

FftwPlan::~FftwPlan() {
    if (!plan_) return;
    std::lock_guard<std::mutex> guard(PlannerLock());
    fftw_destroy_plan(plan_);
}

FftwPlan FftwPlan::RealToComplex(std::size_t n, double* in, std::complex<double>* out) {
    const int length = CheckedLength(n);
    std::lock_guard<std::mutex> guard(PlannerLock());
    return FftwPlan(CheckedPlan(fftw_plan_dft_r2c_1d(length, in, reinterpret_cast<fftw_complex*>(out), FFTW_ESTIMATE)));
}

FftwPlan FftwPlan::ComplexToReal(std::size_t n, std::complex<double>* in, double* out) {
    const int length = CheckedLength(n);
    std::lock_guard<std::mutex> guard(PlannerLock());
    return FftwPlan(CheckedPlan(fftw_plan_dft_c2r_1d(length, reinterpret_cast<fftw_complex*>(in), out, FFTW_ESTIMATE)));
}

std::size_t FftFriendlyLength(std::size_t n) {
    if (n <= 1) return 1;
    for (std::size_t m = n;; ++m) {
        std::size_t r = m;
        for (std::size_t f : {2u, 3u, 5u})
            while (r % f == 0) r /= f;
        if (r == 1) return m;
    }
}

}  // namespace ksim
