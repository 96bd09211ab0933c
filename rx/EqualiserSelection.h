#pragma once

#include "runtime/TruncateToInt.h"
#include "rx/CtleBank.h"

// The 1-based selection index into the equaliser's response bank that the gain controls and an equaliser
// code pick: kCtleBankCodes columns per gain group, group VGA_GAIN + 2 * EQ_HIGAIN (each 0 or 1), then the
// code (an EQ_TABLE entry). The equaliser takes an index outside 1..kCtleBankResponses as its first column.
inline int EqualiserSelectionIndex(int vgaGain, int eqHighGain, double code) {
    const long long gainGroup = static_cast<long long>(kCtleBankCodes) * (vgaGain + 2LL * eqHighGain);
    return Velmora::TruncateToInt(static_cast<double>(gainGroup) + code + 1.0);
}
