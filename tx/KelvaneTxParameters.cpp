#include "tx/KelvaneTx.h"

namespace {
using Param = AmiParameterSpec<kelvane_tx>;
constexpr Param kParameters[] = {
    Param::Real("c0", &kelvane_tx::c0, 15.0, "main-cursor setting (a sum c0 + c1 + cm1 above 31 uses the last table entry)")
        .Whole().Clamped(0, 31),
    Param::Real("c1", &kelvane_tx::c1, 0.0, "post-cursor setting").Whole().Clamped(0, 15),
    Param::Real("cm1", &kelvane_tx::cm1, 4.0, "pre-cursor setting").Whole().Clamped(0, 15),
    Param::Real("c0_sign", &kelvane_tx::c0_sign, 1.0, "main-cursor polarity: 0 negative, 1 positive").Whole().Bounded(0, 1),
    // A cursor de-emphasises when its weight's sign is opposite to the main weight's: c1_sign or cm1_sign 0
    // with c0_sign 1 (the usual setting), or 1 with c0_sign 0. At the defaults (all 1) the cursors add.
    Param::Real("c1_sign", &kelvane_tx::c1_sign, 1.0,
                "post-cursor polarity: 1 positive post weight, 0 negative; 0 de-emphasises while c0_sign is 1, "
                "1 adds post-cursor").Whole().Bounded(0, 1),
    Param::Real("cm1_sign", &kelvane_tx::cm1_sign, 1.0,
                "pre-cursor polarity: 1 positive pre weight, 0 negative; 0 de-emphasises while c0_sign is 1, "
                "1 adds pre-cursor").Whole().Bounded(0, 1),
};
}  // namespace

AmiParameterTable<kelvane_tx> kelvane_tx::AmiParameters() { return MakeParameterTable(kParameters); }
