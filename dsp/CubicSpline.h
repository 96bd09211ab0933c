#pragma once

#include <cstddef>
#include <vector>

namespace Velmora {

// Interpolating cubic spline after Forsythe, Malcolm and Moler: continuous first and second derivatives at
// the interior points and, at each end, the third derivative of the cubic through the four points nearest
// that end. A spline through data of a cubic polynomial is therefore that polynomial. With exactly four
// points it is the single cubic through all of them.
//
// The object is a reusable workspace: its arrays grow to the largest point count fitted and never shrink,
// so repeated fits of the same size allocate nothing.
class CubicSpline {
public:
    enum Status {
        Fitted = 0,
        NoPoints = 1,     // nothing fitted yet, or a fit with no points; evaluations return 0
        NotAscending = 2  // the abscissas were not strictly ascending; evaluations return 0
    };

    // Fits the spline through (x[i], y[i]), i = 0..count-1. The points are copied.
    Status Fit(const double* x, const double* y, std::size_t count);

    // Value at t. Beyond the last point the last piece continues; below the first point, the first piece.
    double Evaluate(double t) const;

    Status status() const { return status_; }

private:
    std::size_t IntervalOf(double t) const;

    Status status_ = NoPoints;
    std::size_t count_ = 0;
    // Point i's piece is y_[i] + u*(b_[i] + u*(c_[i] + u*d_[i])) with u = t - x_[i].
    std::vector<double> x_, y_, b_, c_, d_;
};

}  // namespace Velmora
