#include "sim/analysis/TailFit.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ksim {

double GaussianTail(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

double GaussianTailInverse(double p) {
    double lo = -38.5, hi = 38.5;  // Q(hi) is the smallest positive double's neighbourhood
    if (!(p > 0.0)) return hi;
    if (!(p < 1.0)) return lo;
    for (int i = 0; i < 200 && lo < hi; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid == lo || mid == hi) break;
        if (GaussianTail(mid) > p)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

namespace {

struct Point {
    double x;
    double share;  // of all counts, below x
};

// The tail's points: the upper edge of every non-empty bin whose cumulative count lies within the tail.
std::vector<Point> TailPoints(const std::vector<double>& edges, const std::vector<std::uint64_t>& counts,
                              const TailFitOptions& options, std::uint64_t minCount) {
    std::uint64_t total = 0;
    for (std::uint64_t c : counts) total += c;
    std::vector<Point> points;
    std::uint64_t below = 0;
    for (std::size_t k = 0; k < counts.size(); ++k) {
        below += counts[k];
        if (counts[k] == 0 || below < minCount) continue;
        const double share = static_cast<double>(below) / static_cast<double>(total);
        if (share > options.tailShare) break;
        points.push_back({edges[k + 1], share});
    }
    return points;
}

// Least-squares line y = c0 + c1·x through the points with y = Q⁻¹(share / weight), each point weighted by
// the inverse of its variance (a share counted of n events varies by share·(1 - share)/n, and y by that
// over (weight·φ(y))², φ the normal density), so that the few events far out do not tilt the line; the
// weighted sum of squared residuals goes to sse.
bool FitLine(const std::vector<Point>& points, double weight, TailFit& fit, double& sse) {
    std::vector<double> ys(points.size()), ws(points.size());
    double sw = 0, mx = 0, my = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        ys[i] = GaussianTailInverse(points[i].share / weight);
        const double density = weight * std::exp(-0.5 * ys[i] * ys[i]);
        ws[i] = density * density / (points[i].share * (1.0 - points[i].share));
        sw += ws[i];
        mx += ws[i] * points[i].x;
        my += ws[i] * ys[i];
    }
    if (!(sw > 0.0)) return false;
    mx /= sw;
    my /= sw;
    double sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        sxx += ws[i] * (points[i].x - mx) * (points[i].x - mx);
        sxy += ws[i] * (points[i].x - mx) * (ys[i] - my);
    }
    if (!(sxx > 0.0)) return false;
    const double c1 = sxy / sxx;
    if (!(c1 < 0.0)) return false;
    const double c0 = my - c1 * mx;
    sse = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double r = ys[i] - (c0 + c1 * points[i].x);
        sse += ws[i] * r * r;
    }
    fit.sigma = -1.0 / c1;
    fit.mean = c0 * fit.sigma;
    fit.weight = weight;
    fit.points = static_cast<int>(points.size());
    return true;
}

}  // namespace

TailFit FitLowerTail(const std::vector<double>& edges, const std::vector<std::uint64_t>& counts,
                     const TailFitOptions& options) {
    TailFit fit;
    if (edges.size() != counts.size() + 1 || counts.empty()) return fit;
    std::vector<Point> points = TailPoints(edges, counts, options, options.minCount);
    if (points.size() < 2) points = TailPoints(edges, counts, options, 1);
    double best = std::numeric_limits<double>::infinity();
    if (points.size() >= 2) {
        const int steps = options.fitWeight ? 90 : 0;
        for (int s = 0; s <= steps; ++s) {
            const double weight = options.fitWeight ? 0.1 + 0.01 * s : 1.0;
            TailFit trial;
            double sse = 0;
            if (FitLine(points, weight, trial, sse) && sse < best) {
                best = sse;
                fit = trial;
                fit.ok = true;
            }
        }
    }
    if (!fit.ok && !options.fitWeight) {
        // Too few points for a line (a distribution narrower than the bins): its lowest bin, at the floor.
        for (std::size_t k = 0; k < counts.size(); ++k) {
            if (counts[k] == 0) continue;
            fit.ok = true;
            fit.fromOneBin = true;
            fit.mean = 0.5 * (edges[k] + edges[k + 1]);
            fit.sigma = options.sigmaFloor;
            fit.points = 1;
            break;
        }
    }
    if (fit.ok) fit.sigma = std::max(fit.sigma, options.sigmaFloor);
    return fit;
}

TailFit FitUpperTail(const std::vector<double>& edges, const std::vector<std::uint64_t>& counts,
                     const TailFitOptions& options) {
    std::vector<double> mirroredEdges(edges.rbegin(), edges.rend());
    for (double& e : mirroredEdges) e = -e;
    const std::vector<std::uint64_t> mirroredCounts(counts.rbegin(), counts.rend());
    TailFit fit = FitLowerTail(mirroredEdges, mirroredCounts, options);
    fit.mean = -fit.mean;
    return fit;
}

}  // namespace ksim
