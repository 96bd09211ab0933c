#include "rx/DfeTapClimb.h"

DfeTapClimb::Limits DfeTapClimb::Limits::InSteps(double step, int firstTapSteps, int otherTapSteps) {
    Limits limits;
    limits.step = step;
    limits.bounds[0] = firstTapSteps * step;
    for (int i = 1; i < kTaps; ++i) limits.bounds[i] = otherTapSteps * step;
    return limits;
}

bool DfeTapClimb::GoesOn(double merit, double previousMerit) const {
    const bool directionCheck = !Over() && !freshTap && !directionChosen[tap];
    return directionCheck ? !(merit < previousMerit) : merit >= previousMerit;
}

void DfeTapClimb::Step(bool goesOn, const Limits& limits) {
    if (Over()) return;
    const int i = tap;
    const double move = directions[i] * limits.step;
    if (freshTap) {
        freshTap = false;
        taps[i] = taps[i] + move;
    } else if (!directionChosen[i]) {
        if (!goesOn) directions[i] = -directions[i];
        directionChosen[i] = true;
        taps[i] = taps[i] + directions[i] * limits.step;
    } else if (goesOn) {
        taps[i] = taps[i] + move;
        const double bound = limits.bounds[i];
        if (taps[i] > bound || taps[i] < -bound) {
            taps[i] = taps[i] > bound ? bound : -bound;
            tap = i + 1;
            freshTap = true;
        }
    } else {
        // Worse: back to the better value and on to the next tap.
        taps[i] = taps[i] - move;
        tap = i + 1;
        freshTap = true;
        endedByStepBack = Over();
    }
}
