#pragma once

// Transcendental functions that give the same bits in every build and with every C library.
//
// The C library's cos, sin, acos, asin, tanh and exp differ between platforms in the last bit (glibc's
// i386 and x86-64 code alone disagree), so a model that calls them is not reproducible across builds.
// These versions use only IEEE double additions, multiplications, divisions, square roots, comparisons
// and bit manipulation, each correctly rounded, so their results depend on nothing but the argument.
//
// Accuracy: within 1 ulp of the exact value (faithful) over the whole double range, nearly always the
// correctly rounded value. Cos and Sin reduce any finite argument exactly enough, however large.
// Special values: NaN in gives NaN out; Asin and Acos of |x| > 1, and Cos and Sin of ±inf, give NaN;
// Exp overflows to +inf, underflows through the subnormals to +0, Exp(-inf) = +0; Tanh saturates to ±1;
// Sin, Asin and Tanh keep the sign of a zero.
//
// Requirements on the build: round-to-nearest, no fused multiply-add contraction (-ffp-contract=off), no
// excess precision (SSE2 doubles, -msse2 -mfpmath=sse on 32-bit x86), subnormals not flushed to zero.

namespace Velmora {
namespace pm {

double Cos(double x);   // x [rad], any finite value
double Sin(double x);   // x [rad], any finite value
// Sin(x) and Cos(x), bit for bit, from one argument reduction.
void SinCos(double x, double& sine, double& cosine);
// The sign of Cos(x) where it is certain without evaluating Cos: +1 or -1, and 0 for a NaN or infinite
// argument and for arguments within about 1e-9 rad of a zero of the cosine (evaluate Cos there). An
// oscillator that only needs to know which half of the turn it is in saves the polynomial this way.
int SignOfCos(double x);
double Acos(double x);  // x in [-1, 1]; result in [0, pi]
double Asin(double x);  // x in [-1, 1]; result in [-pi/2, pi/2]
double Tanh(double x);
double Exp(double x);

}  // namespace pm
}  // namespace Velmora
