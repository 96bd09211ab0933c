#include "rx/PFD.h"

#include <gtest/gtest.h>

namespace {

// Drives the detector's input fields; each Transition flips the data input across zero.
class Detector {
public:
    void Fire(double inPhase, double quadrature, double data) {
        pfd.inPhaseInput = inPhase;
        pfd.quadratureInput = quadrature;
        pfd.dataInput = data;
        EXPECT_TRUE(pfd.Run());
    }
    void Transition(double inPhase, double quadrature) {
        high = !high;
        Fire(inPhase, quadrature, high ? 0.4 : -0.4);
    }
    int Sum() const { return pfd.inPhaseSign + pfd.correction; }

    PFD pfd;
    bool high = false;
};

struct Expected {
    int inPhaseSign;
    int quadratureSign;
    int correction;
    int sum;
};

void ExpectOutputs(const Detector& d, const Expected& e) {
    EXPECT_EQ(d.pfd.inPhaseSign, e.inPhaseSign);
    EXPECT_EQ(d.pfd.quadratureSign, e.quadratureSign);
    EXPECT_EQ(d.pfd.correction, e.correction);
    EXPECT_EQ(d.Sum(), e.sum);
}

// Brings a fresh detector to the in-phase sign `sign` with correction 0 (a first transition with the
// quadrature wave above zero); sign 0 leaves it fresh.
Detector WithInPhaseSign(int sign) {
    Detector d;
    if (sign != 0) d.Transition(sign > 0 ? 0.6 : -0.6, 0.6);
    return d;
}

TEST(Pfd, RisingInPhaseSignFollowsTheQuadratureWave) {
    for (int before : {-1, 0}) {
        SCOPED_TRACE(before);
        Detector above = WithInPhaseSign(before);
        above.Transition(0.3, 0.8);
        ExpectOutputs(above, {1, 1, 0, 1});
        Detector below = WithInPhaseSign(before);
        below.Transition(0.3, -0.8);
        ExpectOutputs(below, {1, -1, -1, 0});
    }
}

TEST(Pfd, FallingInPhaseSignFollowsTheQuadratureWave) {
    for (int before : {1, 0}) {
        SCOPED_TRACE(before);
        Detector above = WithInPhaseSign(before);
        above.Transition(-0.3, 0.8);
        ExpectOutputs(above, {-1, 1, 0, -1});
        Detector below = WithInPhaseSign(before);
        below.Transition(-0.3, -0.8);
        ExpectOutputs(below, {-1, -1, 1, 0});
    }
}

TEST(Pfd, UnchangedInPhaseSignKeepsTheCorrection) {
    Detector d;
    d.Transition(0.3, -0.8);  // rise with quadrature below: correction -1
    ExpectOutputs(d, {1, -1, -1, 0});
    d.Transition(0.9, 0.8);   // same in-phase sign: correction and sum stay, quadrature sign is resampled
    ExpectOutputs(d, {1, 1, -1, 0});
    EXPECT_EQ(d.pfd.previousInPhaseSign, 1);
    EXPECT_EQ(d.pfd.previousCorrection, -1);
    d.Transition(-0.2, -0.8);  // fall with quadrature below: correction +1
    ExpectOutputs(d, {-1, -1, 1, 0});
    EXPECT_EQ(d.pfd.previousCorrection, -1);
    d.Transition(-0.2, 0.5);
    ExpectOutputs(d, {-1, 1, 1, 0});
}

TEST(Pfd, OutputsHoldBetweenTransitions) {
    Detector d;
    d.Transition(0.3, 0.8);
    ExpectOutputs(d, {1, 1, 0, 1});
    d.Fire(-0.9, -0.9, 0.7);  // data stays above zero
    d.Fire(-0.9, -0.9, 0.1);
    ExpectOutputs(d, {1, 1, 0, 1});
}

TEST(Pfd, ZeroCountsAsNotAboveZero) {
    Detector d;
    d.Fire(0.5, 0.5, 0.0);  // level starts low; 0.0 keeps it low
    ExpectOutputs(d, {0, 0, 0, 0});
    d.Fire(-0.5, 0.5, 0.3);  // rise of the data: first transition, a fall of the in-phase sign
    ExpectOutputs(d, {-1, 1, 0, -1});
    d.Fire(0.0, 0.0, 0.0);  // 0.3 → 0.0 is a transition; in-phase and quadrature 0.0 both sample as -1
    ExpectOutputs(d, {-1, -1, 0, -1});
    EXPECT_EQ(d.pfd.dataLevel, 0.0);
}

TEST(Pfd, InitializeKeepsTheState) {
    Detector d;
    d.Transition(0.3, -0.8);
    EXPECT_TRUE(d.pfd.Initialize());
    ExpectOutputs(d, {1, -1, -1, 0});
    EXPECT_EQ(d.pfd.dataLevel, 1.0);
}

}  // namespace
