#pragma once

// Shape of the receiver equaliser's response bank: one column per setting, column j = 256 * group + code.
namespace ctle_bank {

constexpr int bankPoints = 500;                     // time stamps per response
constexpr double bankStep = 2e-12;                  // time stamp spacing [s]
constexpr int gainGroups = 4;                       // VGA_GAIN + 2 * EQ_HIGAIN
constexpr int codesPerGroup = 256;                  // 8-bit equaliser code
constexpr int bankResponses = gainGroups * codesPerGroup;
constexpr int bankValues = bankPoints * bankResponses;

inline int ColumnIndex(int group, int code) { return group * codesPerGroup + code; }

// Relative position of a code within its group, 0 at code 0 and 1 at code 255.
inline double CodePosition(int code) { return code / 255.0; }

}  // namespace ctle_bank
