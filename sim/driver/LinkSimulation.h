#pragma once

#include <string>

#include "sim/SimResults.h"
#include "sim/driver/SimOptions.h"

namespace ksim {

// Runs the IBIS-AMI time-domain flow: PRBS bits, NRZ at the sample rate, the transmitter's AMI_GetWave,
// the channel, optional noise, and two receiver instances in lockstep (Rx_config 1 for the equalised signal
// and falling clock edges, Rx_config 0 for the decisions and rising clock edges). Each receiver runs in a
// directory of its own inside the run folder, where it writes its "adapt.txt". Fills the run's settings,
// channel and init messages into the report; throws std::runtime_error with a clear message on bad input.
// The run is judged as it goes (adaptation, clock, eye and BER; see LinkAnalysis), so memory does not grow
// with the number of bits; with --csv the waveforms and clock times are written to the run folder as they
// come.
void RunLink(const SimOptions& options, const std::string& runFolder, RunReport& report);

}  // namespace ksim
