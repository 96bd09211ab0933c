#include "rx/DfeTapClimb.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(DfeTapClimb, BranchesAndBoundsOfEveryPhase) {
    const double nan = std::nan("");
    // From a tap's first move on, each case: the climb after the first move and the given number of
    // direction-keeping moves (-1: before its direction check), a measurement, and where the tap ends.
    const struct {
        int tap;            // the tap under search, from 0
        int direction;      // of its first move
        int movesSoFar;     // compared moves after the direction check; -1 before it
        double merit, previous;
        bool goesOn;
        double tapAfter;    // [steps]
        int nextTap;
    } cases[] = {
        // The direction check: a fall reverses, anything else (equal, NaN) keeps; never bounded (tap 1's
        // bound is 1 step here).
        {0, 1, -1, 0.4, 0.5, false, 0, 0},
        {0, 1, -1, 0.5, 0.5, true, 2, 0},
        {0, -1, -1, nan, 0.5, true, -2, 0},
        {0, 1, -1, 0.5, nan, true, 2, 0},
        // Climbing: equal goes on, a fall or a NaN steps back and hands over.
        {2, 1, 0, 0.5, 0.5, true, 3, 2},
        {2, -1, 0, 0.4, 0.5, false, -1, 3},
        {2, 1, 0, nan, 0.5, false, 1, 3},
        {2, 1, 0, 0.5, nan, false, 1, 3},
        // Passing a bound clamps and hands over, on either side; tap 1 has a bound of its own.
        {1, 1, 1, 0.6, 0.5, true, 3, 2},
        {1, -1, 1, 0.6, 0.5, true, -3, 2},
        {0, 1, 0, 0.6, 0.5, true, 1, 1},
        {0, -1, 0, 0.6, 0.5, true, -1, 1},
        // The last tap's step back ends the climb, as does its bound.
        {4, 1, 0, 0.4, 0.5, false, 1, 5},
        {4, -1, 1, 0.6, 0.5, true, -3, 5},
    };
    const double step = 0.25;
    const DfeTapClimb::Limits limits = DfeTapClimb::Limits::InSteps(step, 1, 3);
    for (const auto& c : cases) {
        DfeTapClimb climb;
        climb.tap = c.tap;
        climb.directions[c.tap] = c.direction;
        climb.Step(true, limits);  // the first move, whatever the branch
        for (int k = 0; k <= c.movesSoFar; ++k) climb.Step(true, limits);
        ASSERT_EQ(climb.tap, c.tap) << "setting up case " << c.tap << " " << c.movesSoFar;
        EXPECT_EQ(climb.GoesOn(c.merit, c.previous), c.goesOn) << c.tap << " " << c.merit << " " << c.previous;
        climb.Step(c.goesOn, limits);
        EXPECT_EQ(climb.taps[c.tap], c.tapAfter * step) << "tap " << c.tap + 1 << " after " << c.movesSoFar;
        EXPECT_EQ(climb.tap, c.nextTap) << c.tap << " " << c.movesSoFar;
        EXPECT_EQ(climb.Over(), c.nextTap == DfeTapClimb::kTaps);
        EXPECT_EQ(climb.endedByStepBack, c.nextTap == DfeTapClimb::kTaps && !c.goesOn);
        for (int other = 0; other < DfeTapClimb::kTaps; ++other) {
            if (other == c.tap) continue;
            EXPECT_EQ(climb.taps[other], 0.0) << "only the tap under search moves";
        }
    }
    // Once over, nothing moves.
    DfeTapClimb over;
    over.tap = DfeTapClimb::kTaps;
    over.Step(true, limits);
    for (double tap : over.taps) EXPECT_EQ(tap, 0.0);
}
