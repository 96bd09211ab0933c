#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/sim/SimResults.h"
#include "tools/sim/driver/SimOptions.h"

namespace ksim {

// The waveforms and clock times of one run, kept for the analysis and the optional CSV files.
struct LinkWaves {
    std::vector<int> sentBits;
    std::vector<double> rxInput;         // channel output plus noise [V] (kept only when CSV is wanted)
    std::vector<double> equalised;       // receiver output with Rx_config 1 [V]
    std::vector<double> decisions;       // receiver output with Rx_config 0 (±0.5) [V]
    std::vector<double> fallingEdges;    // clock times of the Rx_config 1 receiver [s]
    std::vector<double> risingEdges;     // clock times of the Rx_config 0 receiver [s]
    std::vector<std::size_t> traceLineSamples;  // sample index at which each adaptation trace line appeared
};

// Runs the IBIS-AMI time-domain flow: PRBS bits, NRZ at the sample rate, the transmitter's AMI_GetWave,
// the channel, optional noise, and two receiver instances in lockstep (Rx_config 1 for the equalised signal
// and falling clock edges, Rx_config 0 for the decisions and rising clock edges). Each receiver runs in a
// directory of its own inside the run folder, where it writes its "adapt.txt". Fills the run's settings,
// channel and init messages into the report; throws std::runtime_error with a clear message on bad input.
void RunLink(const SimOptions& options, const std::string& runFolder, RunReport& report, LinkWaves& waves);

// Judges the run from its waves and the receiver's trace: adaptation, clock, eye and BER.
void AnalyseLink(const SimOptions& options, const std::string& runFolder, const LinkWaves& waves, RunReport& report);

}  // namespace ksim
