#include "TxResponseFacts.h"

#include <cmath>
#include <cstring>
#include <sstream>

namespace tx_response_facts {

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
    for (int expected : kSignChangesAfter)
        if (expected == k)
            return true;
    return false;
}

}  // namespace

bool IsTellingIndex(int k)
{
    for (const TellingRow& row : kTellingRows)
        if (row.k == k)
            return true;
    return false;
}

std::int64_t UlpDistance(double a, double b)
{
    const std::int64_t d = orderedBits(a) - orderedBits(b);
    return d < 0 ? -d : d;
}

double PlainDcGain(const std::vector<double>& values)
{
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return sum * kStep;
}

Report Check(const std::vector<double>& times, const std::vector<double>& values)
{
    Report report;
    std::vector<std::string>& fail = report.failures;
    if (times.size() != static_cast<std::size_t>(kLength) || values.size() != static_cast<std::size_t>(kLength)) {
        fail.push_back("table length is not " + std::to_string(kLength));
        return report;
    }

    for (int k = 0; k < kLength; ++k) {
        if (times[k] != static_cast<double>(k) * kStep)
            fail.push_back(describe("time stamp is not k times the step", k, times[k]));
        if (!std::isfinite(values[k]))
            fail.push_back(describe("value is not finite", k, values[k]));
        else if (k <= kLastNonZero && (values[k] == 0.0 || !std::isnormal(values[k])))
            fail.push_back(describe("value in the non-zero span is zero or subnormal", k, values[k]));
        else if (k > kLastNonZero && (values[k] != 0.0 || std::signbit(values[k])))
            fail.push_back(describe("value past the non-zero span is not exactly +0.0", k, values[k]));
    }
    if (!fail.empty())
        return report;

    for (const TellingRow& row : kTellingRows)
        if (values[row.k] != row.value)
            fail.push_back(describe("telling row differs from its published value", row.k, values[row.k]));

    for (int k = 0; k < kLastNonZero; ++k) {
        const bool changes = std::signbit(values[k]) != std::signbit(values[k + 1]);
        if (changes != signChangeExpectedAfter(k))
            fail.push_back(describe(changes ? "unexpected sign change after" : "missing sign change after", k,
                                    values[k]));
    }

    double nextLowest = INFINITY;
    double nextHighest = -INFINITY;
    for (int k = 0; k < kLength; ++k) {
        if (k != kMinimumAt && values[k] < nextLowest)
            nextLowest = values[k];
        if (k != kMaximumAt && values[k] > nextHighest)
            nextHighest = values[k];
    }
    const double minimum = values[kMinimumAt];
    const double maximum = values[kMaximumAt];
    report.minimumMargin = (nextLowest - minimum) / std::fabs(minimum);
    report.maximumMargin = (maximum - nextHighest) / maximum;
    if (!(nextLowest > minimum))
        fail.push_back(describe("minimum is not strict and global at", kMinimumAt, minimum));
    if (!(nextHighest < maximum))
        fail.push_back(describe("maximum is not strict and global at", kMaximumAt, maximum));

    report.dcGain = PlainDcGain(values);
    report.dcGainUlps = UlpDistance(report.dcGain, kDcGain);
    if (report.dcGainUlps > kDcGainToleranceUlps) {
        std::ostringstream text;
        text.precision(17);
        text << "DC gain " << report.dcGain << " is " << report.dcGainUlps << " ulp from " << kDcGain;
        fail.push_back(text.str());
    }
    return report;
}

}  // namespace tx_response_facts
