#include "sim/channel/Touchstone.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <istream>
#include <sstream>
#include <stdexcept>

namespace ksim {

namespace {

enum class NumberFormat { MagnitudeAngle, DecibelAngle, RealImaginary };

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Reads the stream line by line, converting each frequency point as soon as it is complete.
class TouchstoneParser {
public:
    TouchstoneParser(int ports, const std::string& name) : name_(name) {
        data_.source = name;
        data_.ports = ports;
        const std::size_t n = static_cast<std::size_t>(ports);
        valuesPerPoint_ = 1 + 2 * n * n;
        pairsPerRow_ = n;
        point_.reserve(valuesPerPoint_);
    }

    TouchstoneData Parse(std::istream& in) {
        std::string line;
        while (!noiseSection_ && std::getline(in, line)) {
            ++lineNumber_;
            if (lineNumber_ == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);  // UTF-8 byte-order mark
            ParseLine(line);
        }
        if (!point_.empty()) Fail(pointStartLine_, "the file ends inside the frequency point that starts here (" +
                                                       std::to_string(point_.size()) + " of " +
                                                       std::to_string(valuesPerPoint_) + " values)");
        if (data_.frequencyHz.empty()) Fail(lineNumber_, "no frequency points");
        return std::move(data_);
    }

private:
    [[noreturn]] void Fail(std::size_t line, const std::string& what) const {
        throw std::runtime_error(name_ + ":" + std::to_string(line) + ": " + what);
    }

    void ParseLine(const std::string& rawLine) {
        std::size_t end = rawLine.find('!');
        if (end == std::string::npos) end = rawLine.size();
        std::size_t begin = 0;
        while (begin < end && IsBlank(rawLine[begin])) ++begin;
        while (end > begin && IsBlank(rawLine[end - 1])) --end;
        if (begin == end) return;
        const char* first = rawLine.data() + begin;
        const char* last = rawLine.data() + end;
        if (*first == '#') {
            if (!point_.empty()) Fail(lineNumber_, "option line inside a frequency point");
            if (!optionSeen_) ParseOptions(std::string(first + 1, last));
            optionSeen_ = true;
            return;
        }
        if (*first == '[') Fail(lineNumber_, "Touchstone 2.0 keywords are not supported: '" + std::string(first, last) + "'");
        ParseDataLine(first, last);
    }

    void ParseOptions(const std::string& text) {
        std::istringstream words(text);
        std::string word;
        while (words >> word) {
            const std::string w = Lower(word);
            if (w == "hz") frequencyScale_ = 1.0;
            else if (w == "khz") frequencyScale_ = 1e3;
            else if (w == "mhz") frequencyScale_ = 1e6;
            else if (w == "ghz") frequencyScale_ = 1e9;
            else if (w == "ma") format_ = NumberFormat::MagnitudeAngle;
            else if (w == "db") format_ = NumberFormat::DecibelAngle;
            else if (w == "ri") format_ = NumberFormat::RealImaginary;
            else if (w == "s") {
            } else if (w == "y" || w == "z" || w == "h" || w == "g") {
                Fail(lineNumber_, "only S-parameters are supported, the option line names '" + word + "'");
            } else if (w == "r") {
                std::string value;
                double ohms = 0.0;
                if (!(words >> value) || !ParseNumber(value.data(), value.data() + value.size(), ohms) || !(ohms > 0.0))
                    Fail(lineNumber_, "the option R needs a positive reference impedance");
                data_.referenceOhms = ohms;
            } else {
                Fail(lineNumber_, "unknown word '" + word + "' in the option line");
            }
        }
    }

    // Accepts what C's strtod accepts for finite decimal numbers, including a leading '+'.
    static bool ParseNumber(const char* first, const char* last, double& value) {
        if (first < last && *first == '+') ++first;
        if (first == last) return false;
        const auto result = std::from_chars(first, last, value, std::chars_format::general);
        return result.ec == std::errc() && result.ptr == last && std::isfinite(value);
    }

    void ParseDataLine(const char* p, const char* last) {
        std::size_t valuesOnLine = 0;
        while (p < last) {
            while (p < last && IsBlank(*p)) ++p;
            if (p == last) break;
            const char* tokenEnd = p;
            while (tokenEnd < last && !IsBlank(*tokenEnd)) ++tokenEnd;
            double value = 0.0;
            if (!ParseNumber(p, tokenEnd, value)) Fail(lineNumber_, "expected a number, found '" + std::string(p, tokenEnd) + "'");
            if (point_.empty()) {
                pointStartLine_ = lineNumber_;
                if (valuesOnLine != 0) Fail(lineNumber_, "a frequency point must start on a new line");
                if (!StartPoint(value)) return;
            } else if (data_.ports >= 3 && RowJustCompleted() && valuesOnLine != 0) {
                Fail(lineNumber_, "each matrix row must start on a new line (" + std::to_string(pairsPerRow_) +
                                      " value pairs per row)");
            }
            point_.push_back(value);
            ++valuesOnLine;
            if (point_.size() == valuesPerPoint_) {
                FinishPoint();
                p = tokenEnd;
                while (p < last && IsBlank(*p)) ++p;
                if (p != last) Fail(lineNumber_, "more values than one frequency point holds (" + std::to_string(valuesPerPoint_) +
                                                      "); a new point must start on a new line");
                return;
            }
            p = tokenEnd;
        }
        if ((point_.size() - 1) % 2 != 0) Fail(lineNumber_, "the line ends inside a value pair");
    }

    // True when the values so far end exactly at the end of a matrix row (after the frequency).
    bool RowJustCompleted() const {
        const std::size_t pairValues = point_.size() - 1;
        return pairValues != 0 && pairValues % (2 * pairsPerRow_) == 0;
    }

    // Returns false when the frequency starts the noise parameters of a 2-port file.
    bool StartPoint(double frequency) {
        const double hz = frequency * frequencyScale_;
        if (hz < 0.0) Fail(lineNumber_, "negative frequency");
        if (!data_.frequencyHz.empty() && !(hz > data_.frequencyHz.back())) {
            if (data_.ports == 2) {
                noiseSection_ = true;
                return false;
            }
            Fail(lineNumber_, "frequencies must increase");
        }
        return true;
    }

    std::complex<double> Convert(double a, double b) const {
        constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;
        switch (format_) {
            case NumberFormat::RealImaginary: return {a, b};
            case NumberFormat::DecibelAngle: a = std::pow(10.0, a / 20.0); break;
            case NumberFormat::MagnitudeAngle: break;
        }
        const double radians = b * kRadiansPerDegree;
        return {a * std::cos(radians), a * std::sin(radians)};
    }

    void FinishPoint() {
        const std::size_t n = static_cast<std::size_t>(data_.ports);
        data_.frequencyHz.push_back(point_[0] * frequencyScale_);
        const std::size_t base = data_.values.size();
        data_.values.resize(base + n * n);
        for (std::size_t pair = 0; pair < n * n; ++pair) {
            std::size_t row = pair / n, col = pair % n;
            if (n == 2) std::swap(row, col);  // S11 S21 S12 S22
            data_.values[base + row * n + col] = Convert(point_[1 + 2 * pair], point_[2 + 2 * pair]);
        }
        point_.clear();
    }

    std::string name_;
    TouchstoneData data_;
    std::size_t valuesPerPoint_ = 0;
    std::size_t pairsPerRow_ = 0;
    std::vector<double> point_;         // raw values of the point being read
    std::size_t lineNumber_ = 0;
    std::size_t pointStartLine_ = 0;
    bool optionSeen_ = false;
    bool noiseSection_ = false;
    double frequencyScale_ = 1e9;
    NumberFormat format_ = NumberFormat::MagnitudeAngle;
};

}  // namespace

int TouchstonePortsFromName(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return 0;
    const std::string ext = Lower(path.substr(dot + 1));
    if (ext.size() < 3 || ext.size() > 5 || ext.front() != 's' || ext.back() != 'p') return 0;
    int ports = 0;
    for (std::size_t i = 1; i + 1 < ext.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(ext[i]))) return 0;
        ports = ports * 10 + (ext[i] - '0');
    }
    return ports;
}

TouchstoneData ParseTouchstone(const std::string& text, int ports, const std::string& name) {
    if (ports < 1) throw std::runtime_error(name + ": the number of ports must be at least 1");
    std::istringstream in(text);
    return TouchstoneParser(ports, name).Parse(in);
}

TouchstoneData ReadTouchstone(const std::string& path) {
    const int ports = TouchstonePortsFromName(path);
    if (ports < 1) throw std::runtime_error(path + ": not a Touchstone file name (expected an extension .s1p, .s2p, .s4p, ...)");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open the file");
    TouchstoneData data = TouchstoneParser(ports, path).Parse(in);
    if (in.bad()) throw std::runtime_error(path + ": read error");
    return data;
}

}  // namespace ksim
