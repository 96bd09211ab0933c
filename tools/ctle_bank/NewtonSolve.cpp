#include "NewtonSolve.h"

#include <cmath>

namespace ctle_bank {
namespace {

double LargerMagnitude(Pair value) {
    return std::fabs(value.first) > std::fabs(value.second) ? std::fabs(value.first) : std::fabs(value.second);
}

}  // namespace

NewtonOutcome SolveNewton2D(const std::function<Pair(Pair)>& residual, Pair start, Pair differenceSteps,
                            double tolerance, int maxIterations) {
    Pair x = start;
    Pair r = residual(x);
    for (int iteration = 0; iteration <= maxIterations; ++iteration) {
        if (!std::isfinite(r.first) || !std::isfinite(r.second)) break;
        if (LargerMagnitude(r) <= tolerance) return {x, r, iteration, true};
        if (iteration == maxIterations) break;

        const double h1 = differenceSteps.first;
        const double h2 = differenceSteps.second;
        const Pair up1 = residual({x.first + h1, x.second});
        const Pair down1 = residual({x.first - h1, x.second});
        const Pair up2 = residual({x.first, x.second + h2});
        const Pair down2 = residual({x.first, x.second - h2});
        // Jacobian [a b; c d]: rows are the equations, columns the unknowns.
        const double a = (up1.first - down1.first) / (2.0 * h1);
        const double c = (up1.second - down1.second) / (2.0 * h1);
        const double b = (up2.first - down2.first) / (2.0 * h2);
        const double d = (up2.second - down2.second) / (2.0 * h2);
        const double determinant = a * d - b * c;
        if (determinant == 0.0 || !std::isfinite(determinant)) break;

        const double step1 = (d * r.first - b * r.second) / determinant;
        const double step2 = (a * r.second - c * r.first) / determinant;
        x = {x.first - step1, x.second - step2};
        r = residual(x);
    }
    return {x, r, maxIterations, false};
}

}  // namespace ctle_bank
