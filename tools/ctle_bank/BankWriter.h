#pragma once

#include <string>
#include <vector>

#include "RealSpectrumTransform.h"

namespace ctle_bank {

// Writes the values as little-endian IEEE doubles whatever the host's byte order. On failure removes the
// partial file and returns false with a message.
bool WriteLittleEndianDoubles(const std::string& path, const std::vector<double>& values, std::string& error);

// Plot tables, one row per time stamp or frequency bin and one column per chosen bank column.
// Time table: time [ps] then values [1/s]. Frequency table: frequency [GHz] then magnitude [dB] of the
// column's transfer function (its transform times the step).
bool WriteImpulseCsv(const std::string& path, const std::vector<double>& bank, const std::vector<int>& columns,
                     std::string& error);
bool WriteFrequencyCsv(const std::string& path, const std::vector<double>& bank, const std::vector<int>& columns,
                       const RealSpectrumTransform& transform, std::string& error);

}  // namespace ctle_bank
