#pragma once

// The kit's IBIS file (.ibs): the component kelvane_repeater with one differential transmitter pair, one
// differential receiver pair and their supply pins, and the two buffer models whose [Algorithmic Model]
// sections name the model libraries and their .ami files. The analog data describe ideal buffers (a
// 50-ohm driver, a 100-ohm differential termination), enough for a channel simulator to set up the
// analog ends of the link; the behaviour that matters lives in the AMI models.

#include <string>
#include <vector>

namespace kit {

// What one [Algorithmic Model] names: an Executable line's three fields.
struct AlgorithmicModelFiles {
    std::string platform;  // Platform_Compiler_Bits, e.g. "Linux_gcc_64"
    std::string library;   // file name of the shared library, beside the .ibs
    std::string amiFile;   // file name of the parameter file, beside the .ibs
};

struct IbsKit {
    std::string fileName;     // this file's own name, lower case
    std::string ibisVersion;  // [IBIS Ver]
    std::string fileRev;
    std::string generatedBy;  // for the comment at the top
    std::vector<AlgorithmicModelFiles> tx;  // one Executable line each, in this order
    std::vector<AlgorithmicModelFiles> rx;
};

// The whole .ibs text: lines of at most 80 characters, blanks only (no tabs), ending with [End].
std::string RenderIbs(const IbsKit& kit);

}  // namespace kit
