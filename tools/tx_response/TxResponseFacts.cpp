#include "TxResponseFacts.h"

#include <cmath>
#include <cstring>
#include <sstream>

namespace TxResponseFacts {

namespace {

std::int64_t orderedBits(double v)
{
    std::int64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

std::string describe(const char* what, int k, double got)
{
    std::ostringstream text;
    text.precision(17);
    text << what << " (k = " << k << ", value " << got << ")";
    return text.str();
}

bool signChangeExpectedAfter(int k)
{
    for (int expected : signChangesAfter)
        if (expected == k)
            return true;
    return false;
}

}  // namespace

bool isTellingIndex(int k)
{
    for (const TellingRow& row : tellingRows)
        if (row.k == k)
            return true;
    return false;
}

std::int64_t ulpDistance(double a, double b)
{
    const std::int64_t d = orderedBits(a) - orderedBits(b);
    return d < 0 ? -d : d;
}

double plainDcGain(const std::vector<double>& values)
{
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return sum * step;
}

Report check(const std::vector<double>& times, const std::vector<double>& values)
{
    Report report;
    std::vector<std::string>& fail = report.failures;
    if (times.size() != static_cast<std::size_t>(length) || values.size() != static_cast<std::size_t>(length)) {
        fail.push_back("table length is not " + std::to_string(length));
        return report;
    }

    for (int k = 0; k < length; ++k) {
        if (times[k] != static_cast<double>(k) * step)
            fail.push_back(describe("time stamp is not k times the step", k, times[k]));
        if (!std::isfinite(values[k]))
            fail.push_back(describe("value is not finite", k, values[k]));
        else if (k <= lastNonZero && (values[k] == 0.0 || !std::isnormal(values[k])))
            fail.push_back(describe("value in the non-zero span is zero or subnormal", k, values[k]));
        else if (k > lastNonZero && (values[k] != 0.0 || std::signbit(values[k])))
            fail.push_back(describe("value past the non-zero span is not exactly +0.0", k, values[k]));
    }
    if (!fail.empty())
        return report;

    for (const TellingRow& row : tellingRows)
        if (values[row.k] != row.value)
            fail.push_back(describe("telling row differs from its published value", row.k, values[row.k]));

    for (int k = 0; k < lastNonZero; ++k) {
        const bool changes = std::signbit(values[k]) != std::signbit(values[k + 1]);
        if (changes != signChangeExpectedAfter(k))
            fail.push_back(describe(changes ? "unexpected sign change after" : "missing sign change after", k,
                                    values[k]));
    }

    double nextLowest = INFINITY;
    double nextHighest = -INFINITY;
    for (int k = 0; k < length; ++k) {
        if (k != minimumAt && values[k] < nextLowest)
            nextLowest = values[k];
        if (k != maximumAt && values[k] > nextHighest)
            nextHighest = values[k];
    }
    const double minimum = values[minimumAt];
    const double maximum = values[maximumAt];
    report.minimumMargin = (nextLowest - minimum) / std::fabs(minimum);
    report.maximumMargin = (maximum - nextHighest) / maximum;
    if (!(nextLowest > minimum))
        fail.push_back(describe("minimum is not strict and global at", minimumAt, minimum));
    if (!(nextHighest < maximum))
        fail.push_back(describe("maximum is not strict and global at", maximumAt, maximum));

    report.dcGain = plainDcGain(values);
    report.dcGainUlps = ulpDistance(report.dcGain, dcGain);
    if (report.dcGainUlps > dcGainToleranceUlps) {
        std::ostringstream text;
        text.precision(17);
        text << "DC gain " << report.dcGain << " is " << report.dcGainUlps << " ulp from " << dcGain;
        fail.push_back(text.str());
    }
    return report;
}

}  // namespace TxResponseFacts
