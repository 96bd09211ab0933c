#pragma once

#include "sim/driver/SimOptions.h"

namespace ksim {

// Reads the command line into options. Returns false when the program should exit at once with the given
// code (help shown, or a bad option explained on standard error).
bool ParseCommandLine(int argc, char** argv, SimOptions& options, int& exitCode);

}  // namespace ksim
