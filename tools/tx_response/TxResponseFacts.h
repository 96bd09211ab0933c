#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the transmitter's stored impulse response must satisfy, and the check that the generator runs
// before it writes a table.
namespace tx_response_facts {

constexpr int kLength = 3226;
constexpr double kStep = 2.790178571428571e-13;   // time between points [s]
constexpr int kLastNonZero = 512;                 // values are non-zero up to here, exactly 0.0 after
constexpr int kMinimumAt = 16;                    // global minimum, strict
constexpr int kMaximumAt = 60;                    // global maximum, strict
constexpr double kDcGain = 0.9996448783847398;    // left-to-right sum of the values times step
constexpr std::int64_t kDcGainToleranceUlps = 1;  // the generator's own demand; the tests allow a few

struct TellingRow {
    int k;
    double value;  // [1/s], the double nearest the published digits
};
constexpr TellingRow kTellingRows[] = {
    {0, 43265576947.85165},   {1, 83806392763.02615}, {2, 76063347921.65453},  {16, -45481439263.7648},
    {60, 90745263596.81294},  {128, 2366118551.635739}, {512, 48260675.53446078},
};

// The sign changes between k and k + 1 for exactly these k, and nowhere else.
constexpr int kSignChangesAfter[] = {8, 31, 150, 239, 296, 319, 380, 431, 473, 496};

bool IsTellingIndex(int k);

// Distance in units in the last place between two finite doubles of the same sign.
std::int64_t UlpDistance(double a, double b);

// Left-to-right sum of all values times step: the order the tests and the table's users rely on.
double PlainDcGain(const std::vector<double>& values);

struct Report {
    std::vector<std::string> failures;  // empty when every fact holds
    double dcGain = 0.0;
    std::int64_t dcGainUlps = 0;
    double minimumMargin = 0.0;  // (next-lowest value - minimum) / |minimum|
    double maximumMargin = 0.0;  // (maximum - next-highest value) / maximum
};

Report Check(const std::vector<double>& times, const std::vector<double>& values);

}  // namespace tx_response_facts
