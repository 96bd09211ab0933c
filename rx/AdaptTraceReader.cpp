// Reading the adaptation trace, apart from the writer so that the receiver's library does not carry it.
#include <charconv>
#include <system_error>

#include "rx/AdaptTraceFile.h"

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Walks the fields of one line.
class FieldReader {
public:
    explicit FieldReader(std::string_view line) : rest(line) {}

    template <typename T>
    bool Read(T& value) {
        const std::string_view field = Next();
        if (field.empty()) return false;
        // A leading plus sign is accepted, as a hand-edited file may carry one.
        const std::size_t skip = field.size() > 1 && field[0] == '+' && field[1] != '-' ? 1 : 0;
        const char* end = field.data() + field.size();
        const auto result = std::from_chars(field.data() + skip, end, value);
        return result.ec == std::errc() && result.ptr == end;
    }

    bool AtEnd() { return Next().empty(); }

private:
    std::string_view Next() {
        std::size_t begin = 0;
        while (begin < rest.size() && IsSeparator(rest[begin])) ++begin;
        std::size_t end = begin;
        while (end < rest.size() && !IsSeparator(rest[end])) ++end;
        const std::string_view field = rest.substr(begin, end - begin);
        rest.remove_prefix(end);
        return field;
    }

    std::string_view rest;
};

}  // namespace

AdaptTraceLineKind ReadAdaptTraceLine(std::string_view line, AdaptTraceRecord& record) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line == kAdaptTraceHeaderLine) return AdaptTraceLineKind::Header;
    if (line.find_first_not_of(" \t") == std::string_view::npos) return AdaptTraceLineKind::Blank;

    AdaptTraceRecord read;
    FieldReader fields(line);
    bool ok = fields.Read(read.vgaGain) && fields.Read(read.eqHighGain) && fields.Read(read.equaliserIndex) &&
              fields.Read(read.equaliserCode);
    for (double& tap : read.taps) ok = ok && fields.Read(tap);
    ok = ok && fields.Read(read.heo) && fields.Read(read.veo) && fields.AtEnd();
    if (!ok) return AdaptTraceLineKind::Malformed;
    record = read;
    return AdaptTraceLineKind::Measurement;
}
