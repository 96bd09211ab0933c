#include "ami/NumberText.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int HexDigitValue(char c) {
    if (IsDigit(c)) return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// std::from_chars reports a magnitude beyond the range of double without a value. Whether it is too large
// or too small follows from the scale of the leading significant digit: the text's exponent plus the digits
// before the point, or minus the zeros after it. Out-of-range texts are hundreds of powers away from 1,
// so this estimate, exact to one digit, never picks the wrong side.
bool MagnitudeIsLarge(const char* first, const char* last, bool hex) {
    const int digitScale = hex ? 4 : 1;
    const char exponentMark = hex ? 'p' : 'e';
    long scale = 0;
    bool seenSignificant = false;
    bool afterPoint = false;
    const char* p = first;
    for (; p != last && (*p | 0x20) != exponentMark; ++p) {
        if (*p == '.') {
            afterPoint = true;
        } else if (!seenSignificant && (hex ? HexDigitValue(*p) : *p - '0') == 0) {
            if (afterPoint) scale -= digitScale;
        } else if (!seenSignificant) {
            seenSignificant = true;
            if (!afterPoint) scale += digitScale;
        } else if (!afterPoint) {
            scale += digitScale;
        }
    }
    if (p != last) {
        ++p;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        long exponent = 0;
        for (; p != last && IsDigit(*p); ++p)
            if (exponent < 100000000) exponent = exponent * 10 + (*p - '0');
        scale += negative ? -exponent : exponent;
    }
    return scale > 0;
}

// An unsigned number at first; returns the end of it, or first when there is none.
const char* ReadUnsigned(const char* first, double& value) {
    if (*first == '+' || *first == '-') return first;  // one sign only, and it is already taken
    const char* last = first + std::strlen(first);
    // "0x" counts as the hexadecimal prefix only when a hexadecimal digit follows, maybe after the point;
    // otherwise the number is the "0" alone, as strtod reads it.
    const bool hex = first[0] == '0' && (first[1] | 0x20) == 'x' &&
                     (IsHexDigit(first[2]) || (first[2] == '.' && IsHexDigit(first[3])));
    const char* digits = hex ? first + 2 : first;
    const auto result = std::from_chars(digits, last, value, hex ? std::chars_format::hex : std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return first;
    if (result.ec == std::errc::result_out_of_range)
        value = MagnitudeIsLarge(digits, result.ptr, hex) ? std::numeric_limits<double>::infinity() : 0.0;
    return result.ptr;
}

}  // namespace

double ReadNumberText(const char* text, char** end) noexcept {
    const char* p = text;
    while (IsSpace(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    double value = 0.0;
    const char* stop = ReadUnsigned(p, value);
    if (stop == p) {
        if (end != nullptr) *end = const_cast<char*>(text);
        return 0.0;
    }
    if (end != nullptr) *end = const_cast<char*>(stop);
    return negative ? -value : value;
}

bool IsIntegerText(const char* text) noexcept {
    const char* p = text;
    while (IsSpace(*p)) ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!IsDigit(*p)) return false;
    while (IsDigit(*p)) ++p;
    return *p == '\0';
}
