#pragma once

#include <vector>

// Shape-preserving piecewise cubic Hermite interpolant (Fritsch and Carlson, with the three-point end
// slopes of Fritsch and Butland). It never overshoots its knots: between two knots it is monotone, and a
// knot that is a local extremum of the data gets a zero slope, so the curve's extremum sits exactly there.
class MonotoneCubic {
public:
    // knots: x strictly ascending, at least two; the same count of y values.
    MonotoneCubic(std::vector<double> x, std::vector<double> y);

    // t within [first knot, last knot]; a knot abscissa returns its y exactly.
    double operator()(double t) const;

private:
    std::vector<double> x_;
    std::vector<double> y_;
    std::vector<double> slope_;  // derivative at each knot
};
