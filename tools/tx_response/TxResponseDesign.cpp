#include "TxResponseDesign.h"

#include "MonotoneCubic.h"
#include "TxResponseFacts.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using namespace tx_response_facts;

constexpr double pi = 3.141592653589793;

// Envelope chosen at the first three points; their phase follows from asin(value / envelope), on the
// falling side of the crest once the pulse has passed it.
struct LeadingPoint {
    int k;
    double envelope;  // [1/s]
    bool pastCrest;
};
constexpr LeadingPoint leadingPoints[] = {
    {0, 8.60e10, false},
    {1, 8.50e10, false},
    {2, 8.40e10, true},
};

// Phase: crossings of m*pi half-way between the samples around each sign change, -pi/2 (mod 2 pi) at the
// minimum and +pi/2 at the maximum; the last knot is where the next crossing would fall.
struct PhaseKnot {
    double k;
    double halfTurns;  // phase in units of pi
};
constexpr PhaseKnot phaseKnots[] = {
    {8.5, 1.0},    {16.0, 1.5},   {31.5, 2.0},   {60.0, 2.5},   {150.5, 3.0},  {239.5, 4.0},  {296.5, 5.0},
    {319.5, 6.0},  {380.5, 7.0},  {431.5, 8.0},  {473.5, 9.0},  {496.5, 10.0}, {519.5, 11.0},
};

// Envelope between the published rows [1/s]: the early spike's decay, the rise to the main lobe and the
// ringing's decay, one knot near the middle of each later lobe.
struct EnvelopeKnot {
    double k;
    double envelope;
};
constexpr EnvelopeKnot shapeKnots[] = {
    {9.0, 5.0e10},    {40.0, 7.0e10},   {195.0, 2.3e9},  {268.0, 1.2e9},  {308.0, 6.0e8},
    {350.0, 5.0e8},   {406.0, 2.8e8},   {452.0, 1.6e8},  {485.0, 9.0e7},
};

// The DC-gain trim: a sin^2 bump over the main lobe, zero with zero slope at the maximum and at k = 128.
constexpr double bumpStart = 60.0;
constexpr double bumpEnd = 128.0;
constexpr int trimIndex = 96;

double bump(int k)
{
    if (k <= bumpStart || k >= bumpEnd)
        return 0.0;
    const double s = std::sin(pi * (k - bumpStart) / (bumpEnd - bumpStart));
    return s * s;
}

double tellingValue(int k)
{
    for (const TellingRow& row : kTellingRows)
        if (row.k == k)
            return row.value;
    return 0.0;
}

MonotoneCubic buildPhase()
{
    std::vector<double> x, y;
    for (const LeadingPoint& p : leadingPoints) {
        const double a = std::asin(tellingValue(p.k) / p.envelope);
        x.push_back(p.k);
        y.push_back(p.pastCrest ? pi - a : a);
    }
    for (const PhaseKnot& p : phaseKnots) {
        x.push_back(p.k);
        y.push_back(p.halfTurns * pi);
    }
    return MonotoneCubic(x, y);
}

// ln E through the published rows and the shape knots, in ascending k.
MonotoneCubic buildLogEnvelope(const MonotoneCubic& phase)
{
    struct Knot {
        double k, envelope;
    };
    std::vector<Knot> knots;
    for (const LeadingPoint& p : leadingPoints)
        knots.push_back({static_cast<double>(p.k), p.envelope});
    for (const EnvelopeKnot& p : shapeKnots)
        knots.push_back({p.k, p.envelope});
    for (const TellingRow& row : kTellingRows)
        if (row.k > 2)
            knots.push_back({static_cast<double>(row.k), row.value / std::sin(phase(row.k))});

    for (std::size_t i = 1; i < knots.size(); ++i)  // insertion sort: a handful of knots
        for (std::size_t j = i; j > 0 && knots[j].k < knots[j - 1].k; --j)
            std::swap(knots[j], knots[j - 1]);
    std::vector<double> x, y;
    for (const Knot& knot : knots) {
        x.push_back(knot.k);
        y.push_back(std::log(knot.envelope));
    }
    return MonotoneCubic(x, y);
}

double leftToRightSum(const std::vector<double>& v)
{
    double sum = 0.0;
    for (double x : v)
        sum += x;
    return sum;
}

// Moves values[k] by whole ulps, within a small window, to the setting whose DC gain is nearest the target.
void absorbRoundingError(std::vector<double>& values, int k)
{
    constexpr int window = 512;
    double candidate = values[k];
    for (int i = 0; i < window; ++i)
        candidate = std::nextafter(candidate, -INFINITY);
    double best = values[k];
    std::int64_t bestUlps = UlpDistance(PlainDcGain(values), kDcGain);
    for (int i = -window; i <= window; ++i, candidate = std::nextafter(candidate, INFINITY)) {
        const double saved = values[k];
        values[k] = candidate;
        const std::int64_t ulps = UlpDistance(PlainDcGain(values), kDcGain);
        values[k] = saved;
        const bool closer = ulps < bestUlps;
        const bool asCloseButSmallerMove = ulps == bestUlps && std::fabs(candidate - saved) < std::fabs(best - saved);
        if (closer || asCloseButSmallerMove) {
            best = candidate;
            bestUlps = ulps;
        }
    }
    values[k] = best;
}

}  // namespace

TxResponse designTxResponse()
{
    TxResponse r;
    r.times.resize(kLength);
    r.values.assign(kLength, 0.0);
    for (int k = 0; k < kLength; ++k)
        r.times[k] = static_cast<double>(k) * kStep;

    const MonotoneCubic phase = buildPhase();
    const MonotoneCubic logEnvelope = buildLogEnvelope(phase);

    std::vector<double> carrier(kLastNonZero + 1), bumpPart(kLastNonZero + 1);
    for (int k = 0; k <= kLastNonZero; ++k) {
        const double e = std::exp(logEnvelope(k));
        const double s = std::sin(phase(k));
        carrier[k] = e * s;
        bumpPart[k] = e * bump(k) * s;
    }
    // The sum is linear in the bump's weight.
    const double targetSum = kDcGain / kStep;
    r.bumpWeight = (targetSum - leftToRightSum(carrier)) / leftToRightSum(bumpPart);

    for (int k = 0; k <= kLastNonZero; ++k)
        r.values[k] = carrier[k] + r.bumpWeight * bumpPart[k];
    for (const TellingRow& row : kTellingRows)
        r.values[row.k] = row.value;

    r.trimIndex = trimIndex;
    const double beforeTrim = r.values[trimIndex];
    r.values[trimIndex] += targetSum - leftToRightSum(r.values);
    absorbRoundingError(r.values, trimIndex);
    r.trimCorrection = r.values[trimIndex] - beforeTrim;
    return r;
}
