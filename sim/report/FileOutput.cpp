#include "sim/report/FileOutput.h"

#include <cstdio>
#include <stdexcept>

namespace ksim {
namespace {

void WriteBytes(const std::string& path, const void* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(path.c_str());
        throw std::runtime_error("cannot write " + path);
    }
}

}  // namespace

void WriteTextFile(const std::string& path, const std::string& text) { WriteBytes(path, text.data(), text.size()); }

void WriteBinaryFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    WriteBytes(path, bytes.data(), bytes.size());
}

}  // namespace ksim
