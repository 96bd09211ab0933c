#include "dsp/CubicSpline.h"

namespace Velmora {

namespace {

template <typename V>
void GrowTo(V& values, std::size_t count) {
    if (values.size() < count) values.resize(count);
}

}  // namespace

CubicSpline::Status CubicSpline::Fit(const double* x, const double* y, std::size_t count) {
    count_ = 0;
    if (count == 0) return status_ = NoPoints;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        // Written so that a NaN abscissa also counts as out of order.
        if (!(x[i] < x[i + 1])) return status_ = NotAscending;
    }
    GrowTo(x_, count);
    GrowTo(y_, count);
    GrowTo(b_, count);
    GrowTo(c_, count);
    GrowTo(d_, count);
    double* const b = b_.data();
    double* const c = c_.data();
    double* const d = d_.data();
    for (std::size_t i = 0; i < count; ++i) {
        x_[i] = x[i];
        y_[i] = y[i];
    }
    count_ = count;
    status_ = Fitted;

    const std::size_t n = count;
    if (n == 1) {
        b[0] = c[0] = d[0] = 0.0;
        return status_;
    }
    if (n == 2) {
        b[0] = (y[1] - y[0]) / (x[1] - x[0]);
        c[0] = d[0] = 0.0;
        b[1] = b[0];
        c[1] = d[1] = 0.0;
        return status_;
    }

    // Tridiagonal system for the second derivatives (scaled by 1/6): b holds the diagonal, d the
    // off-diagonal and c the right-hand side, which starts as the first divided differences.
    const std::size_t last = n - 1;
    d[0] = x[1] - x[0];
    c[1] = (y[1] - y[0]) / d[0];
    for (std::size_t i = 1; i < last; ++i) {
        d[i] = x[i + 1] - x[i];
        b[i] = 2.0 * (d[i - 1] + d[i]);
        c[i + 1] = (y[i + 1] - y[i]) / d[i];
        c[i] = c[i + 1] - c[i];
    }

    // End conditions: the third derivative at each end matches the cubic through the four end points,
    // taken from third divided differences. Three points have no such cubic; their ends stay free.
    b[0] = -d[0];
    b[last] = -d[last - 1];
    c[0] = 0.0;
    c[last] = 0.0;
    if (n > 3) {
        c[0] = c[2] / (x[3] - x[1]) - c[1] / (x[2] - x[0]);
        c[last] = c[last - 1] / (x[last] - x[last - 2]) - c[last - 2] / (x[last - 1] - x[last - 3]);
        c[0] = c[0] * d[0] * d[0] / (x[3] - x[0]);
        c[last] = -c[last] * d[last - 1] * d[last - 1] / (x[last] - x[last - 3]);
    }

    for (std::size_t i = 1; i < n; ++i) {
        const double factor = d[i - 1] / b[i - 1];
        b[i] = b[i] - factor * d[i - 1];
        c[i] = c[i] - factor * c[i - 1];
    }
    c[last] = c[last] / b[last];
    for (std::size_t i = last; i-- > 0;) c[i] = (c[i] - d[i] * c[i + 1]) / b[i];

    // c now holds the second derivatives / 6; turn them into the coefficients of each piece.
    b[last] = (y[last] - y[last - 1]) / d[last - 1] + d[last - 1] * (c[last - 1] + 2.0 * c[last]);
    for (std::size_t i = 0; i < last; ++i) {
        b[i] = (y[i + 1] - y[i]) / d[i] - d[i] * (c[i + 1] + 2.0 * c[i]);
        d[i] = (c[i + 1] - c[i]) / d[i];
        c[i] = 3.0 * c[i];
    }
    c[last] = 3.0 * c[last];
    d[last] = d[last - 1];
    return status_;
}

std::size_t CubicSpline::IntervalOf(double t) const {
    // Bisection for the last point at or below t; t below the first point (or NaN) gives the first.
    std::size_t low = 0;
    std::size_t high = count_;
    while (high - low > 1) {
        const std::size_t mid = low + (high - low) / 2;
        if (t < x_[mid]) {
            high = mid;
        } else if (t >= x_[mid]) {
            low = mid;
        } else {
            return 0;
        }
    }
    return low;
}

double CubicSpline::Evaluate(double t) const {
    if (status_ != Fitted) return 0.0;
    const std::size_t k = IntervalOf(t);
    const double u = t - x_[k];
    return y_[k] + u * (b_[k] + u * (c_[k] + u * d_[k]));
}

}  // namespace Velmora
