#pragma once

#include <functional>

namespace ctle_bank {

struct Pair {
    double first;
    double second;
};

struct NewtonOutcome {
    Pair solution;
    Pair residual;  // residual at the solution
    int iterations;
    bool converged;
};

// Newton iteration for two equations in two unknowns with a central-difference Jacobian.
// differenceSteps: the increments used for the Jacobian, > 0 and small against the unknowns' scale.
// Stops when the larger residual magnitude falls to tolerance; fails after maxIterations or on a
// singular Jacobian.
NewtonOutcome SolveNewton2D(const std::function<Pair(Pair)>& residual, Pair start, Pair differenceSteps,
                            double tolerance, int maxIterations);

}  // namespace ctle_bank
