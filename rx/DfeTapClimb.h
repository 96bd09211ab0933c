#pragma once

// The adaptation's hill climb of the DFE taps, one tap at a time: its state and its decision rule, apart
// from the engine's plumbing, so that the receiver runs it and the link simulator's trace replay follows it.
//
// Each tap in turn first moves one step in its present direction without comparing; the next measurement
// decides the direction (reversed when the merit fell below the one before) and the tap moves again, still
// unbounded; from then on it moves while the merit does not fall. The first fall steps it back and hands over
// to the next tap, as does passing its bound, where it is clamped. The climb is over when the last tap hands
// over.
struct DfeTapClimb {
    static constexpr int kTaps = 5;

    // How far the taps move and may go.
    struct Limits {
        double step = 0.0;           // one move [V] (DFElsb)
        double bounds[kTaps] = {};   // a tap is clamped to -bound..bound [V] (as the steps allow)

        // Tap 1 bounded by firstTapSteps steps, the others by otherTapSteps steps.
        static Limits InSteps(double step, int firstTapSteps, int otherTapSteps);
    };

    double taps[kTaps] = {};                // present weights [V]
    int directions[kTaps] = {1, 1, 1, 1, 1};  // sign of each tap's next move
    bool directionChosen[kTaps] = {};       // the tap's direction has been decided by a comparison
    int tap = 0;                            // tap under search, from 0; kTaps once the last has handed over
    bool freshTap = true;                   // the present tap's next move is its first, made without comparing
    bool endedByStepBack = false;           // the last tap handed over by stepping back

    bool Over() const { return tap >= kTaps; }

    // The branch a measurement takes: true keeps the direction or moves on, false reverses or steps back. A
    // NaN merit (of either measurement) keeps the direction at the direction check and steps back after it.
    bool GoesOn(double merit, double previousMerit) const;

    // One step after a measurement whose comparison took the branch goesOn; nothing once the climb is over.
    void Step(bool goesOn, const Limits& limits);
};
