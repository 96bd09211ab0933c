#include "rx/KelvaneRx.h"

#include <cstddef>

#include "runtime/DirectFiring.h"
#include "runtime/JoinOnNewStorage.h"
#include "runtime/TruncateToInt.h"
#include "runtime/UnitRates.h"
#include "rx/BlockSetup.h"

using Velmora::CircularBuffer;
using Velmora::TruncateToInt;

namespace {

// Constants of the receiver network.
constexpr double kLoopC1 = 1.1e-8;          // [F]
constexpr double kLoopC2 = 5e-11;           // [F]
constexpr double kLoopR = 100.0;            // [Ω]
constexpr double kChargePump = 5e-05;       // [A]
static_assert(kelvane_rx::kDfeTaps == Adapt_custom_lyra::kTaps, "the engine adapts every DFE tap");

// Runs one lifecycle operation of every block in the list, even after a failure, and ANDs the results.
template <typename Operation, typename... Blocks>
bool ForAll(Operation operation, Blocks&... blocks) {
    bool ok = true;
    ((ok = operation(blocks) && ok), ...);
    return ok;
}

}  // namespace

kelvane_rx::kelvane_rx() { ApplyParameterDefaults(*this, AmiParameters()); }

kelvane_rx::~kelvane_rx() { ReleaseArcs(); }

bool kelvane_rx::Setup() {
    eqTableReals.reset();
    bool ok = true;

    equaliserSection.samplesPerBit = static_cast<double>(samplesPerBit);
    equaliserSection.bitTime = bitTime;
    ok = equaliserSection.Setup() && ok;

    clockRecovery.C1 = kLoopC1;
    clockRecovery.C2 = kLoopC2;
    clockRecovery.R = kLoopR;
    clockRecovery.Icp = kChargePump;
    clockRecovery.samplesPerBit = static_cast<double>(samplesPerBit);
    clockRecovery.Factor = static_cast<double>(Factor);
    clockRecovery.VCO_Sensitivity = VCO_Sensitivity;
    clockRecovery.initialPhase = 0.0;
    clockRecovery.amplitude = 1.0;
    clockRecovery.bitTime = bitTime;
    ok = clockRecovery.Setup() && ok;

    for (Velmora::ClockTimes* times : {&risingClockTimes, &fallingClockTimes}) {
        times->EdgeType = times == &risingClockTimes ? 1 : 0;
        times->Interpolate = 0;
        times->SampleInterval = bitTime / samplesPerBit;
        times->TimeOffset = 0.0;
        ok = times->Setup() && ok;
    }

    dfe.tapInputs.SetBusWidth(DFE_custom::kTaps);
    ok = dfe.Setup() && ok;

    clockDelay.delayCount = kStartGateClocks;
    ok = clockDelay.Setup() && ok;

    gainStage.EQ_HIGAIN = TruncateToInt(EQ_HIGAIN);
    gainStage.VGA_GAIN = TruncateToInt(VGA_GAIN);
    ok = gainStage.Setup() && ok;

    eyeMonitor.Window = EOM_window;
    eyeMonitor.SamplesPerBit = samplesPerBit;
    eyeMonitor.Levels = TruncateToInt(VerticalEyeRes);
    eyeMonitor.Amplitude = EOMAmplitude;
    eyeMonitor.MaxAmplitude = EOMaxAmp;
    ok = eyeMonitor.Setup() && ok;

    adaptation.DFEAdapt = DFEAdapt;
    adaptation.CTLEAdapt = CTLEAdapt;
    adaptation.SweepMode = 0;
    adaptation.CTLE = CTLE;
    adaptation.Tap1Limit = TruncateToInt(DFETap1Limit);
    adaptation.TapLimit = kTapBound;
    adaptation.DFEtap1 = DFEtap1;
    adaptation.DFEtap2 = DFEtap2;
    adaptation.DFEtap3 = DFEtap3;
    adaptation.DFEtap4 = TruncateToInt(DFEtap4);
    adaptation.DFEtap5 = TruncateToInt(DFEtap5);
    adaptation.DFElsb = DFElsb;
    adaptation.VGA_GAIN = TruncateToInt(VGA_GAIN);
    adaptation.EQ_HIGAIN = TruncateToInt(EQ_HIGAIN);
    const std::size_t tableLength = EQ_TABLE.total;
    eqTableReals.reset(new double[tableLength == 0 ? 1 : tableLength]());
    for (std::size_t i = 0; i < tableLength; ++i) eqTableReals[i] = static_cast<double>(EQ_TABLE[i]);
    adaptation.EqTable = eqTableReals.get();
    adaptation.EqTableLength = static_cast<int>(tableLength);
    adaptation.tapOutputs.SetBusWidth(Adapt_custom_lyra::kTaps);
    ok = adaptation.Setup() && ok;

    ok = ForEveryConverter([](Velmora::DFModel& block) { return block.Setup(); }) && ok;

    ok = block_setup::Constant(enableConstant, 1.0) && ok;
    ok = block_setup::Fork(equalisedFork, 3) && ok;
    ok = block_setup::Mux(outputMux, 2) && ok;
    ok = block_setup::Constant(clockSelectConstant, static_cast<double>(Rx_config)) && ok;
    ok = block_setup::Mux(clockMux, 2) && ok;
    ok = block_setup::Constant(outputSelectConstant, static_cast<double>(Rx_config)) && ok;
    decisionGain.gain = 0.5f;
    ok = decisionGain.Setup() && ok;
    ok = block_setup::Fork(decisionFork, 2) && ok;
    ok = block_setup::Fork(adaptationFork, 2) && ok;
    ok = block_setup::Fork(tickFork, 6) && ok;

    ami_model::ForEachPort(*this, [](Velmora::CircularBufferBase& port) { Velmora::SetUnitRate(port); });
    return ok;
}

bool kelvane_rx::Initialize() {
    ReleaseArcs();
    JoinArcs();
    gainAhead.reset(new double[Velmora::FIR<double, 0>::kBlockSamples]());
    aheadLength = 0;
    settingsFired = false;
    return ForEveryBlock([](Velmora::DFModel& block) { return block.Initialize(); });
}

bool kelvane_rx::Finalize() {
    const bool ok = ForEveryBlock([](Velmora::DFModel& block) { return block.Finalize(); });
    ReleaseArcs();
    eqTableReals.reset();
    adaptation.EqTable = nullptr;
    adaptation.EqTableLength = 0;
    return ok;
}

template <typename Operation>
bool kelvane_rx::ForEveryConverter(Operation operation) {
    return ForAll(operation, outputSelectConverter, clockSelectConverter, enableConverter, decisionToFloat,
                  risingTickToReal, fallingTickToReal, tickPortToReal, halfDecisionToReal);
}

// The order in which Initialize and Finalize visit the blocks.
template <typename Operation>
bool kelvane_rx::ForEveryBlock(Operation operation) {
    ClockRecoverySection& cr = clockRecovery;
    const bool head = ForAll(operation, risingClockTimes, fallingClockTimes, dfe, equaliserSection.equaliser,
                             clockDelay, cr.shifter, cr.detector, cr.detectorSum, cr.clockFork, cr.oscillator,
                             cr.loopFilter, cr.sumToReal, cr.cosineFork, cr.controlFork, gainStage, eyeMonitor,
                             adaptation);
    const bool converters = ForEveryConverter(operation);
    const bool tail = ForAll(operation, enableConstant, equalisedFork, outputMux, clockSelectConstant, clockMux,
                             outputSelectConstant, decisionGain, decisionFork, adaptationFork, tickFork);
    return head && converters && tail;
}

template <typename T>
void kelvane_rx::Join(int arc, std::size_t capacity, std::size_t initialTokens, CircularBuffer<T>& writer,
                      std::initializer_list<CircularBuffer<T>*> readers) {
    arcStorage[static_cast<std::size_t>(arc - 1)] = Velmora::JoinOnNewStorage(capacity, writer, readers);
    // the reader's first firings read 0 before the writer has fired
    for (CircularBuffer<T>* reader : readers) reader->Clear(0, initialTokens);
}

void kelvane_rx::ReleaseArcs() {
    for (void*& storage : arcStorage) {
        ::operator delete(storage);
        storage = nullptr;
    }
}

// Every arc of the network: arc number, capacity, initial tokens, writer, readers.
void kelvane_rx::JoinArcs() {
    CustomFIR_select_inp& eq = equaliserSection.equaliser;
    ClockRecoverySection& cr = clockRecovery;
    Join<double>(1, 1, 0, inputRelay, {&eq.input});
    Join<double>(2, 1, 0, clockMux.output, {&clockRelay});
    Join<double>(3, 1, 0, outputMux.output, {&outputRelay});
    Join<float>(4, 1, 0, decisionFork.output[1], {&decisionRelay});
    Join<double>(5, 1, 0, tickPortToReal.output, {&tickRelay});
    Join<double>(6, 1, 0, risingClockTimes.output, {&clockMux.input[0]});
    Join<double>(7, 1, 0, fallingClockTimes.output, {&clockMux.input[1]});
    Join<int>(8, 1, 0, dfe.decisionOutput, {&decisionToFloat.input});
    Join<double>(9, 1, 1, dfe.equalisedOutput, {&equalisedFork.input});
    Join<double>(10, 1, 0, eq.output, {&gainInput});
    Join<int>(11, 1, 0, clockDelay.output, {&adaptation.startInput});
    Join<double>(12, 1, 0, cr.shifterOutput, {&cr.detectorInputs[1]});
    Join<int>(13, 1, 0, cr.detectorOutputs[0], {&cr.detectorSum.input[0]});
    Join<int>(14, 1, 0, cr.detectorOutputs[1], {});
    Join<int>(15, 1, 0, cr.detectorOutputs[2], {&cr.detectorSum.input[1]});
    Join<int>(16, 1, 0, cr.detectorSum.output, {&cr.sumToReal.input});
    Join<double>(17, 1, 0, cr.clockFork.output[0], {&cr.shifter.input});
    Join<double>(18, 1, 0, cr.clockFork.output[1], {&cr.detectorInputs[0]});
    Join<double>(19, 1, 0, cr.oscillator.inPhaseOutput, {&cr.cosineFork.input});
    Join<int>(20, 1, 0, cr.oscillator.inPhaseClock, {&tickFork.input});
    Join<double>(21, 1, 0, cr.oscillator.quadratureOutput, {});
    Join<int>(22, 1, 0, cr.oscillator.quadratureClock, {});
    Join<double>(23, 1, 0, cr.loopFilterOutput, {&cr.controlFork.input});
    Join<double>(24, 1, 0, cr.sumToReal.output, {&cr.loopFilterInput});
    Join<double>(25, 1, 0, cr.cosineFork.output[0], {&cr.clockFork.input});
    Join<double>(26, 1, 0, cr.cosineFork.output[1], {});
    Join<double>(27, 1, 0, cr.controlFork.output[0], {});
    Join<double>(28, 1, 1, cr.controlFork.output[1], {&cr.oscillator.input});
    Join<double>(29, 1, 0, gainOutput, {&dfe.signalInput});
    Join<int>(30, 1, 1, eyeMonitor.doneOutput, {&adaptation.doneInput});
    Join<double>(31, 1, 1, eyeMonitor.veoOutput, {&adaptation.veoInput});
    Join<double>(32, 1, 1, eyeMonitor.heoOutput, {&adaptation.heoInput});
    Join<int>(33, 1, 0, adaptation.selectOutput, {&equaliserSection.selectBuffer});
    Join<int>(34, 1, 0, adaptation.requestOutput, {&adaptationFork.input});
    Join<int>(35, 1, 0, adaptation.sweepDoneOutput, {});
    Join<int>(36, 1, 0, adaptation.spareOutput, {});
    Join<double>(37, 1, 0, adaptation.tapOutputs[0], {&dfe.tapInputs[0]});
    Join<double>(38, 1, 0, adaptation.tapOutputs[1], {&dfe.tapInputs[1]});
    Join<double>(39, 1, 0, adaptation.tapOutputs[2], {&dfe.tapInputs[2]});
    Join<double>(40, 1, 0, adaptation.tapOutputs[3], {&dfe.tapInputs[3]});
    Join<double>(41, 1, 0, adaptation.tapOutputs[4], {&dfe.tapInputs[4]});
    Join<int>(42, 1, 0, outputSelectConverter.output, {&outputSelect});
    Join<int>(43, 1, 0, clockSelectConverter.output, {&clockSelect});
    Join<int>(44, 1, 0, enableConverter.output, {&clockDelay.enableInput});
    Join<float>(45, 1, 0, decisionToFloat.output, {&decisionGain.input});
    Join<double>(46, 1, 0, risingTickToReal.output, {&risingClockTimes.input});
    Join<double>(47, 1, 0, fallingTickToReal.output, {&fallingClockTimes.input});
    Join<double>(48, 1, 0, halfDecisionToReal.output, {&outputMux.input[0]});
    Join<double>(49, 1, 0, enableConstant.output, {&enableConverter.input});
    Join<double>(50, 1, 0, equalisedFork.output[0], {&eyeMonitor.dataInput});
    Join<double>(51, 1, 0, equalisedFork.output[1], {&cr.detectorInputs[2]});
    Join<double>(52, 1, 0, equalisedFork.output[2], {&outputMux.input[1]});
    Join<double>(53, 1, 0, clockSelectConstant.output, {&clockSelectConverter.input});
    Join<double>(54, 1, 0, outputSelectConstant.output, {&outputSelectConverter.input});
    Join<float>(55, 1, 0, decisionGain.output, {&decisionFork.input});
    Join<float>(56, 1, 0, decisionFork.output[0], {&halfDecisionToReal.input});
    Join<int>(57, kRequestEchoSamples, kRequestEchoSamples, adaptationFork.output[0], {&adaptation.echoInput});
    Join<int>(58, 1, 0, adaptationFork.output[1], {&eyeMonitor.controlInput});
    Join<int>(59, 1, 0, tickFork.output[0], {&risingTickToReal.input});
    Join<int>(60, 1, 0, tickFork.output[1], {&fallingTickToReal.input});
    Join<int>(61, 1, 0, tickFork.output[2], {&dfe.clockInput});
    Join<int>(62, 1, 0, tickFork.output[3], {&clockDelay.clockInput});
    Join<int>(63, 1, 0, tickFork.output[4], {&tickPortToReal.input});
    Join<int>(64, 1, 0, tickFork.output[5], {&eyeMonitor.clockInput});
}

void kelvane_rx::BeginBlock(const double* wave, std::size_t n) {
    aheadLength = 0;
    aheadCursor = 0;
    if (n == 0 || n > Velmora::FIR<double, 0>::kBlockSamples || !gainAhead) return;
    CustomFIR_select_inp& eq = equaliserSection.equaliser;
    if (!eq.BeginBlock(wave, n)) return;
    gainStage.RunSamples(eq.BlockOutput(), gainAhead.get(), n);
    aheadLength = n;
}

void kelvane_rx::EndBlock(std::size_t fired) {
    equaliserSection.equaliser.EndBlock(fired);
    aheadLength = 0;
    aheadCursor = 0;
}

// One input sample through the network in its fixed firing order. On the reference path every block fires,
// even after a failure. The fast path skips firings whose results nobody reads, which leaves every output
// bit as it is: the three setting constants and their converters fire once after Initialize (their arcs
// keep the values), the clock-recovery loop fires lazily, and only the clock-time block of the selected
// edge fires.
bool kelvane_rx::Run() {
    ClockRecoverySection& cr = clockRecovery;
    CustomFIR_select_inp& eq = equaliserSection.equaliser;
    Velmora::DirectFiring fire;  // every member is of exactly its declared class
    const bool everyBlock = referenceFiring || !settingsFired;
    // Mux input 0 takes the rising edges' times, input 1 the falling ones'; another selection is an error
    // that the mux reports, so both fire then.
    const bool unknownEdge = everyBlock || (clockSelect[0] != 0 && clockSelect[0] != 1);
    const bool risingFires = unknownEdge || clockSelect[0] == 0;
    const bool fallingFires = unknownEdge || clockSelect[0] == 1;

    inputRelay[0] = inputPort[0];
    if (everyBlock) {
        fire(enableConstant);
        fire(enableConverter);
    }
    fire(equalisedFork);  // the DFE's equalised value of the previous sample

    // Clock recovery, on values of the previous sample.
    fire.Record(referenceFiring ? cr.Fire() : cr.FireLazily());

    // Tick, start gate and adaptation; the request returns to its engine through a 16000-sample ring.
    fire(tickFork);
    fire(clockDelay);
    fire(adaptation);
    adaptation.echoInput.Advance();
    fire(adaptationFork);
    adaptationFork.output[0].Advance();
    fire(eyeMonitor);

    // Data path.
    eq.SelectionIndex = equaliserSection.selectBuffer[0];
    fire(eq);
    gainStage.input = gainInput[0];
    if (aheadLength > 0) {
        if (eq.SwitchedInBlock()) {
            gainStage.RunSamples(eq.BlockOutput() + aheadCursor, gainAhead.get() + aheadCursor, aheadLength - aheadCursor);
        }
        gainStage.output = gainAhead[aheadCursor];
        ++aheadCursor;
    } else {
        fire(gainStage);
    }
    gainOutput[0] = gainStage.output;
    fire(dfe);

    fire(tickPortToReal);
    if (fallingFires) fire(fallingTickToReal);
    if (risingFires) fire(risingTickToReal);
    fire(decisionToFloat);
    fire(decisionGain);
    fire(decisionFork);
    fire(halfDecisionToReal);

    // Output and clock-edge selection by Rx_config.
    if (everyBlock) {
        fire(outputSelectConstant);
        fire(outputSelectConverter);
    }
    outputMux.control = outputSelect[0];
    fire(outputMux);
    if (fallingFires) fire(fallingClockTimes);
    if (risingFires) fire(risingClockTimes);
    if (everyBlock) {
        fire(clockSelectConstant);
        fire(clockSelectConverter);
    }
    clockMux.control = clockSelect[0];
    fire(clockMux);
    settingsFired = true;

    clockPort[0] = clockRelay[0];
    outputPort[0] = outputRelay[0];
    decisionPort[0] = decisionRelay[0];
    tickPort[0] = tickRelay[0];
    return fire.Succeeded();
}

void kelvane_rx::AppendInitNotes(std::string& text) const {
    if (Factor <= 1) return;
    text += "Factor ";
    text += std::to_string(Factor);
    text += " above 1 thins the reported clock times: the clock ticks ";
    text += std::to_string(Factor);
    text += " times per bit, but each AMI_GetWave call of n samples reports at most floor(n / samples per bit) + 2 "
            "clock times (the latest ones); the others are not reported. ";
}
