#pragma once

#include <string>
#include <vector>

namespace ksim {

struct CsvColumn {
    std::string name;                     // header text; quoted in the file when it holds , " or a line break
    const std::vector<double>* values;    // not owned; must outlive the call
};

// One header line and one row per index up to the longest column; a shorter column leaves its cells empty.
// Values are written with 12 significant digits, non-finite ones as "nan", "inf" or "-inf". Throws
// std::runtime_error naming the path when the file cannot be written, and on a null column.
// Example: WriteWaveformCsv("waves.csv", {{"time_s", &t}, {"rx_in_v", &in}, {"rx_out_v", &out}});
void WriteWaveformCsv(const std::string& path, const std::vector<CsvColumn>& columns);

}  // namespace ksim
