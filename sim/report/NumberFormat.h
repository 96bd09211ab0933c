#pragma once

#include <cstdint>
#include <string>

namespace ksim {

// Text forms of the report's figures. Non-finite values print as "n/a".
std::string FormatFixed(double value, int decimals);             // "%.*f"
std::string FormatScientific(double value, int significant);     // "1.2e-6": no "+", no leading exponent zeros
std::string FormatCount(std::uint64_t count);                    // "1,234,567"
// Short general form for axis ticks and plot coordinates: "%.*g" without trailing noise.
std::string FormatGeneral(double value, int significant);

}  // namespace ksim
