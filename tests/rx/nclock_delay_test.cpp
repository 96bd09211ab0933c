#include "rx/NClockDelay.h"

#include <gtest/gtest.h>

namespace {

class Gate {
public:
    explicit Gate(int delayCount) {
        gate.delayCount = delayCount;
        EXPECT_TRUE(gate.Setup());
        gate.clockInput.Attach(&clock, 1);
        gate.enableInput.Attach(&enable, 1);
        gate.output.Attach(&out, 1);
        EXPECT_TRUE(gate.Initialize());
    }
    int Fire(int tick, int en) {
        clock = tick;
        enable = en;
        EXPECT_TRUE(gate.Run());
        return out;
    }
    // One clock period, low then high, with the enable held; returns the output after the rising edge.
    int Period(int en = 1) {
        Fire(0, en);
        return Fire(1, en);
    }

    NClockDelay gate;
    int clock = 0;
    int enable = 0;
    int out = -1;
};

TEST(NClockDelay, OpensAtTheRisingEdgeAfterTheDelayCount) {
    Gate g(3);
    EXPECT_EQ(g.Fire(0, 1), 0);  // enable rises: armed, nothing counted
    EXPECT_EQ(g.Period(), 0);    // edge 1
    EXPECT_EQ(g.Period(), 0);    // edge 2
    EXPECT_EQ(g.Period(), 0);    // edge 3
    EXPECT_EQ(g.Fire(0, 1), 0);
    EXPECT_EQ(g.Fire(1, 1), 1);  // edge 4 opens the gate on that very firing
    EXPECT_EQ(g.gate.armed, 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(g.Period(), 1);
}

TEST(NClockDelay, StaysClosedWithoutAnEnableRise) {
    Gate g(0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(g.Period(0), 0);
    EXPECT_EQ(g.gate.armed, 0);
}

TEST(NClockDelay, DelayCountZeroOpensAtTheFirstRisingEdge) {
    Gate g(0);
    EXPECT_EQ(g.Fire(0, 1), 0);
    EXPECT_EQ(g.Fire(0, 1), 0);
    EXPECT_EQ(g.Fire(1, 1), 1);
}

TEST(NClockDelay, ClockAndEnableHighFromTheFirstFiringCountOnlyOnce) {
    // The previous clock starts at 0, so the first firing is a rising edge; a clock held at 1 gives no other.
    Gate opens(0);
    EXPECT_EQ(opens.Fire(1, 1), 1);

    Gate never(1);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(never.Fire(1, 1), 0);
    EXPECT_EQ(never.gate.count, 1);
    EXPECT_EQ(never.gate.armed, 1);
}

TEST(NClockDelay, NewEnableRiseRearmsTheGate) {
    Gate g(2);
    g.Fire(0, 1);
    g.Period();
    g.Period();
    EXPECT_EQ(g.Period(), 1);
    EXPECT_EQ(g.Fire(0, 0), 1);  // enable falls: the gate stays open
    EXPECT_EQ(g.Fire(1, 0), 1);
    EXPECT_EQ(g.Fire(0, 1), 0);  // enable rises: closed, counting from zero
    EXPECT_EQ(g.gate.count, 0);
    EXPECT_EQ(g.Period(), 0);
    EXPECT_EQ(g.Period(), 0);
    EXPECT_EQ(g.Period(), 1);
}

TEST(NClockDelay, EnableRiseWhileCountingRestartsTheCount) {
    Gate g(2);
    g.Fire(0, 1);
    g.Period();
    g.Period();
    EXPECT_EQ(g.gate.count, 2);
    g.Fire(0, 0);
    EXPECT_EQ(g.Fire(1, 1), 0);  // the rise re-arms, then this firing's clock edge counts as the first
    EXPECT_EQ(g.gate.count, 1);
    EXPECT_EQ(g.Period(), 0);
    EXPECT_EQ(g.Period(), 1);
}

TEST(NClockDelay, InitializeReturnsToIdle) {
    Gate g(0);
    g.Fire(0, 1);
    EXPECT_EQ(g.Fire(1, 1), 1);
    EXPECT_TRUE(g.gate.Initialize());
    EXPECT_EQ(g.gate.outputState, 0);
    EXPECT_EQ(g.gate.previousEnable, 0);
    // The enable still held at 1 counts as a new rise after Initialize.
    EXPECT_EQ(g.Fire(0, 1), 0);
    EXPECT_EQ(g.Fire(1, 1), 1);
}

}  // namespace

