#include "BankWriter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "BankLayout.h"

namespace ctle_bank {
namespace {

bool Fail(const std::string& path, std::FILE* file, std::string& error) {
    if (file != nullptr) std::fclose(file);
    std::remove(path.c_str());
    error = "cannot write " + path;
    return false;
}

bool WriteHeader(std::FILE* file, const char* first, const std::vector<int>& columns) {
    if (std::fprintf(file, "%s", first) < 0) return false;
    for (int column : columns) {
        if (std::fprintf(file, ",column_%d", column) < 0) return false;
    }
    return std::fprintf(file, "\n") >= 0;
}

}  // namespace

bool WriteLittleEndianDoubles(const std::string& path, const std::vector<double>& values, std::string& error) {
    std::vector<unsigned char> bytes(values.size() * 8);
    for (size_t i = 0; i < values.size(); ++i) {
        std::uint64_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        for (int b = 0; b < 8; ++b) bytes[i * 8 + b] = static_cast<unsigned char>(bits >> (8 * b));
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return Fail(path, nullptr, error);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) return Fail(path, file, error);
    if (std::fclose(file) != 0) return Fail(path, nullptr, error);
    return true;
}

bool WriteImpulseCsv(const std::string& path, const std::vector<double>& bank, const std::vector<int>& columns,
                     std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr || !WriteHeader(file, "time_ps", columns)) return Fail(path, file, error);
    for (int k = 0; k < bankPoints; ++k) {
        if (std::fprintf(file, "%d", 2 * k) < 0) return Fail(path, file, error);
        for (int column : columns) {
            if (std::fprintf(file, ",%.9g", bank[static_cast<size_t>(column) * bankPoints + k]) < 0) {
                return Fail(path, file, error);
            }
        }
        if (std::fprintf(file, "\n") < 0) return Fail(path, file, error);
    }
    if (std::fclose(file) != 0) return Fail(path, nullptr, error);
    return true;
}

bool WriteFrequencyCsv(const std::string& path, const std::vector<double>& bank, const std::vector<int>& columns,
                       const RealSpectrumTransform& transform, std::string& error) {
    const double binSpacingGHz = 1.0 / (bankPoints * bankStep) / 1e9;
    std::vector<std::vector<ComplexValue>> spectra;
    for (int column : columns) {
        spectra.emplace_back(transform.Bins());
        transform.Forward(&bank[static_cast<size_t>(column) * bankPoints], spectra.back().data());
    }
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr || !WriteHeader(file, "frequency_GHz", columns)) return Fail(path, file, error);
    for (int n = 0; n < transform.Bins(); ++n) {
        if (std::fprintf(file, "%g", n * binSpacingGHz) < 0) return Fail(path, file, error);
        for (const std::vector<ComplexValue>& spectrum : spectra) {
            const double magnitude = std::hypot(spectrum[n].re, spectrum[n].im) * bankStep;
            if (std::fprintf(file, ",%.6f", 20.0 * std::log10(magnitude)) < 0) return Fail(path, file, error);
        }
        if (std::fprintf(file, "\n") < 0) return Fail(path, file, error);
    }
    if (std::fclose(file) != 0) return Fail(path, nullptr, error);
    return true;
}

}  // namespace ctle_bank
