#include "ModelColumn.h"

#include <vector>

#include "BankLayout.h"

namespace ctle_bank {

ModelColumn::ModelColumn() : transform_(bankPoints) {}

void ModelColumn::Sample(const CtleSetting& setting, double* column) const {
    const double binSpacing = 1.0 / (bankPoints * bankStep);  // [Hz]
    std::vector<ComplexValue> bins(transform_.Bins());
    for (int n = 0; n < transform_.Bins(); ++n) bins[n] = CtleResponse(setting, n * binSpacing);
    transform_.Inverse(bins.data(), column);
    for (int k = 0; k < bankPoints; ++k) column[k] = column[k] / bankStep;
}

}  // namespace ctle_bank
