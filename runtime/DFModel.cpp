#include "runtime/DFModel.h"

#include <cstdio>

namespace Velmora {

void DFModel::ReportError(const std::string& message) {
    // One write per line so that lines of blocks running on other threads do not interleave within a line.
    std::string line = message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace Velmora
