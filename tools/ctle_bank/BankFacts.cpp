#include "BankFacts.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "BankLayout.h"

namespace ctle_bank {

const TellingColumn tellingColumns[tellingColumnCount] = {
    {0, 0, 0.8273, 1.636e11, 76},   {0, 128, 0.8702, 2.584e11, 78}, {0, 255, 0.8781, 5.106e11, 80},
    {1, 0, 1.3478, 2.487e11, 76},   {1, 255, 1.3131, 7.332e11, 80}, {2, 0, 1.4611, 2.582e11, 78},
    {2, 255, 1.5163, 2.355e11, 78}, {3, 0, 2.2999, 3.666e11, 78},   {3, 255, 1.9767, 1.209e12, 82},
};

const double column0Head[column0HeadLength] = {
    -1.00049e11, 2.69528e10, 2.90182e10, -1.1495e9, -2.07841e10, -2.03412e10, -7.13394e9, 7.3351e9,
};

const TellingColumn* FindTellingColumn(int group, int code) {
    for (const TellingColumn& telling : tellingColumns) {
        if (telling.group == group && telling.code == code) return &telling;
    }
    return nullptr;
}

ColumnSummary Summarize(const double* column) {
    ColumnSummary summary = {0.0, column[0], 0};
    double sum = 0.0;
    for (int k = 0; k < bankPoints; ++k) {
        sum += column[k];
        if (column[k] > summary.peak) {
            summary.peak = column[k];
            summary.peakIndex = k;
        }
    }
    summary.dcGain = sum * bankStep;
    return summary;
}

namespace {

std::string Printed(const char* format, int precision, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, precision, value);
    return text;
}

std::string Describe(double value) { return Printed("%.*g", 10, value); }

}  // namespace

bool SameToSignificantFigures(double a, double b, int figures) {
    return Printed("%.*e", figures - 1, a) == Printed("%.*e", figures - 1, b);
}

bool SameToDecimals(double a, double b, int decimals) {
    return Printed("%.*f", decimals, a) == Printed("%.*f", decimals, b);
}

std::vector<std::string> CheckBankFacts(const std::vector<double>& bank) {
    std::vector<std::string> misses;
    if (bank.size() != static_cast<size_t>(bankValues)) {
        misses.push_back("bank holds " + std::to_string(bank.size()) + " values instead of " +
                         std::to_string(bankValues));
        return misses;
    }
    for (double value : bank) {
        if (!std::isfinite(value)) {
            misses.push_back("bank holds a value that is not finite");
            return misses;
        }
    }

    for (const TellingColumn& telling : tellingColumns) {
        const int column = ColumnIndex(telling.group, telling.code);
        const ColumnSummary summary = Summarize(&bank[static_cast<size_t>(column) * bankPoints]);
        const std::string name = "column " + std::to_string(column) + ": ";
        if (!SameToDecimals(summary.dcGain, telling.dcGain, 4)) {
            misses.push_back(name + "DC gain " + Describe(summary.dcGain) + " instead of " +
                             Describe(telling.dcGain));
        }
        if (!SameToSignificantFigures(summary.peak, telling.peak, 4)) {
            misses.push_back(name + "peak " + Describe(summary.peak) + " instead of " + Describe(telling.peak));
        }
        if (summary.peakIndex * 2 != telling.peakTimePs) {
            misses.push_back(name + "peak at " + std::to_string(summary.peakIndex * 2) + " ps instead of " +
                             std::to_string(telling.peakTimePs) + " ps");
        }
    }

    for (int k = 0; k < column0HeadLength; ++k) {
        if (!SameToSignificantFigures(bank[k], column0Head[k], 6)) {
            misses.push_back("column 0 value " + std::to_string(k) + ": " + Describe(bank[k]) + " instead of " +
                             Describe(column0Head[k]));
        }
    }
    return misses;
}

}  // namespace ctle_bank
