#include "tools/sim/report/WaveformCsv.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace ksim {
namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void WriteWaveformCsv(const std::string& path, const std::vector<CsvColumn>& columns) {
    std::size_t rows = 0;
    std::string header;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (columns[c].values == nullptr) throw std::runtime_error("waveform column " + columns[c].name + " has no data");
        rows = std::max(rows, columns[c].values->size());
        header += (c ? "," : "") + CsvField(columns[c].name);
    }
    std::vector<char> buffer(1 << 16);  // declared first: it must outlive the stream that uses it
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw std::runtime_error("cannot write " + path);
    std::setvbuf(file.get(), buffer.data(), _IOFBF, buffer.size());
    bool ok = std::fprintf(file.get(), "%s\n", header.c_str()) >= 0;
    for (std::size_t r = 0; r < rows && ok; ++r) {
        for (std::size_t c = 0; c < columns.size() && ok; ++c) {
            const std::vector<double>& values = *columns[c].values;
            if (c > 0) ok = std::fputc(',', file.get()) != EOF;
            if (ok && r < values.size()) ok = std::fprintf(file.get(), "%.12g", values[r]) >= 0;
        }
        if (ok) ok = std::fputc('\n', file.get()) != EOF;
    }
    ok = std::fflush(file.get()) == 0 && ok;
    ok = std::fclose(file.release()) == 0 && ok;
    if (!ok) {
        std::remove(path.c_str());
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace ksim
