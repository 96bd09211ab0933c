#include "rx/ClockRecoverySection.h"

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
