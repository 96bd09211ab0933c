#include "sim/report/NumberFormat.h"

#include <cmath>
#include <cstdio>

namespace ksim {

std::string FormatFixed(double value, int decimals) {
    if (!std::isfinite(value)) return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    // "-0.00" reads as a sign error in a table
    std::string out = text;
    if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
    return out;
}

std::string FormatScientific(double value, int significant) {
    if (!std::isfinite(value)) return "n/a";
    if (value == 0) return "0";
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", significant > 1 ? significant - 1 : 0, value);
    std::string out = text;
    const std::size_t e = out.find('e');
    std::string mantissa = out.substr(0, e);
    std::string exponent = out.substr(e + 1);
    std::string sign;
    if (exponent[0] == '-' || exponent[0] == '+') {
        if (exponent[0] == '-') sign = "-";
        exponent.erase(0, 1);
    }
    while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
    return mantissa + "e" + sign + exponent;
}

std::string FormatCount(std::uint64_t count) {
    std::string digits = std::to_string(count);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string FormatGeneral(double value, int significant) {
    if (!std::isfinite(value)) return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", significant, value);
    std::string out = text;
    if (out == "-0") out = "0";
    return out;
}

}  // namespace ksim
