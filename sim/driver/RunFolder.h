#pragma once

#include <string>

#include "sim/SimResults.h"
#include "sim/driver/SimOptions.h"

namespace ksim {

// The folder one run writes into, held for the run's length. A folder named by the user is reused (the
// outputs of an earlier run in it are removed first); the default name is taken only if no folder of that
// name exists yet, otherwise "-2", "-3", ... is appended, so that runs started in the same second never
// share a folder. While a run holds a folder, another run asked to use it is refused. A run that fails
// removes the folder when it created it, or the receiver folders it created in a reused one.
class RunFolder {
public:
    // userPath: the folder the user named, or empty for defaultBase (e.g. "runs/20260101-120000").
    // Throws std::runtime_error with the reason when the folder cannot be made or is in use.
    RunFolder(const std::string& userPath, const std::string& defaultBase);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::string& path() const { return path_; }  // absolute
    void Keep() { keep_ = true; }                       // the run succeeded: leave everything in place

private:
    std::string path_;
    bool created_ = false;
    bool keep_ = false;
    int lock_ = -1;
};

// Names of the files and folders a run writes into its folder; an earlier run's copies are removed.
extern const char* const kRunOutputs[];

// Writes the summary, images, plots, the HTML report and, when asked, the waveforms as CSV.
void WriteRunFolder(const SimOptions& options, const std::string& folder, const RunReport& report);

// A few lines on standard output: the verdict and where the report is.
void PrintSummary(const RunReport& report, const std::string& folder);

}  // namespace ksim
