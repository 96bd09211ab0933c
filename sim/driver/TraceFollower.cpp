#include "sim/driver/TraceFollower.h"

#include <sys/stat.h>

#include <cmath>
#include <fstream>

#include "rx/AdaptTraceFile.h"
#include "rx/KelvaneRx.h"

namespace ksim {

TraceFollower::TraceFollower(const std::string& path, int eomWindow, double echoClocks)
    : path_(path), window_(eomWindow), echoClocks_(echoClocks) {}

std::size_t TraceFollower::Poll() {
    // Asked after every block, and nearly always nothing is new: the file's size answers that alone.
    struct stat info;
    if (stat(path_.c_str(), &info) != 0 || static_cast<long long>(info.st_size) <= offset_) return 0;
    std::ifstream in(path_, std::ios::binary);
    if (!in) return 0;
    in.seekg(0, std::ios::end);
    const long long size = static_cast<long long>(in.tellg());
    if (size <= offset_) return 0;
    std::string text(static_cast<std::size_t>(size - offset_), '\0');
    in.seekg(offset_);
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    offset_ = size;
    partial_ += text;
    std::size_t added = 0;
    for (std::size_t end; (end = partial_.find('\n')) != std::string::npos; partial_.erase(0, end + 1)) {
        std::string line = partial_.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        AdaptTraceRecord record;
        // A line that does not read as a measurement still took one: the analysis reports it later.
        const AdaptTraceLineKind kind = ReadAdaptTraceLine(line, record);
        if (kind == AdaptTraceLineKind::Header) {
            lines_ = 0;
            added = 0;
            text_.clear();
        } else if (kind != AdaptTraceLineKind::Blank) {
            ++lines_;
            ++added;
        }
        text_ += line + "\n";
    }
    return added;
}

std::uint64_t TraceFollower::EdgeOfLine(std::size_t k) const {
    const double measurement = static_cast<double>(window_) + 1.0;
    const double edge = kelvane_rx::kStartGateClocks + measurement +
                        static_cast<double>(k) * (measurement + std::round(echoClocks_));
    return edge > 0 ? static_cast<std::uint64_t>(edge) : 0;
}

}  // namespace ksim
