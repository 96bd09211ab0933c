#include "rx/DFE_custom.h"

#include "runtime/UnitRates.h"
#include "rx/ControlEdges.h"

using control_edges::Falls;
using control_edges::Rises;

namespace {

// Feedback of the decision history, the products added from the most recent decision on.
double Feedback(const double (&weights)[DFE_custom::kTaps], const double (&history)[DFE_custom::kTaps]) {
    return weights[0] * history[0] + weights[1] * history[1] + weights[2] * history[2] +
           weights[3] * history[3] + weights[4] * history[4];
}

// Zero and NaN both decide -1.
int Slice(double x) { return x > 0.0 ? 1 : -1; }

}  // namespace

bool DFE_custom::Setup() {
    tapInputs.SetBusWidth(kTaps);
    Velmora::SetUnitRates(clockInput, signalInput, tapInputs, decisionOutput, equalisedOutput);
    return true;
}

bool DFE_custom::Initialize() {
    previousClock = 0.0;
    equalisedValue = 0.0;
    decision = 0;
    for (double& d : history) d = 0.0;
    return true;
}

bool DFE_custom::Run() {
    double weights[kTaps];
    for (std::size_t i = 0; i < kTaps; ++i) weights[i] = tapInputs[i][0];
    const double s = signalInput[0];
    const double clock = clockInput[0];

    equalisedValue = s - Feedback(weights, history);

    // The decision waits for the falling edge before it feeds back, so x keeps the older history until then.
    if (Rises(previousClock, clock)) decision = Slice(equalisedValue);
    if (Falls(previousClock, clock)) {
        for (std::size_t i = kTaps - 1; i > 0; --i) history[i] = history[i - 1];
        history[0] = decision;
    }
    previousClock = clock;

    decisionOutput[0] = decision;
    equalisedOutput[0] = equalisedValue;
    return true;
}
