#pragma once

#include <cstddef>

#include "dsp/TimeResponseFIR.h"
#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"
#include "runtime/MultiArray.h"

// Equaliser whose impulse response is one column of a bank of sampled responses, chosen sample by sample
// through SelectionIndex. A change of index rebuilds the filter's taps from the new column while the
// filter's history stays in place, so the setting can switch in the middle of a waveform.
class CustomFIR_select_inp : public Velmora::DFModel {
public:
    Velmora::CircularBuffer<double> input;   // waveform in, one sample per firing
    Velmora::CircularBuffer<double> output;  // equalised waveform out, one sample per firing

    int ResponseType = Velmora::TimeResponseFIR::ImpulseResponse;  // handed to the filter
    // PointsPerResponse by NumberOfResponses, first index fastest: column j is response j, one value per
    // time stamp (an impulse response density [1/s]).
    Velmora::MultiArray<double> ResponseBank;
    Velmora::MultiArray<double> TimeStamps;  // [s], strictly ascending; the first PointsPerResponse are used
    double SampleRate = 1e11;                // simulation samples per second, > 0
    int PointsPerResponse = 500;             // values taken from a column and from the time stamps, >= 4
    int NumberOfResponses = 1;               // selection indexes 1..NumberOfResponses pick a column
    int SelectionIndex = 0;                  // written before every Run; 1-based, out of range picks column 0
    int loadedIndex = 1;                     // the selection index the filter's taps were last built for

    Velmora::TimeResponseFIR filter;
    double* feedInStorage = nullptr;  // one sample shared by feedIn and filter.input
    Velmora::CircularBuffer<double> feedIn;
    double* feedOutStorage = nullptr;  // one sample shared by feedOut and filter.output
    Velmora::CircularBuffer<double> feedOut;

    CustomFIR_select_inp();
    CustomFIR_select_inp(const CustomFIR_select_inp&) = delete;
    CustomFIR_select_inp& operator=(const CustomFIR_select_inp&) = delete;
    ~CustomFIR_select_inp() override;

    // Builds the filter's taps from the column chosen by the present SelectionIndex.
    bool Setup() override;
    // Joins the feeds to the filter and clears the filter's history.
    bool Initialize() override;
    // Rebuilds the taps first when SelectionIndex differs from loadedIndex, then filters one sample.
    // Returns false without touching the output when Setup or Initialize has not been done.
    bool Run() override;
    bool Finalize() override;

    // Whole blocks ahead: BeginBlock filters n <= FIR kBlockSamples input samples with the present taps;
    // each of the next n Runs then takes its output from there (ignoring `input`, which must carry the
    // same samples), and a change of SelectionIndex recomputes the rest of the block from that firing on.
    // EndBlock commits the firings to the history. Without the filter's block interface (its Reference
    // path) BeginBlock returns false and Run filters sample by sample.
    bool BeginBlock(const double* in, std::size_t n);
    void EndBlock(std::size_t fired);
    // The block's outputs, valid from the firing where the taps last changed on.
    const double* BlockOutput() const { return filter.BlockOutput(); }
    // True when the last Run rebuilt the taps in the middle of a block.
    bool SwitchedInBlock() const { return switchedInBlock; }
    bool SelectPath(Velmora::FirPath path) { return filter.SelectPath(path); }

private:
    bool inBlock = false;
    bool switchedInBlock = false;
    std::size_t blockCursor = 0;  // firings of the present block so far

    void CopyColumn(int selection, double* destination, std::size_t count) const;
    void ReleaseFilterArrays();
    void ReleaseFeeds();
};
