#include "sim/report/WaveformCsv.h"

#include <algorithm>
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

}  // namespace

CsvWriter::CsvWriter(const std::string& path, const std::vector<std::string>& names)
    : path_(path), buffer_(1 << 16) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) throw std::runtime_error("cannot write " + path);
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    std::string header;
    for (std::size_t c = 0; c < names.size(); ++c) header += (c ? "," : "") + CsvField(names[c]);
    Check(std::fprintf(file_, "%s\n", header.c_str()) >= 0);
}

CsvWriter::~CsvWriter() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    std::remove(path_.c_str());
}

void CsvWriter::Check(bool ok) {
    if (ok) return;
    std::fclose(file_);
    file_ = nullptr;
    std::remove(path_.c_str());
    throw std::runtime_error("cannot write " + path_);
}

void CsvWriter::AppendRows(const std::vector<const double*>& columns, std::size_t rows) {
    if (file_ == nullptr) throw std::runtime_error("cannot write " + path_);
    bool ok = true;
    for (std::size_t r = 0; r < rows && ok; ++r) {
        for (std::size_t c = 0; c < columns.size() && ok; ++c) {
            if (c > 0) ok = std::fputc(',', file_) != EOF;
            if (ok && columns[c] != nullptr) ok = std::fprintf(file_, "%.12g", columns[c][r]) >= 0;
        }
        if (ok) ok = std::fputc('\n', file_) != EOF;
    }
    Check(ok);
}

void CsvWriter::Finish() {
    if (file_ == nullptr) throw std::runtime_error("cannot write " + path_);
    bool ok = std::fflush(file_) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) {
        std::remove(path_.c_str());
        throw std::runtime_error("cannot write " + path_);
    }
}

void WriteWaveformCsv(const std::string& path, const std::vector<CsvColumn>& columns) {
    std::size_t rows = 0;
    std::vector<std::string> names;
    for (const CsvColumn& column : columns) {
        if (column.values == nullptr) throw std::runtime_error("waveform column " + column.name + " has no data");
        rows = std::max(rows, column.values->size());
        names.push_back(column.name);
    }
    CsvWriter writer(path, names);
    for (std::size_t r = 0; r < rows; ++r) {
        std::vector<const double*> cells;
        for (const CsvColumn& column : columns) cells.push_back(r < column.values->size() ? &(*column.values)[r] : nullptr);
        writer.AppendRows(cells, 1);
    }
    writer.Finish();
}

}  // namespace ksim
