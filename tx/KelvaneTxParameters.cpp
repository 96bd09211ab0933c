#include "tx/KelvaneTx.h"

namespace {
using Param = AmiParameterSpec<kelvane_tx>;
constexpr Param kParameters[] = {
    Param::Real("c0", &kelvane_tx::c0, 15.0, "main-cursor setting, 0..31 (truncated; 31 is the largest table entry)"),
    Param::Real("c1", &kelvane_tx::c1, 0.0, "post-cursor setting, 0..15 (truncated)"),
    Param::Real("cm1", &kelvane_tx::cm1, 4.0, "pre-cursor setting, 0..15 (truncated)"),
    Param::Real("c0_sign", &kelvane_tx::c0_sign, 1.0, "main-cursor polarity: 0 negative, any other value positive"),
    Param::Real("c1_sign", &kelvane_tx::c1_sign, 1.0, "post-cursor polarity: 1 positive weight, any other value negative"),
    Param::Real("cm1_sign", &kelvane_tx::cm1_sign, 1.0, "pre-cursor polarity: 1 positive weight, any other value negative"),
};
}  // namespace

AmiParameterTable<kelvane_tx> kelvane_tx::AmiParameters() { return MakeParameterTable(kParameters); }
