#include "CtleFamily.h"

#include <cmath>
#include <vector>

#include "BankFacts.h"
#include "NewtonSolve.h"

namespace ctle_bank {
namespace {

// Guesses that every telling column converges from: modest peaking at code 0, strong at code 255, and a
// delay a few ps ahead of the peak (the band limit's group delay makes up the rest).
constexpr double peakingGuessCode0 = 1.4;
constexpr double peakingGuessCode255 = 4.5;
constexpr double delayGuessLead = 5e-12;  // [s]

constexpr double peakingDifferenceStep = 1e-6;
constexpr double delayDifferenceStep = 1e-15;  // [s]
constexpr double residualTolerance = 1e-13;    // relative to the peak value
constexpr int newtonIterations = 60;

// Weight of code 255 in a power law: x^e, exact at both ends.
double LawWeight(int code, double exponent) {
    if (code == 0) return 0.0;
    if (code == codesPerGroup - 1) return 1.0;
    return std::pow(CodePosition(code), exponent);
}

double Blend(double atCode0, double atCode255, double weight) {
    return atCode0 * (1.0 - weight) + atCode255 * weight;
}

// Exponent e with x^e = weight; fails when the mid value does not lie strictly between the ends.
bool FitExponent(double atCode0, double atMid, double atCode255, int midCode, const char* what, double& exponent,
                 std::string& error) {
    const double weight = (atMid - atCode0) / (atCode255 - atCode0);
    if (!(weight > 0.0 && weight < 1.0)) {
        error = std::string("code ") + std::to_string(midCode) + "'s " + what +
                " does not lie between those of codes 0 and 255";
        return false;
    }
    exponent = std::log(weight) / std::log(CodePosition(midCode));
    return true;
}

}  // namespace

CtleSetting CtleFamily::Setting(int group, int code) const {
    const GroupEnds& ends = groups[group];
    return {Blend(ends.code0.dcGain, ends.code255.dcGain, LawWeight(code, law.gain)),
            Blend(ends.code0.peaking, ends.code255.peaking, LawWeight(code, law.peaking)),
            Blend(ends.code0.delay, ends.code255.delay, LawWeight(code, law.delay))};
}

bool SolvePeakSetting(const ModelColumn& model, double dcGain, int peakIndex, double peakValue,
                      const CtleSetting& start, CtleSetting& solved, std::string& error) {
    std::vector<double> column(bankPoints);
    // Unknowns: peaking and delay. Equations: the peak sample's value, and equal neighbours around it so
    // that the sampled maximum sits on that sample.
    const auto residual = [&](Pair unknowns) -> Pair {
        model.Sample({dcGain, unknowns.first, unknowns.second}, column.data());
        return {(column[peakIndex] - peakValue) / peakValue,
                (column[peakIndex + 1] - column[peakIndex - 1]) / peakValue};
    };
    const NewtonOutcome outcome =
        SolveNewton2D(residual, {start.peaking, start.delay}, {peakingDifferenceStep, delayDifferenceStep},
                      residualTolerance, newtonIterations);
    if (!outcome.converged || !(outcome.solution.first > 0.0) || !(outcome.solution.second >= 0.0)) {
        error = "no peaking and delay put a peak of " + std::to_string(peakValue) + " /s at sample " +
                std::to_string(peakIndex) + " with DC gain " + std::to_string(dcGain);
        return false;
    }
    solved = {dcGain, outcome.solution.first, outcome.solution.second};
    return true;
}

bool SolveFamily(const ModelColumn& model, CtleFamily& family, std::string& error) {
    for (int group = 0; group < gainGroups; ++group) {
        for (int end = 0; end < 2; ++end) {
            const int code = end == 0 ? 0 : codesPerGroup - 1;
            const TellingColumn* telling = FindTellingColumn(group, code);
            if (telling == nullptr) {
                error = "no telling column for group " + std::to_string(group) + " code " + std::to_string(code);
                return false;
            }
            const int peakIndex = telling->peakTimePs / 2;
            const CtleSetting guess = {telling->dcGain, end == 0 ? peakingGuessCode0 : peakingGuessCode255,
                                       peakIndex * bankStep - delayGuessLead};
            CtleSetting& setting = end == 0 ? family.groups[group].code0 : family.groups[group].code255;
            if (!SolvePeakSetting(model, telling->dcGain, peakIndex, telling->peak, guess, setting, error)) {
                return false;
            }
        }
    }

    // Only group 0 states a column between its ends; its laws carry every group.
    const int midCode = 128;
    const TellingColumn* mid = FindTellingColumn(0, midCode);
    if (mid == nullptr) {
        error = "no telling column for group 0 code 128";
        return false;
    }
    const GroupEnds& ends = family.groups[0];
    const CtleSetting guess = {mid->dcGain, 0.5 * (ends.code0.peaking + ends.code255.peaking),
                               0.5 * (ends.code0.delay + ends.code255.delay)};
    CtleSetting midSetting;
    if (!SolvePeakSetting(model, mid->dcGain, mid->peakTimePs / 2, mid->peak, guess, midSetting, error)) return false;

    return FitExponent(ends.code0.dcGain, midSetting.dcGain, ends.code255.dcGain, midCode, "DC gain",
                       family.law.gain, error) &&
           FitExponent(ends.code0.peaking, midSetting.peaking, ends.code255.peaking, midCode, "peaking",
                       family.law.peaking, error) &&
           FitExponent(ends.code0.delay, midSetting.delay, ends.code255.delay, midCode, "delay", family.law.delay,
                       error);
}

}  // namespace ctle_bank
