#include "rx/PFD.h"

bool PFD::IsTransition(double data) const {
    const double level = LevelOf(data);
    return (dataLevel == 0.0 && level == 1.0) || (dataLevel == 1.0 && level == 0.0);
}

void PFD::Latch(int inPhase, int quadrature) {
    previousInPhaseSign = inPhaseSign;
    inPhaseSign = inPhase;
    quadratureSign = quadrature;
    previousCorrection = correction;
    // A rising in-phase sign with the quadrature wave below zero, or a falling one with it below zero,
    // cancels the in-phase sign in the detector sum; above zero the sum follows the in-phase sign.
    if (inPhaseSign > previousInPhaseSign) {
        correction = quadratureSign == 1 ? 0 : -1;
    } else if (inPhaseSign < previousInPhaseSign) {
        correction = quadratureSign == 1 ? 0 : 1;
    } else {
        correction = previousCorrection;
    }
}

bool PFD::Run() {
    if (IsTransition(dataInput)) Latch(SignOf(inPhaseInput), SignOf(quadratureInput));
    Hold(dataInput);
    return true;
}
