#include "MonotoneCubic.h"

#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <utility>

namespace {

bool sameSign(double a, double b) { return (a > 0.0 && b > 0.0) || (a < 0.0 && b < 0.0); }

// One-sided slope at an end knot from the two nearest intervals, limited so the end piece stays monotone.
double endSlope(double h0, double h1, double m0, double m1)
{
    double d = ((2.0 * h0 + h1) * m0 - h0 * m1) / (h0 + h1);
    if (!sameSign(d, m0))
        return 0.0;
    if (!sameSign(m0, m1) && std::fabs(d) > std::fabs(3.0 * m0))
        return 3.0 * m0;
    return d;
}

}  // namespace

MonotoneCubic::MonotoneCubic(std::vector<double> x, std::vector<double> y)
    : x_(std::move(x)), y_(std::move(y)), slope_(x_.size(), 0.0)
{
    const std::size_t n = x_.size();
    if (n < 2 || y_.size() != n)
        throw std::invalid_argument("MonotoneCubic needs at least two knots and one y per x");
    for (std::size_t i = 1; i < n; ++i)
        if (!(x_[i] > x_[i - 1]))
            throw std::invalid_argument("MonotoneCubic knots must be strictly ascending");

    std::vector<double> h(n - 1), m(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        h[i] = x_[i + 1] - x_[i];
        m[i] = (y_[i + 1] - y_[i]) / h[i];
    }
    if (n == 2) {
        slope_[0] = slope_[1] = m[0];
        return;
    }
    // Interior: weighted harmonic mean of the neighbouring secants, zero at a local extremum of the data.
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (!sameSign(m[i - 1], m[i]))
            continue;
        const double w1 = 2.0 * h[i] + h[i - 1];
        const double w2 = h[i] + 2.0 * h[i - 1];
        slope_[i] = (w1 + w2) / (w1 / m[i - 1] + w2 / m[i]);
    }
    slope_[0] = endSlope(h[0], h[1], m[0], m[1]);
    slope_[n - 1] = endSlope(h[n - 2], h[n - 3], m[n - 2], m[n - 3]);
}

double MonotoneCubic::operator()(double t) const
{
    std::size_t i = 0;
    while (i + 2 < x_.size() && t >= x_[i + 1])
        ++i;
    if (t == x_[i])
        return y_[i];
    if (t == x_[i + 1])
        return y_[i + 1];
    const double h = x_[i + 1] - x_[i];
    const double m = (y_[i + 1] - y_[i]) / h;
    const double d0 = slope_[i];
    const double d1 = slope_[i + 1];
    const double c2 = (3.0 * m - 2.0 * d0 - d1) / h;
    const double c3 = (d0 + d1 - 2.0 * m) / (h * h);
    const double s = t - x_[i];
    return y_[i] + s * (d0 + s * (c2 + s * c3));
}
