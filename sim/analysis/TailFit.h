#pragma once

// Gaussian tail fits on the Q scale: the extrapolation of a measured distribution below its counted events.
// A Gaussian tail P(v < x) = w·Q((mean - x) / sigma) is a straight line when Q⁻¹(P / w) is drawn against x,
// so its mean and sigma follow from a least-squares line through the tail's points.

#include <cstdint>
#include <vector>

namespace ksim {

// Q(x) = P(X > x) for a standard normal X, i.e. erfc(x / √2) / 2.
double GaussianTail(double x);
// The x with Q(x) = p, for 0 < p < 1 (by bisection to the last bit; ±38.5 at the ends of the doubles).
double GaussianTailInverse(double p);

struct TailFitOptions {
    double tailShare = 0.05;     // points up to this share of all counts belong to the tail, (0, 0.5]
    std::uint64_t minCount = 4;  // points with fewer counts below them are too noisy to use (1 if too few)
    bool fitWeight = false;      // search the tail's weight w over 0.1 .. 1 (dual-Dirac); else w = 1
    double sigmaFloor = 0;       // the smallest sigma the data can resolve [units of x], >= 0
};

struct TailFit {
    bool ok = false;
    bool fromOneBin = false;     // every tail count in one bin: mean at its centre, sigma at the floor
    double mean = 0, sigma = 0;  // [units of x]
    double weight = 1;           // w, the share of the distribution the tail belongs to
    int points = 0;              // points the line went through
};

// The lower tail of a histogram: edges[0..L] increasing, counts[0..L-1] the counts between them.
TailFit FitLowerTail(const std::vector<double>& edges, const std::vector<std::uint64_t>& counts,
                     const TailFitOptions& options);
// The upper tail, P(v > x) = w·Q((x - mean) / sigma), by mirroring.
TailFit FitUpperTail(const std::vector<double>& edges, const std::vector<std::uint64_t>& counts,
                     const TailFitOptions& options);

}  // namespace ksim
