#pragma once

#include <climits>

namespace Velmora {

// A model parameter held as double and needed as int, truncated toward zero. Values beyond the int range
// saturate and NaN gives 0: a plain conversion of such values would be undefined, and a simulator may pass
// anything.
inline int TruncateToInt(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT_MAX;
    if (value <= -2147483648.0) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace Velmora
