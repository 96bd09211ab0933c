#pragma once

#include <cstddef>

// A saturating gain over a block of samples, out[k] = amplitude * Tanh(slope * in[k]) for k < n, with the
// bits of that scalar loop (Velmora::pm::Tanh) for every input, NaN and infinities included. The vector
// kernels compute several samples side by side, one per lane, each lane carrying out the scalar function's
// operations in its order: branches become lane selections, the table lookup a gather. in and out may be
// the same array.

namespace Velmora {
namespace pm {

// The instruction sets a kernel may use, narrowest first.
enum class TanhLanes {
    Sse2,    // 2 samples per register, the baseline of every x86 build
    Avx2,    // 4 per register; 64-bit builds on processors that have it
    Avx512,  // 8 per register; 64-bit builds on processors that have it (AVX-512F)
    Widest   // the widest of the above that this build and processor offer
};

using ScaledTanhKernel = void (*)(const double* in, double* out, std::size_t n, double amplitude, double slope);

// The kernel of a lane width, or null where this build or processor lacks it; Widest always has one.
ScaledTanhKernel ScaledTanhKernelFor(TanhLanes lanes);

// out[k] = amplitude * Tanh(slope * in[k]) through the widest kernel.
void ScaledTanh(const double* in, double* out, std::size_t n, double amplitude, double slope);

}  // namespace pm
}  // namespace Velmora
