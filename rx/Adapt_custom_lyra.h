#pragma once

#include "runtime/CircularBuffer.h"
#include "runtime/CircularBufferBus.h"
#include "runtime/DFModel.h"
#include "rx/DfeTapClimb.h"

// Adaptation engine of the receiver. In a request-and-measure cycle with the eye-opening monitor it first
// sweeps the equaliser over the entries of the EQ table (CTLEAdapt), then hill-climbs the five DFE taps one
// at a time in steps of DFElsb (DFEAdapt, see DfeTapClimb); both judge a setting by its EyeMerit. Every
// measurement adds a line to the trace file before the step it causes.
class Adapt_custom_lyra : public Velmora::DFModel {
public:
    static constexpr int kTaps = DfeTapClimb::kTaps;
    static constexpr int kSweepSlots = 32;  // room for every measured equaliser index

    Velmora::CircularBuffer<int> startInput;       // input 1: 0, then 1 once the clock loop has settled
    Velmora::CircularBuffer<int> doneInput;        // input 2: the eye monitor's done flag
    Velmora::CircularBuffer<double> heoInput;      // input 3: horizontal opening [UI]
    Velmora::CircularBuffer<double> veoInput;      // input 4: vertical opening [V]
    Velmora::CircularBuffer<int> echoInput;        // input 5: the request, delayed by the owner
    Velmora::CircularBufferBusT<Velmora::CircularBuffer<double>> tapOutputs;  // tap weights 1 to 5, width 5
    Velmora::CircularBuffer<int> selectOutput;     // output 2: 1-based selection index of the equaliser
    Velmora::CircularBuffer<int> requestOutput;    // output 3: 1 asks the eye monitor to clear and wait
    Velmora::CircularBuffer<int> sweepDoneOutput;  // output 4: 1 once the equaliser setting is final
    Velmora::CircularBuffer<int> spareOutput;      // output 5: never written

    int DFEAdapt = 1;        // 1 adapts the DFE taps; 0 keeps them fixed
    int CTLEAdapt = 1;       // 1 sweeps the equaliser; 0 keeps it at CTLE
    int SweepMode = 0;       // 1 sweeps 5 candidates, any other value 15
    int CTLE = 0;            // EQ table index used while CTLEAdapt is 0; limited to the table
    int Tap1Limit = 31;      // bound of tap 1 [DFElsb steps], >= 0
    int TapLimit = 15;       // bound of taps 2 to 5 [DFElsb steps], >= 0
    int DFEtap1 = 0;         // start or fixed value of tap 1 [DFElsb steps]
    int DFEtap2 = 0;         // fixed value of tap 2 [DFElsb steps]
    int DFEtap3 = 0;
    int DFEtap4 = 0;
    int DFEtap5 = 0;
    double DFElsb = 0.01;    // tap step, in units of the DFE input signal
    int VGA_GAIN = 0;        // 1 adds 256 to the selection index; Initialize limits it to 0..1
    int EQ_HIGAIN = 0;       // 1 adds 512 to the selection index; Initialize limits it to 0..1
    const double* EqTable = nullptr;  // equaliser code by table index; owned by the model
    int EqTableLength = 0;   // entries of EqTable; without entries the code is 0

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;

private:
    // EqualiserSelectionIndex for the present gain controls and equaliser index.
    int SelectionIndex() const;
    void Start();
    void SweepStep(double heo, double veo);
    void DfeStep(double heo, double veo);
    void WriteTraceLine(double heo, double veo) const;
    double EqCode(int index) const;

    double sweepVeo[kSweepSlots];
    double sweepHeo[kSweepSlots];
    double sweepMerit[kSweepSlots];
    int candidates = 0;
    double bestMerit = 0.0;
    int sweepDone = 0;
    DfeTapClimb climb;          // the DFE taps and their search
    DfeTapClimb::Limits climbLimits;  // from DFElsb, Tap1Limit and TapLimit
    int dfeDone = 0;
    double merit = 0.0;         // of the latest DFE step
    double previousMerit = 0.0; // of the DFE step before it
    int previousEcho = 0;
    int previousDone = 0;
    int previousStart = 0;
    int request = 1;
    int equaliserIndex = 0;
    int active = 0;             // 1 while an adaptation is under way
};
