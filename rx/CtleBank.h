#pragma once

// The receiver equaliser's response bank, built into the library: 1024 sampled impulse responses, column
// j = 256 * g + c for gain group g (0..3) and 8-bit equaliser code c, each a density in 1/s at 500 time
// stamps 2 ps apart (a column's sum times the step is its DC gain).

constexpr int kCtleBankPoints = 500;
constexpr int kCtleBankGainGroups = 4;  // VGA_GAIN + 2 * EQ_HIGAIN
constexpr int kCtleBankCodes = 256;     // equaliser codes per gain group
constexpr int kCtleBankResponses = kCtleBankGainGroups * kCtleBankCodes;
constexpr double kCtleBankStep = 2e-12;  // [s]

// kCtleBankPoints * kCtleBankResponses values, column-major: the value of response j at time stamp k is
// element k + kCtleBankPoints * j. The storage is read-only, 16-byte aligned and lives as long as the library.
const double* CtleBankValues();

// Time stamp k of every response [s]: the double nearest to 2k ps. Valid for k = 0 .. kCtleBankPoints - 1;
// other k give the same formula's value.
double CtleBankTimeStamp(int k);
