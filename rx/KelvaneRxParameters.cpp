#include "rx/KelvaneRx.h"

namespace {
// Element 11 lies outside the 0..255 code range on purpose: at that table index the selection index passes
// the bank's end and the equaliser falls back to its first response.
constexpr int kEqTableDefaults[kelvane_rx::kEqTableLength] = {0,   64,  80,  128, 144,  192, 208, 209,
                                                              213, 216, 234, 2347, 253, 238, 239, 255};
using Param = AmiParameterSpec<kelvane_rx>;
constexpr Param kParameters[] = {
    Param::Integer("Rx_config", &kelvane_rx::Rx_config, 1,
                  "0: decisions out, rising clock edges; 1: equalised signal out, falling clock edges").Bounded(0, 1),
    Param::Integer("Factor", &kelvane_rx::Factor, 1,
                   "oscillator free-running frequency in multiples of the bit rate; only 1 recovers the clock, and above 1 "
                   "the reported clock times are thinned to at most floor(n / samples per bit) + 2 per AMI_GetWave "
                   "call of n samples").Bounded(1, 1),
    Param::Real("VCO_Sensitivity", &kelvane_rx::VCO_Sensitivity, 600000000.0, "oscillator gain [Hz/V]")
        .Bounded(150000000.0, 2400000000.0),
    Param::Integer("CTLE", &kelvane_rx::CTLE, 0, "EQ_TABLE index used while CTLEAdapt is 0").Clamped(0, 15),
    Param::Integer("DFEAdapt", &kelvane_rx::DFEAdapt, 1, "1 adapts the DFE taps, 0 keeps them fixed").Bounded(0, 1),
    Param::Integer("DFEtap1", &kelvane_rx::DFEtap1, 0, "start or fixed value of tap 1 [DFElsb steps]").Bounded(-31, 31),
    Param::Integer("DFEtap2", &kelvane_rx::DFEtap2, 0, "fixed value of tap 2 [DFElsb steps]").Bounded(-15, 15),
    Param::Integer("DFEtap3", &kelvane_rx::DFEtap3, 0, "fixed value of tap 3 [DFElsb steps]").Bounded(-15, 15),
    Param::Integer("CTLEAdapt", &kelvane_rx::CTLEAdapt, 1, "1 sweeps the equaliser over EQ_TABLE, 0 uses CTLE").Bounded(0, 1),
    Param::Integer("EOM_window", &kelvane_rx::EOM_window, 2000, "clock periods per eye measurement").Bounded(200, 20000),
    Param::Real("VerticalEyeRes", &kelvane_rx::VerticalEyeRes, 64.0, "level bins of the eye map").Whole().Bounded(4, 256),
    Param::Real("EOMAmplitude", &kelvane_rx::EOMAmplitude, 0.2, "eye map full scale [V] (the monitor uses 0.2)"),
    Param::Real("DFElsb", &kelvane_rx::DFElsb, 0.01, "DFE tap step [V]").Bounded(0.001, 0.05),
    Param::Real("DFEtap4", &kelvane_rx::DFEtap4, 0.0, "fixed value of tap 4 [DFElsb steps]").Whole().Bounded(-15, 15),
    Param::Real("DFEtap5", &kelvane_rx::DFEtap5, 0.0, "fixed value of tap 5 [DFElsb steps]").Whole().Bounded(-15, 15),
    Param::Real("EQ_HIGAIN", &kelvane_rx::EQ_HIGAIN, 0.0, "high-gain range of the gain stage").Whole().Clamped(0, 1),
    Param::Real("VGA_GAIN", &kelvane_rx::VGA_GAIN, 0.0, "gain step of the gain stage").Whole().Clamped(0, 1),
    Param::IntegerList("EQ_TABLE", &kelvane_rx::EQ_TABLE, kEqTableDefaults, kelvane_rx::kEqTableLength,
                      "equaliser code by table index: 0..255 pick the responses of the gain range; codes that pass "
                      "the bank's end (entry 11's default, 2347) select its first response")
        .Bounded(0, 4095),
    Param::Real("DFETap1Limit", &kelvane_rx::DFETap1Limit, 31.0, "bound of DFE tap 1 [DFElsb steps]").Whole().Bounded(0, 63),
    Param::Real("EOMaxAmp", &kelvane_rx::EOMaxAmp, 0.4, "kept by the eye monitor, not used [V]"),
};
}  // namespace

AmiParameterTable<kelvane_rx> kelvane_rx::AmiParameters() { return MakeParameterTable(kParameters); }
