#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sim/channel/Channel.h"
#include "sim/channel/ImpulseShaping.h"

namespace ksim {

namespace {

// Longest span a file may cover, in multiples of the longest kept response (flight delay included).
constexpr std::size_t kMaxFileSpanFactor = 16;

struct DensityRows {
    std::vector<double> time;     // [s], strictly increasing
    std::vector<double> density;  // [1/s]
};

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == ',' || c == '\v' || c == '\f'; }

bool ParseNumber(const char* first, const char* last, double& value) {
    if (first < last && *first == '+') ++first;
    if (first == last) return false;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == last && std::isfinite(value);
}

DensityRows ReadRows(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open the file");
    DensityRows rows;
    std::string line;
    std::size_t lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const auto fail = [&](const std::string& what) {
            throw std::runtime_error(path + ":" + std::to_string(lineNumber) + ": " + what);
        };
        const char* p = line.data();
        const char* end = p + line.size();
        while (p < end && IsSeparator(*p)) ++p;
        if (p == end || *p == '#' || *p == '!') continue;
        double values[2];
        int count = 0;
        while (p < end) {
            const char* tokenEnd = p;
            while (tokenEnd < end && !IsSeparator(*tokenEnd)) ++tokenEnd;
            if (count == 2) fail("more than two values (expected \"time value\")");
            if (!ParseNumber(p, tokenEnd, values[count])) fail("expected a number, found '" + std::string(p, tokenEnd) + "'");
            ++count;
            p = tokenEnd;
            while (p < end && IsSeparator(*p)) ++p;
        }
        if (count != 2) fail("expected two values, \"time value\"");
        if (!rows.time.empty() && !(values[0] > rows.time.back())) fail("times must increase");
        rows.time.push_back(values[0]);
        rows.density.push_back(values[1]);
    }
    if (in.bad()) throw std::runtime_error(path + ": read error");
    if (rows.time.size() < 2) throw std::runtime_error(path + ": at least two rows \"time value\" are needed");
    return rows;
}

// Integral of the piecewise-linear density over each cell [(n - 1/2) dt, (n + 1/2) dt); what lies before
// the first cell goes into it.
std::vector<double> IntegrateOverCells(const DensityRows& rows, double sampleInterval, std::size_t maxSamples, const std::string& path) {
    const double finalCell = std::floor(rows.time.back() / sampleInterval + 0.5);
    if (finalCell < 0.0) throw std::runtime_error(path + ": the response ends before time 0");
    if (finalCell >= static_cast<double>(maxSamples)) {
        std::ostringstream what;
        what << path << ": the response spans more than " << static_cast<double>(maxSamples) * sampleInterval << " s";
        throw std::runtime_error(what.str());
    }
    std::vector<double> h(static_cast<std::size_t>(finalCell) + 1, 0.0);
    const double firstCell = std::floor(rows.time.front() / sampleInterval + 0.5);
    std::size_t cell = firstCell > 0.0 ? static_cast<std::size_t>(firstCell) : 0;
    std::size_t segment = 0;
    double x = rows.time.front();
    const auto densityAt = [&](double t) {
        const double t0 = rows.time[segment], t1 = rows.time[segment + 1];
        const double v0 = rows.density[segment], v1 = rows.density[segment + 1];
        return v0 + (v1 - v0) * ((t - t0) / (t1 - t0));
    };
    while (segment + 1 < rows.time.size()) {
        const bool lastCell = cell + 1 == h.size();  // takes whatever rounding leaves beyond it
        const double cellEnd = lastCell ? HUGE_VAL : (static_cast<double>(cell) + 0.5) * sampleInterval;
        const double segmentEnd = rows.time[segment + 1];
        const double to = cellEnd < segmentEnd ? cellEnd : segmentEnd;
        if (to > x) h[cell] += 0.5 * (densityAt(x) + densityAt(to)) * (to - x);
        x = to;
        if (cellEnd < segmentEnd) {
            ++cell;
        } else {
            ++segment;
        }
    }
    return h;
}

}  // namespace

std::vector<double> LoadImpulseResponseFile(const std::string& path, double sampleInterval, double bitTime, ChannelInfo& info) {
    const std::size_t samplesPerBit = SamplesPerBit(sampleInterval, bitTime);
    const DensityRows rows = ReadRows(path);
    std::vector<double> h = IntegrateOverCells(rows, sampleInterval, kMaxFileSpanFactor * kMaxImpulseUi * samplesPerBit, path);

    const std::size_t start = ResponseStart(h.data(), h.size(), kRiseFraction, samplesPerBit);
    h.erase(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(start));
    h.resize(DecayedLength(h.data(), h.size(), kTailEnergyKept, kTailSumTolerance, kMaxImpulseUi * samplesPerBit));
    bool silent = true;
    for (double v : h) silent = silent && v == 0.0;
    if (silent) throw std::runtime_error(path + ": the impulse response is zero everywhere");

    DescribeChannel(h, "impulse-file", path, ImpulseLossDb(h, 0.5 / bitTime, sampleInterval), sampleInterval, bitTime, start, info);
    return h;
}

}  // namespace ksim
