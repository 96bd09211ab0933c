#include "TableWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

// Printf's "%.17g" honours only the C locale's decimal point, which this program never changes.
std::string decimal17(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

}  // namespace

std::string hexFloatLiteral(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biasedExponent = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (biasedExponent == 0x7ff)
        throw std::invalid_argument("hexFloatLiteral: not a finite value");
    if (biasedExponent == 0 && fraction == 0)
        return negative ? "-0.0" : "0.0";

    std::string text = negative ? "-0x" : "0x";
    text += biasedExponent == 0 ? "0." : "1.";
    static const char digits[] = "0123456789abcdef";
    for (int shift = 48; shift >= 0; shift -= 4)
        text += digits[(fraction >> shift) & 0xf];
    const int exponent = biasedExponent == 0 ? -1022 : biasedExponent - 1023;
    text += exponent < 0 ? "p-" : "p+";
    text += std::to_string(exponent < 0 ? -exponent : exponent);
    return text;
}

std::string tableSource(const TxResponse& r)
{
    std::string s;
    s += "// GENERATED FILE - do not edit. Written by tools/tx_response/gen_tx_response:\n"
         "//     gen_tx_response tx/data/TxResponseTable.cpp\n"
         "// The transmitter's stored analog impulse response. Values are exact hexadecimal literals; the\n"
         "// comment on each value is the same number in decimal.\n"
         "\n"
         "#include \"tx/TxResponseTable.h\"\n"
         "\n"
         "// k times kTxResponseStep [s]\n"
         "const double txResponseTimes[kTxResponseLength] = {\n";
    for (std::size_t k = 0; k < r.times.size(); ++k)
        s += "    " + hexFloatLiteral(r.times[k]) + ",  // " + std::to_string(k) + "\n";
    s += "};\n"
         "\n"
         "// [1/s]\n"
         "const double txResponseValues[kTxResponseLength] = {\n";
    for (std::size_t k = 0; k < r.values.size(); ++k)
        s += "    " + hexFloatLiteral(r.values[k]) + ",  // " + std::to_string(k) + ": " + decimal17(r.values[k]) +
             "\n";
    s += "};\n";
    return s;
}

std::string tableCsv(const TxResponse& r)
{
    std::string s = "k,time_ps,value\n";
    for (std::size_t k = 0; k < r.values.size(); ++k)
        s += std::to_string(k) + "," + decimal17(r.times[k] * 1e12) + "," + decimal17(r.values[k]) + "\n";
    return s;
}
