#include "BankAssembly.h"

#include "BankLayout.h"

namespace ctle_bank {

std::vector<double> AssembleBank(const ModelColumn& model, const CtleFamily& family,
                                 const std::vector<double>& precursor) {
    std::vector<double> bank(static_cast<size_t>(bankValues));
    for (int group = 0; group < gainGroups; ++group) {
        for (int code = 0; code < codesPerGroup; ++code) {
            double* column = &bank[static_cast<size_t>(ColumnIndex(group, code)) * bankPoints];
            model.Sample(family.Setting(group, code), column);
            for (size_t k = 0; k < precursor.size() && k < static_cast<size_t>(bankPoints); ++k) {
                column[k] = column[k] + precursor[k];
            }
        }
    }
    return bank;
}

}  // namespace ctle_bank
