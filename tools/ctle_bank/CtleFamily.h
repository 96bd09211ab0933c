#pragma once

#include <string>

#include "BankLayout.h"
#include "CtleModel.h"
#include "ModelColumn.h"

namespace ctle_bank {

// Exponents of the power laws that carry K, P and tau from code 0 to code 255 within a group:
// value(x) = value0 (1 - x^e) + value255 x^e with x = code / 255.
struct CodeLaw {
    double gain;     // > 0
    double peaking;  // > 0
    double delay;    // > 0
};

struct GroupEnds {
    CtleSetting code0;
    CtleSetting code255;
};

struct CtleFamily {
    GroupEnds groups[gainGroups];
    CodeLaw law;

    CtleSetting Setting(int group, int code) const;  // group 0..3, code 0..255
};

// Solves peaking and delay of one setting with the given DC gain so that the model column's largest value
// is peakValue [1/s] at sample peakIndex (the neighbours on both sides are equal). start gives the first
// guess of peaking and delay. Returns false and says why when the iteration does not converge.
bool SolvePeakSetting(const ModelColumn& model, double dcGain, int peakIndex, double peakValue,
                      const CtleSetting& start, CtleSetting& solved, std::string& error);

// Solves every group's end codes from the telling columns, then fits the power laws to group 0's code 128.
bool SolveFamily(const ModelColumn& model, CtleFamily& family, std::string& error);

}  // namespace ctle_bank
