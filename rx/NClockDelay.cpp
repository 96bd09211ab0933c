#include "rx/NClockDelay.h"

#include <limits>

#include "runtime/UnitRates.h"

bool NClockDelay::Setup() {
    Velmora::SetUnitRates(clockInput, enableInput, output);
    return true;
}

bool NClockDelay::Initialize() {
    previousEnable = 0;
    outputState = 0;
    previousClock = 0;
    count = 0;
    armed = 0;
    return true;
}

bool NClockDelay::Run() {
    const int c = clockInput[0];
    const int e = enableInput[0];
    if (previousEnable == 0 && e == 1) {
        count = 0;
        armed = 1;
        outputState = 0;
    }
    // Only a step from exactly 0 to exactly 1 counts, unlike the other blocks' edges around 0.5.
    if (armed == 1 && previousClock == 0 && c == 1) {
        // Saturates rather than overflow; only a delay count at the top of the int range can get there.
        if (count < std::numeric_limits<int>::max()) ++count;
        if (count > delayCount) {
            outputState = 1;
            armed = 0;
        }
    }
    output[0] = outputState;
    previousEnable = e;
    previousClock = c;
    return true;
}
