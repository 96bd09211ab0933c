#include "rx/ClockRecoverySection.h"

#include "runtime/DirectFiring.h"
#include "rx/BlockSetup.h"

bool ClockRecoverySection::Setup() {
    bitRate = 1 / bitTime;
    timeStep = 1 / (bitRate * samplesPerBit);
    oscillatorFrequency = bitRate * Factor;

    bool ok = shifter.Setup();
    ok = detector.Setup() && ok;
    detectorSum.input.SetBusWidth(2);
    ok = detectorSum.Setup() && ok;
    ok = block_setup::Fork(clockFork, 2) && ok;

    oscillator.SampleInterval = timeStep;
    oscillator.Frequency = oscillatorFrequency;
    oscillator.Sensitivity = VCO_Sensitivity;
    oscillator.QuadratureSign = 0;
    oscillator.InitialPhase = initialPhase;
    oscillator.Amplitude = amplitude;
    ok = oscillator.Setup() && ok;

    loopFilter.C1 = C1;
    loopFilter.C2 = C2;
    loopFilter.R = R;
    loopFilter.Icp = Icp;
    loopFilter.SampleInterval = timeStep;
    ok = loopFilter.Setup() && ok;

    ok = sumToReal.Setup() && ok;
    ok = block_setup::Fork(cosineFork, 2) && ok;
    ok = block_setup::Fork(controlFork, 2) && ok;
    return ok;
}

void ClockRecoverySection::SettleShifterInput() {
    if (!shifter.previousInputPending) return;
    shifter.previousInput = oscillator.InPhaseAt(shifter.previousInputPhase);
    shifter.previousInputPending = false;
}

bool ClockRecoverySection::Fire() {
    Velmora::DirectFiring fire;  // every member is of exactly its declared class
    SettleShifterInput();
    fire(oscillator);
    fire(cosineFork);
    fire(clockFork);
    fire(shifter);
    shifterOutput[0] = shifter.output;
    detector.inPhaseInput = detectorInputs[0][0];
    detector.quadratureInput = detectorInputs[1][0];
    detector.dataInput = detectorInputs[2][0];
    fire(detector);
    detectorOutputs[0][0] = detector.inPhaseSign;
    detectorOutputs[1][0] = detector.quadratureSign;
    detectorOutputs[2][0] = detector.correction;
    fire(detectorSum);
    fire(sumToReal);
    loopFilter.input = loopFilterInput[0];
    fire(loopFilter);
    loopFilterOutput[0] = loopFilter.output;
    fire(controlFork);  // branch 1 reaches the oscillator on the next sample
    return fire.Succeeded();
}

bool ClockRecoverySection::FireLazily() {
    const double phase = oscillator.AdvancePhase();
    const bool wavesKnown = !oscillator.EmitInPhaseClockOnly(phase);
    if (wavesKnown) oscillator.EmitWaves(phase);

    bool inPhaseKnown = wavesKnown;
    double inPhase = wavesKnown ? oscillator.inPhaseOutput[0] : 0.0;
    const double data = detectorInputs[2][0];
    detector.dataInput = data;
    if (detector.IsTransition(data)) {
        if (!inPhaseKnown) inPhase = oscillator.InPhaseAt(phase);
        inPhaseKnown = true;
        SettleShifterInput();
        const double quadrature = Delay::QuarterPeriodLater(inPhase, shifter.previousInput);
        detector.Latch(PFD::SignOf(inPhase), PFD::SignOf(quadrature));
    }
    detector.Hold(data);
    shifter.previousInputPending = !inPhaseKnown;
    if (inPhaseKnown) {
        shifter.previousInput = inPhase;
    } else {
        shifter.previousInputPhase = phase;
    }

    // The detector sum is -2..2, far from wrapping; the loop filter takes it as a real number.
    loopFilter.input = static_cast<double>(detector.inPhaseSign + detector.correction);
    const bool ok = loopFilter.LoopFilter::Run();
    loopFilterOutput[0] = loopFilter.output;
    controlFork.output[1][0] = loopFilter.output;  // reaches the oscillator on the next sample
    return ok;
}
