#pragma once

#include <memory>

#include "ami/AmiModelBinding.h"
#include "ami/AmiParameterSpec.h"
#include "dsp/TimeResponseFIR.h"
#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"
#include "tx/tx_fir_new.h"

// The transmitter model: each simulator sample passes through the transmitter's stored analog impulse
// response and then through the three-tap FFE, which limits its input to ±0.5 V.
class kelvane_tx final : public Velmora::DFModel {
public:
    static constexpr const char* kRootName = "kelvane_tx";
    // The FFE's taps are this many samples apart whatever the simulator's sample interval: one unit
    // interval at the nominal 32 samples per bit.
    static constexpr int kFfeTapSpacingSamples = 32;
    static AmiParameterTable<kelvane_tx> AmiParameters();

    Velmora::CircularBuffer<double> input;   // external input port, one sample per Run
    Velmora::CircularBuffer<double> output;  // external output port, one sample per Run

    double samplesPerBit = 32.0;               // samples per unit interval, written by AMI_Init
    double bitTime = 3.571428571428571e-11;    // unit interval [s], written by AMI_Init

    // AMI parameters, held as double and truncated toward zero when handed to the FFE.
    double c0;        // main-cursor setting, 0..31
    double c1;        // post-cursor setting, 0..15
    double cm1;       // pre-cursor setting, 0..15
    double c0_sign;   // 0 makes the main weight negative
    double c1_sign;   // 1 makes the post weight positive
    double cm1_sign;  // 1 makes the pre weight positive

    tx_fir_new ffe;
    Velmora::CircularBuffer<double> ffeIn;   // model-side view of the response-to-FFE connection
    Velmora::CircularBuffer<double> ffeOut;  // model-side view of the FFE-to-output connection
    Velmora::TimeResponseFIR response;       // the stored response

    kelvane_tx();
    ~kelvane_tx() override;
    kelvane_tx(const kelvane_tx&) = delete;
    kelvane_tx& operator=(const kelvane_tx&) = delete;

    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    bool Finalize() override;

    // n samples through the model in place, as n Runs through the ports would give them; false at the
    // first firing that fails. The stored response filters whole blocks ahead unless its Reference path is
    // selected.
    bool RunBlock(double* wave, std::size_t n);
    // The arithmetic of the stored response's filter (Reference: sample by sample); false for a path that
    // this build or processor lacks.
    bool SelectPath(Velmora::FirPath path) { return response.SelectPath(path); }

    // AMI layer hooks.
    static constexpr auto AmiBinding() {
        return ami_model::Bind(&kelvane_tx::bitTime, &kelvane_tx::samplesPerBit, &kelvane_tx::input,
                               &kelvane_tx::output, nullptr);
    }

private:
    void ReleaseLinks();
    void ReleaseResponseArrays();

    double* linkInData = nullptr;   // input-to-response connection
    Velmora::CircularBuffer<double> linkIn;
    double* linkOutData = nullptr;  // FFE-to-output connection
    Velmora::CircularBuffer<double> linkOut;
    double* linkMidData = nullptr;  // response-to-FFE connection
    double* responseValues = nullptr;      // the response block's copy of the stored values
    double* responseTimeStamps = nullptr;  // the response block's copy of the stored times (normalised in place)
};
