#pragma once

#include <string>
#include <vector>

// The facts the bank must reproduce: nine telling columns and the first samples of column 0.
namespace ctle_bank {

struct TellingColumn {
    int group;
    int code;
    double dcGain;      // column sum times the step, met to 4 decimals
    double peak;        // largest value [1/s], met to 4 significant figures
    int peakTimePs;     // time stamp of the largest value [ps]
};

constexpr int tellingColumnCount = 9;
extern const TellingColumn tellingColumns[tellingColumnCount];

// Column 0 at 0, 2, ... 14 ps [1/s], met to 6 significant figures.
constexpr int column0HeadLength = 8;
extern const double column0Head[column0HeadLength];

// Null when the table holds no such column.
const TellingColumn* FindTellingColumn(int group, int code);

struct ColumnSummary {
    double dcGain;  // column sum times the step
    double peak;    // largest value [1/s]
    int peakIndex;  // index of the first largest value
};

ColumnSummary Summarize(const double* column);  // column: bankPoints values

// Equal once both are printed with the given number of significant figures (figures >= 1).
bool SameToSignificantFigures(double a, double b, int figures);
// Equal once both are printed with the given number of decimals (decimals >= 0).
bool SameToDecimals(double a, double b, int decimals);

// One line per fact the bank misses; empty when it meets them all. bank: bankValues values, column-major.
std::vector<std::string> CheckBankFacts(const std::vector<double>& bank);

}  // namespace ctle_bank
