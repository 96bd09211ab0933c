#pragma once

// Bin-by-bin product of two spectra, bit for bit what std::complex<double>'s operator* gives, in a loop the
// compiler can vectorise: the operator checks every product for a NaN in both parts (to recover infinities)
// inside the loop, which keeps it scalar; here the products are formed first and only those whose parts
// both came out NaN are formed again by the operator.

#include <complex>
#include <cstddef>

namespace ksim {

inline void MultiplySpectra(const std::complex<double>* x, const std::complex<double>* h, std::complex<double>* out,
                            std::size_t bins) {
    const double* xs = reinterpret_cast<const double*>(x);
    const double* hs = reinterpret_cast<const double*>(h);
    double* ps = reinterpret_cast<double*>(out);
    // The operator's own order: real = xr·hr - xi·hi, imaginary = xr·hi + xi·hr.
    for (std::size_t k = 0; k < 2 * bins; k += 2) {
        ps[k] = xs[k] * hs[k] - xs[k + 1] * hs[k + 1];
        ps[k + 1] = xs[k] * hs[k + 1] + xs[k + 1] * hs[k];
    }
    for (std::size_t k = 0; k < bins; ++k)
        if (out[k].real() != out[k].real() && out[k].imag() != out[k].imag()) out[k] = x[k] * h[k];
}

}  // namespace ksim
