#include "rx/PFD.h"

namespace {

// Zero counts as not above zero.
int SignOf(double value) { return value > 0.0 ? 1 : -1; }

}  // namespace

bool PFD::Run() {
    const double level = dataInput > 0.0 ? 1.0 : 0.0;
    const bool transition = (dataLevel == 0.0 && level == 1.0) || (dataLevel == 1.0 && level == 0.0);
    if (transition) {
        previousInPhaseSign = inPhaseSign;
        inPhaseSign = SignOf(inPhaseInput);
        quadratureSign = SignOf(quadratureInput);
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
    dataLevel = level;
    return true;
}
