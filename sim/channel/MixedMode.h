#pragma once

// Differential through response of a multi-port S-parameter block.
//
// With the input pair (ip, in) and the output pair (op, on), driving the input differentially and
// reading the output differentially gives
//     SDD21 = 0.5 (S_op,ip - S_op,in - S_on,ip + S_on,in).
// A 2-port is taken as one through path already (single-ended or differential): its S21 is returned and
// the port map is not consulted.

#include <complex>
#include <vector>

#include "sim/channel/Touchstone.h"

namespace ksim {

// 1-based ports of the differential input and output pairs; four distinct ports of the file.
struct PortMap {
    int inPositive = 1;
    int inNegative = 3;
    int outPositive = 2;
    int outNegative = 4;
};

// SDD21 at every frequency point of `data` (S21 for a 2-port). Throws std::runtime_error for a port map
// that does not fit the file, or a 1- or 3-port file.
std::vector<std::complex<double>> MixedModeSdd21(const TouchstoneData& data, const PortMap& map = PortMap());

}  // namespace ksim
