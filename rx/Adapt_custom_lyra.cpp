#include "rx/Adapt_custom_lyra.h"

#include <algorithm>

#include "runtime/UnitRates.h"
#include "rx/AdaptTraceFile.h"
#include "rx/ControlEdges.h"
#include "rx/EqualiserSelection.h"

using control_edges::Rises;

bool Adapt_custom_lyra::Setup() {
    tapOutputs.SetBusWidth(kTaps);
    Velmora::SetUnitRates(startInput, doneInput, heoInput, veoInput, echoInput, tapOutputs, selectOutput,
                          requestOutput, sweepDoneOutput, spareOutput);
    return true;
}

bool Adapt_custom_lyra::Initialize() {
    std::fill_n(sweepVeo, kSweepSlots, 0.0);
    std::fill_n(sweepHeo, kSweepSlots, 0.0);
    std::fill_n(sweepMerit, kSweepSlots, 0.0);

    climbLimits = DfeTapClimb::Limits::InSteps(DFElsb, Tap1Limit, TapLimit);
    climb = DfeTapClimb();
    climb.taps[0] = DFEtap1 * DFElsb;

    candidates = 0;
    bestMerit = 0.0;
    sweepDone = 0;
    dfeDone = 0;
    merit = 0.0;
    previousMerit = 0.0;
    previousEcho = 0;
    previousDone = 0;
    previousStart = 0;
    request = 1;
    equaliserIndex = 0;
    active = 0;

    EQ_HIGAIN = std::min(std::max(EQ_HIGAIN, 0), 1);
    VGA_GAIN = std::min(std::max(VGA_GAIN, 0), 1);

    AppendToAdaptTrace(kAdaptTraceHeader, sizeof kAdaptTraceHeader - 1);
    return true;
}

bool Adapt_custom_lyra::Finalize() { return true; }

bool Adapt_custom_lyra::Run() {
    const int start = startInput[0];
    const int done = doneInput[0];
    const double heo = heoInput[0];
    const double veo = veoInput[0];
    const int echo = echoInput[0];

    if (CTLEAdapt == 0) {
        equaliserIndex = EqTableLength > 0 ? std::min(std::max(CTLE, 0), EqTableLength - 1) : 0;
    }
    if (DFEAdapt == 0) {
        climb.taps[1] = DFEtap2 * DFElsb;
        climb.taps[2] = DFEtap3 * DFElsb;
        climb.taps[3] = DFEtap4 * DFElsb;
        climb.taps[4] = DFEtap5 * DFElsb;
    }

    if (Rises(previousStart, start)) Start();

    if (Rises(previousDone, done)) {
        // The line records the settings under which the measurement was made, before the step moves them.
        WriteTraceLine(heo, veo);
        if (sweepDone == 0 && CTLEAdapt == 1) {
            SweepStep(heo, veo);
        } else if (sweepDone == 1 && dfeDone == 0 && DFEAdapt == 1) {
            DfeStep(heo, veo);
        }
    }

    if (Rises(previousEcho, echo)) request = active == 0 ? 1 : 0;

    requestOutput[0] = request;
    sweepDoneOutput[0] = sweepDone;
    selectOutput[0] = SelectionIndex();
    for (int i = 0; i < kTaps; ++i) tapOutputs[i][0] = climb.taps[i];

    previousStart = start;
    previousDone = done;
    previousEcho = echo;
    previousMerit = merit;
    return true;
}

void Adapt_custom_lyra::Start() {
    if (CTLEAdapt == 1 || DFEAdapt == 1) active = 1;
    if (CTLEAdapt == 0) sweepDone = 1;
    if (DFEAdapt == 0) dfeDone = 1;
    bestMerit = 0.0;
    request = 0;
    candidates = SweepMode == 1 ? 5 : 15;
}

void Adapt_custom_lyra::SweepStep(double heo, double veo) {
    if (equaliserIndex >= 0 && equaliserIndex < kSweepSlots) {
        sweepVeo[equaliserIndex] = veo;
        sweepHeo[equaliserIndex] = heo;
    }
    equaliserIndex = equaliserIndex + 1;
    request = 1;
    if (equaliserIndex != candidates + 1) return;

    // The sweep measured indexes 0 to candidates; the last measurement is not a candidate. Ties go to the
    // higher index.
    sweepDone = 1;
    for (int k = 0; k < candidates; ++k) {
        sweepMerit[k] = EyeMerit(sweepHeo[k], sweepVeo[k]);
        if (sweepMerit[k] >= bestMerit) {
            equaliserIndex = k;
            bestMerit = sweepMerit[k];
        }
    }
}

void Adapt_custom_lyra::DfeStep(double heo, double veo) {
    merit = EyeMerit(heo, veo);
    if (climb.Over()) return;
    climb.Step(climb.GoesOn(merit, previousMerit), climbLimits);
    request = 1;
    if (climb.endedByStepBack) {
        dfeDone = 1;
        active = 0;
    }
}

double Adapt_custom_lyra::EqCode(int index) const {
    if (EqTable == nullptr || EqTableLength <= 0) return 0.0;
    return EqTable[std::min(std::max(index, 0), EqTableLength - 1)];
}

int Adapt_custom_lyra::SelectionIndex() const {
    return EqualiserSelectionIndex(VGA_GAIN, EQ_HIGAIN, EqCode(equaliserIndex));
}

void Adapt_custom_lyra::WriteTraceLine(double heo, double veo) const {
    AdaptTraceRecord record;
    record.vgaGain = VGA_GAIN;
    record.eqHighGain = EQ_HIGAIN;
    record.equaliserIndex = equaliserIndex;
    record.equaliserCode = static_cast<long long>(SelectionIndex()) - 1;
    for (int i = 0; i < kTaps; ++i) record.taps[i] = climb.taps[i];
    record.heo = heo;
    record.veo = veo;
    const FormattedAdaptTraceLine line(record);
    AppendToAdaptTrace(line.Text(), line.Length());
}
