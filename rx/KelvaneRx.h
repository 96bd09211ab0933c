#pragma once

#include <array>
#include <memory>
#include <string>

#include "ami/AmiModelBinding.h"
#include "ami/AmiParameterSpec.h"
#include "dsp/ClockTimes.h"
#include "runtime/CircularBuffer.h"
#include "runtime/ConstUnTimed.h"
#include "runtime/DFModel.h"
#include "runtime/Fork.h"
#include "runtime/Gain.h"
#include "runtime/MultiArray.h"
#include "runtime/Mux.h"
#include "runtime/TypeConverter.h"
#include "rx/Adapt_custom_lyra.h"
#include "rx/ClockRecoverySection.h"
#include "rx/CtleBank.h"
#include "rx/DFE_custom.h"
#include "rx/EOM_custom_lyra.h"
#include "rx/EqualiserSection.h"
#include "rx/NClockDelay.h"
#include "rx/vga_gain.h"

// The receiver model: equaliser, gain stage and DFE on the data path; oscillator, quadrature shifter,
// phase detector and loop filter recovering the clock; eye-opening monitor and adaptation engine choosing
// the equaliser setting and the DFE taps. One Run consumes one input sample.
class kelvane_rx final : public Velmora::DFModel {
public:
    static constexpr const char* kRootName = "kelvane_rx";
    static constexpr int kEqTableLength = 16;
    static constexpr int kArcs = 64;
    // The adaptation's schedule: it starts after the loop has settled for kStartGateClocks clock periods;
    // each eye measurement then takes EOM_window clock periods plus one, and the request for the next one
    // returns to the engine kRequestEchoSamples samples after the previous measurement ended.
    static constexpr int kStartGateClocks = 5000;
    static constexpr std::size_t kRequestEchoSamples = 16000;
    // The adaptation's search: the sweep measures all kEqTableLength table indexes and chooses among the
    // first kSweepCandidates; the DFE has kDfeTaps taps, tap 1 bounded by DFETap1Limit, the others by
    // kTapBound, both in DFElsb steps.
    static constexpr int kSweepCandidates = kEqTableLength - 1;
    static constexpr int kDfeTaps = 5;
    static constexpr int kTapBound = 15;
    // Equaliser codes per gain group of the response bank: the selection index is
    // kEqualiserCodes * (VGA_GAIN + 2 * EQ_HIGAIN) + code + 1.
    static constexpr int kEqualiserCodes = kCtleBankCodes;
    static AmiParameterTable<kelvane_rx> AmiParameters();

    // External ports, each given one element of storage by the AMI layer.
    Velmora::CircularBuffer<double> inputPort;     // input waveform sample [V]
    Velmora::CircularBuffer<double> clockPort;     // clock time [s], or -1.0 without a clock edge
    Velmora::CircularBuffer<double> outputPort;    // output waveform sample [V]
    Velmora::CircularBuffer<float> decisionPort;   // the DFE decision times 0.5
    Velmora::CircularBuffer<double> tickPort;      // the oscillator's clock as 0.0 or 1.0

    double bitTime = 3.571428571428571e-11;  // unit interval [s], written by AMI_Init
    int samplesPerBit = 16;                  // written by AMI_Init

    // AMI parameters, in reading order; the table in KelvaneRxParameters.cpp gives defaults and meaning.
    int Rx_config;
    int Factor;
    double VCO_Sensitivity;
    int CTLE;
    int DFEAdapt;
    int DFEtap1;
    int DFEtap2;
    int DFEtap3;
    int CTLEAdapt;
    int EOM_window;
    double VerticalEyeRes;
    double EOMAmplitude;
    double DFElsb;
    double DFEtap4;
    double DFEtap5;
    double EQ_HIGAIN;
    double VGA_GAIN;
    Velmora::MultiArray<int> EQ_TABLE;
    double DFETap1Limit;
    double EOMaxAmp;

    kelvane_rx();
    ~kelvane_rx() override;
    kelvane_rx(const kelvane_rx&) = delete;
    kelvane_rx& operator=(const kelvane_rx&) = delete;

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;

    // The equaliser and the gain stage run a whole block ahead of the rest of the network: BeginBlock
    // filters the block's n <= 1024 samples, the next n Runs take the results, and an equaliser switch by
    // the adaptation engine recomputes them from the firing where it takes effect; EndBlock ends the block
    // after `fired` Runs. Nothing happens ahead when the equaliser's Reference path is selected.
    void BeginBlock(const double* wave, std::size_t n);
    void EndBlock(std::size_t fired);
    // The arithmetic of the equaliser's filter. Reference also fires every block of the network on every
    // sample; the other paths skip the firings whose results nobody reads (see Run). False for a path that
    // this build or processor lacks.
    bool SelectPath(Velmora::FirPath path) {
        if (!equaliserSection.equaliser.SelectPath(path)) return false;
        referenceFiring = path == Velmora::FirPath::Reference;
        return true;
    }

    // AMI layer hooks.
    // AMI_Init's note on a Factor above 1: the clock then ticks Factor times per bit, more than the clock-time
    // array a call may fill (floor(n / samples per bit) + 3 entries with the terminator) can hold.
    void AppendInitNotes(std::string& text) const;
    static constexpr auto AmiBinding() {
        return ami_model::Bind(&kelvane_rx::bitTime, &kelvane_rx::samplesPerBit, &kelvane_rx::inputPort,
                               &kelvane_rx::outputPort, &kelvane_rx::clockPort, &kelvane_rx::decisionPort,
                               &kelvane_rx::tickPort);
    }

    // Sections.
    EqualiserSection equaliserSection;
    ClockRecoverySection clockRecovery;

    // Direct members.
    Velmora::ClockTimes risingClockTimes;
    Velmora::ClockTimes fallingClockTimes;
    DFE_custom dfe;
    NClockDelay clockDelay;  // start gate of the adaptation engine
    vga_gain gainStage;
    Velmora::CircularBuffer<double> gainInput;
    Velmora::CircularBuffer<double> gainOutput;
    EOM_custom_lyra eyeMonitor;
    Adapt_custom_lyra adaptation;
    Velmora::ScalarToScalar<double, int, Velmora::TypeConverterRound> outputSelectConverter;
    Velmora::ScalarToScalar<double, int, Velmora::TypeConverterRound> clockSelectConverter;
    Velmora::ScalarToScalar<double, int, Velmora::TypeConverterRound> enableConverter;
    Velmora::ScalarToScalar<int, float, Velmora::TypeConverterAssign> decisionToFloat;
    Velmora::ScalarToScalar<int, double, Velmora::TypeConverterAssign> risingTickToReal;   // to the rising clock times
    Velmora::ScalarToScalar<int, double, Velmora::TypeConverterAssign> fallingTickToReal;  // to the falling clock times
    Velmora::ScalarToScalar<int, double, Velmora::TypeConverterAssign> tickPortToReal;     // to the tick port
    Velmora::ScalarToScalar<float, double, Velmora::TypeConverterAssign> halfDecisionToReal;
    Velmora::ConstUnTimed<double> enableConstant;
    Velmora::Fork<double> equalisedFork;
    Velmora::Mux<double> outputMux;
    Velmora::CircularBuffer<int> outputSelect;
    Velmora::ConstUnTimed<double> clockSelectConstant;
    Velmora::Mux<double> clockMux;
    Velmora::CircularBuffer<int> clockSelect;
    Velmora::ConstUnTimed<double> outputSelectConstant;
    Velmora::Gain<float> decisionGain;
    Velmora::Fork<float> decisionFork;
    Velmora::Fork<int> adaptationFork;
    Velmora::Fork<int> tickFork;

    // Relays between the network and the external ports.
    Velmora::CircularBuffer<double> inputRelay;
    Velmora::CircularBuffer<double> clockRelay;
    Velmora::CircularBuffer<double> outputRelay;
    Velmora::CircularBuffer<float> decisionRelay;
    Velmora::CircularBuffer<double> tickRelay;

private:
    void JoinArcs();
    void ReleaseArcs();
    // One lifecycle operation on every block (or every converter), even after a failure; true when all succeed.
    template <typename Operation>
    bool ForEveryBlock(Operation operation);
    template <typename Operation>
    bool ForEveryConverter(Operation operation);
    template <typename T>
    void Join(int arc, std::size_t capacity, std::size_t initialTokens, Velmora::CircularBuffer<T>& writer,
              std::initializer_list<Velmora::CircularBuffer<T>*> readers);

    std::array<void*, kArcs> arcStorage{};  // storage of arc n at index n - 1, owned by the model
    std::unique_ptr<double[]> eqTableReals;  // EQ_TABLE as reals, lent to the adaptation engine

    bool referenceFiring = false;  // every block fires on every sample (the reference path)
    bool settingsFired = false;    // the setting constants have fired since Initialize
    std::unique_ptr<double[]> gainAhead;  // the gain stage's outputs of the present block
    std::size_t aheadLength = 0;          // samples in the present block; 0 outside a block
    std::size_t aheadCursor = 0;          // Runs of the present block so far
};
