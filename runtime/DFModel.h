#pragma once

#include <string>

namespace Velmora {

// Base of every processing block and of both top-level models. Each lifecycle operation returns true on
// success; the owner calls Setup (possibly again between firings), Initialize once storage is attached,
// Run once per firing and Finalize once at the end.
class DFModel {
public:
    virtual bool Setup() { return true; }
    virtual bool Initialize() { return true; }
    virtual bool Run() { return true; }
    virtual bool Finalize() { return true; }
    // A parameter check that a block may call from its own Initialize; the runtime never calls it.
    virtual bool ValidateParameters() { return true; }
    virtual ~DFModel() = default;

    // Writes one line to standard error and flushes it. Block messages never enter the AMI message text.
    static void ReportError(const std::string& message);
};

}  // namespace Velmora
