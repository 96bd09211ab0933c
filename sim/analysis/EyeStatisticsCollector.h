#pragma once

// The run's statistical views gathered block by block beside the eye: the BER eye (bathtubs, contour, eye
// at 1e-6 and 1e-12) and the data crossings for the jitter; the clock's jitter comes from its edge file.

#include <cstddef>
#include <limits>
#include <string>

#include "sim/SimResults.h"
#include "sim/analysis/BathtubFolder.h"
#include "sim/analysis/Jitter.h"
#include "sim/analysis/Series.h"

namespace ksim {

class EyeStatisticsCollector {
public:
    // spillFolder: where the data crossings are kept (empty: the temporary folder).
    EyeStatisticsCollector(const BathtubFolderSettings& settings, const std::string& spillFolder);

    void SetFrom(double fromTime);  // [s] the count starts here; a later call starts afresh
    void SetUntil(double untilTime);  // [s] the count ends here
    void AddBlock(const double* equalised, std::size_t n, const double* falling, std::size_t edges);
    // Fills report.bathtub and report.jitter; fallingEdges: every falling edge of the run [s].
    void Finish(const Series<double>& fallingEdges, RunReport& report);

private:
    BathtubFolderSettings settings_;
    double from_ = 0.0;
    double until_ = std::numeric_limits<double>::infinity();
    BathtubFolder bathtub_;
    DataCrossings crossings_;
};

}  // namespace ksim
