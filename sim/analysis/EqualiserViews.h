#pragma once

// The receiver's equaliser as the run used it: the frequency responses of the channel, of the sixteen
// EQ_TABLE settings and of the chosen one, of channel and equaliser together, and the channel's pulse
// response before and after the chosen equaliser. The equaliser's taps come from the receiver's own
// equaliser block, resampled at the run's sample rate exactly as the receiver filters with them, and its
// settings map to bank columns through the receiver's own selection rule.

#include <string>
#include <vector>

#include "sim/SimResults.h"

namespace ksim {

struct EqualiserSetting {
    int tableIndex = 0;          // EQ_TABLE index, 0..15
    double code = 0;             // the entry as the receiver applies it
    int selection = 0;           // 1-based selection index the receiver computes from the code and gain bits
    int column = 0;              // bank column the equaliser filters with (its first for a selection outside)
    bool outsideBank = false;    // the selection lies outside the bank
    double dcGainDb = 0;         // [dB]
    double nyquistGainDb = 0;    // at half the bit rate [dB]
    std::vector<double> gainDb;  // at EqualiserViews::frequencyHz [dB]
};

struct EqualiserViews {
    bool available = false;
    std::string reason;                  // why not, when not available
    int vgaGain = 0, eqHighGain = 0;     // the gain bits as applied, 0 or 1
    std::vector<double> frequencyHz;     // the channel's insertion-loss frequencies
    std::vector<double> channelDb;       // channel gain [dB], the negated insertion loss
    std::vector<EqualiserSetting> table; // the sixteen EQ_TABLE settings
    int chosen = -1;                     // index into table of the setting the run ended with, -1 if unknown
    std::vector<double> combinedDb;      // channel plus chosen equaliser [dB]; empty without a chosen one
    double sampleInterval = 0;           // of the pulses [s]
    double samplesPerUi = 0;
    std::vector<double> pulseBefore;     // the channel's response to one bit of +1 V [V], per sample
    std::vector<double> pulseAfter;      // the same through the chosen equaliser [V]; empty without one
};

// |sum over k of h_k exp(-j 2 pi f k dt)| in dB at each frequency: the gain of taps h spaced dt [s] apart
// (dt > 0). Zero gain gives -inf.
std::vector<double> FirGainDb(const std::vector<double>& taps, double dt, const std::vector<double>& frequencyHz);

// Everything above from a run's report: its applied receiver parameters (EQ_TABLE.*, VGA_GAIN, EQ_HIGAIN,
// CTLE, CTLEAdapt), its adaptation's chosen entry, its bit time, samples per bit and channel. Not available
// (with the reason) when the report lacks the sample rate or the table.
EqualiserViews ComputeEqualiserViews(const RunReport& report);

}  // namespace ksim
