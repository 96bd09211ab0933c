#pragma once

#include <cstddef>

namespace Velmora {

// The arithmetic that filters a run of outputs of a plain convolution held in one contiguous stretch of
// samples. Every kernel gives, for each output j in 0..n-1,
//     sum = +0; for l = 0 .. count-1: sum = x[count - 1 + j - l] * taps[l] + sum
// with each product and each sum rounded on its own, in exactly that order, so that every kernel gives the
// bits of the sample-by-sample loop. The vector kernels only compute several outputs side by side, one per
// lane; they neither reassociate nor fuse. x holds count - 1 + n samples, out n, scratch
// FirKernelScratch(count, n) doubles of work space.
enum class FirPath {
    Reference,  // the sample-by-sample loop of the filter itself
    Sse2,       // 2 outputs per register, the baseline of every x86 build
    Avx2,       // 4 outputs per register; 64-bit builds on processors that have it
    Avx512,     // 8 outputs per register; 64-bit builds on processors that have it
    Fastest     // the widest of the above that this build and processor offer
};

using FirBlockKernel = void (*)(const double* x, const double* taps, std::size_t count, double* out,
                                std::size_t n, double* scratch);

// Doubles of work space a kernel needs for count taps and n outputs.
std::size_t FirKernelScratch(std::size_t count, std::size_t n);

// The kernel of a vector path, or null for Reference and for a path this build or processor lacks.
// Fastest resolves to the widest one available.
FirBlockKernel FirKernelFor(FirPath path);

// The one sample-by-sample sum, shared by the filter's reference firing and the vector paths' fallback, so
// that both carry out the same instructions (NaN payloads included): sum over l = 0 .. count-1 of
// newest[-l] * taps[l], added one by one onto +0.
double FirReferenceSum(const double* newest, const double* taps, std::size_t count);

}  // namespace Velmora
