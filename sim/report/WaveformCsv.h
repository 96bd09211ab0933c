#pragma once

#include <cstddef>
#include <cstdio>
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

// The same written row by row, for waveforms too long to hold: the header on opening, then rows as they
// come. Throws std::runtime_error naming the path when the file cannot be written; a file left unfinished
// (Finish not called) is removed.
class CsvWriter {
public:
    CsvWriter(const std::string& path, const std::vector<std::string>& names);
    ~CsvWriter();
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;
    // columns[c][r] for r < rows; a null column leaves its cells empty.
    void AppendRows(const std::vector<const double*>& columns, std::size_t rows);
    void Finish();

private:
    void Check(bool ok);
    std::string path_;
    std::vector<char> buffer_;
    std::FILE* file_ = nullptr;
};

}  // namespace ksim
