#pragma once

#include <vector>

#include "CtleFamily.h"
#include "ModelColumn.h"

namespace ctle_bank {

// The whole bank, column-major (value of response j at t_k is element k + bankPoints * j): each setting's
// model column with the shared precursor added to its first samples.
std::vector<double> AssembleBank(const ModelColumn& model, const CtleFamily& family,
                                 const std::vector<double>& precursor);

}  // namespace ctle_bank
