#include "kit/IbsFile.h"

#include <charconv>
#include <initializer_list>
#include <vector>

namespace kit {

namespace {

// ---- the analog data: ideal buffers, typical / min (slow, weak) / max (fast, strong) corners ----

struct Corners {
    double typ;
    double min;
    double max;
};

constexpr Corners kSupply{1.0, 0.95, 1.05};            // [Voltage Range] [V]
constexpr Corners kDriverOhms{50.0, 55.0, 45.0};       // pull-up and pull-down each [ohm]
constexpr Corners kClampOhms{100.0, 110.0, 90.0};      // each clamp of a receiver pin [ohm]: in parallel, 50 ohm
                                                       // to half the supply, the pin's side of a 100-ohm
                                                       // differential termination
constexpr Corners kRiseTime{12e-12, 15e-12, 9e-12};    // 20 % to 80 % edge [s]
constexpr double kRampLoadOhms = 50.0;                 // R_load of the [Ramp] figures
constexpr Corners kTxCompF{0.5e-12, 0.4e-12, 0.6e-12}; // [F]
constexpr Corners kRxCompF{0.3e-12, 0.25e-12, 0.35e-12};
constexpr double kTableStepV = 0.25;                   // I-V tables run from -supply to 2 x supply [V]
constexpr double kInputMarginV = 0.05;                 // Vinl and Vinh below and above the pin's mid level [V]

// Current into the pin [A] of a resistor to the table's reference, at table voltage `volts`: positive for
// the ground-referenced tables; negative for the supply-referenced ones, whose voltage is supply - pin.
double ResistorCurrent(double volts, double ohms, bool supplyReferenced) {
    const double current = volts / ohms;
    return supplyReferenced ? -current : current;
}

// 20 % to 80 % of the swing a driver of `driverOhms` gives into the ramp load at supply `volts` [V].
double RampSwing(double volts, double driverOhms) {
    return 0.6 * volts * kRampLoadOhms / (driverOhms + kRampLoadOhms);
}

// ---- text ----

// Fixed, so that the generated file is the same whenever it is built; change it with the file's revision.
constexpr const char* kDate = "2026-12-07";

std::string Fixed(double value, int decimals) {
    char text[64];
    const std::to_chars_result written =
        std::to_chars(text, text + sizeof text, value + 0.0, std::chars_format::fixed, decimals);
    return std::string(text, written.ptr);
}

// Columns starting at the given positions, or one blank after the previous column where it runs longer.
std::string Row(std::initializer_list<std::string> columns, std::initializer_list<int> widths) {
    std::string line;
    auto width = widths.begin();
    std::size_t i = 0;
    for (const std::string& column : columns) {
        line += column;
        if (++i < columns.size()) {
            const std::size_t w = width != widths.end() ? static_cast<std::size_t>(*width++) : 0;
            line += std::string(line.size() < w ? w - line.size() : 1, ' ');
        }
    }
    return line + "\n";
}

std::string Triple(const std::string& name, const std::string& typ, const std::string& min, const std::string& max) {
    return Row({name, typ, min, max}, {16, 28, 40});
}

std::string Capacitance(const Corners& farads) {
    return Triple("C_comp", Fixed(farads.typ * 1e12, 2) + "pF", Fixed(farads.min * 1e12, 2) + "pF",
                  Fixed(farads.max * 1e12, 2) + "pF");
}

std::string VoltageRange() {
    return Row({"[Voltage Range]", Fixed(kSupply.typ, 2) + "V", Fixed(kSupply.min, 2) + "V",
                Fixed(kSupply.max, 2) + "V"},
               {16, 28, 40});
}

// An I-V table of resistors of the given corner values, from -supply to 2 x supply in ascending order.
std::string ResistorTable(const std::string& keyword, const Corners& ohms, bool supplyReferenced) {
    std::string table = "|\n" + keyword + "\n";
    if (supplyReferenced) table += "| Table voltage = supply voltage - pin voltage.\n";
    table += Row({"| Voltage", "I(typ)", "I(min)", "I(max)"}, {16, 30, 44});
    const int steps = static_cast<int>(3.0 * kSupply.typ / kTableStepV + 0.5);
    for (int i = 0; i <= steps; ++i) {
        const double volts = -kSupply.typ + kTableStepV * i;
        auto milliamps = [&](double r) { return Fixed(1e3 * ResistorCurrent(volts, r, supplyReferenced), 3) + "mA"; };
        table += Row({Fixed(volts, 2) + "V", milliamps(ohms.typ), milliamps(ohms.min), milliamps(ohms.max)},
                     {16, 30, 44});
    }
    return table;
}

std::string Ramp() {
    auto rate = [](double volts, double ohms, double seconds) {
        return Fixed(RampSwing(volts, ohms), 4) + "/" + Fixed(seconds * 1e12, 2) + "p";
    };
    const std::string typ = rate(kSupply.typ, kDriverOhms.typ, kRiseTime.typ);
    const std::string min = rate(kSupply.min, kDriverOhms.min, kRiseTime.min);
    const std::string max = rate(kSupply.max, kDriverOhms.max, kRiseTime.max);
    // The driver is symmetric, so both edges swing alike whichever rail the load returns to.
    const std::initializer_list<int> widths = {16, 32, 48};
    return "|\n[Ramp]\n" + Row({"| variable", "typ", "min", "max"}, widths) + Row({"dV/dt_r", typ, min, max}, widths) +
           Row({"dV/dt_f", typ, min, max}, widths) + "R_load = " + Fixed(kRampLoadOhms, 0) + "\n";
}

std::string AlgorithmicModel(const std::vector<AlgorithmicModelFiles>& executables) {
    std::string text = "|\n[Algorithmic Model]\n";
    for (const AlgorithmicModelFiles& files : executables)
        text += Row({"Executable", files.platform, files.library, files.amiFile}, {11, 36, 56});
    return text + "[End Algorithmic Model]\n";
}

std::string Header(const IbsKit& kit) {
    std::string text;
    text += "| " + kit.fileName + ": generated by " + kit.generatedBy + ";\n";
    text += "| do not edit. The parameter files " + kit.tx.at(0).amiFile + " and " + kit.rx.at(0).amiFile + "\n";
    text += "| come from the models' own parameter tables.\n";
    text += "|\n";
    text += "[IBIS Ver]       " + kit.ibisVersion + "\n";
    text += "[File Name]      " + kit.fileName + "\n";
    text += "[File Rev]       " + kit.fileRev + "\n";
    text += std::string("[Date]           ") + kDate + "\n";
    text += "[Source]         Kelvane 28 Gb/s repeater model kit. The analog data describe\n"
            "                 ideal buffers (a 50-ohm driver, a 100-ohm differential\n"
            "                 termination), not measured silicon.\n";
    text += "[Notes]          One lane of the repeater: transmitter pair TXP/TXN and\n"
            "                 receiver pair RXP/RXN. Both buffers carry IBIS-AMI models for\n"
            "                 the time-domain flow only (GetWave_Exists True,\n"
            "                 Init_Returns_Impulse False). Run the receiver with Rx_config 1:\n"
            "                 equalised signal out, clock times at falling clock edges. It\n"
            "                 appends its adaptation trace to adapt.txt in the simulator's\n"
            "                 working directory.\n";
    text += "[Disclaimer]     This model kit is provided for simulation only, without\n"
            "                 warranty of any kind. The analog data are nominal values,\n"
            "                 not guaranteed limits.\n";
    text += "[Copyright]      Copyright 2026 Kelvane. All rights reserved.\n";
    return text;
}

std::string Component() {
    std::string text = "|\n[Component]      kelvane_repeater\n[Manufacturer]   Kelvane\n[Package]\n";
    text += Triple("| variable", "typ", "min", "max");
    text += Triple("R_pkg", "0.100", "0.080", "0.120");
    text += Triple("L_pkg", "0.500nH", "0.400nH", "0.600nH");
    text += Triple("C_pkg", "0.200pF", "0.150pF", "0.250pF");
    text += "|\n" + Row({"[Pin]", "signal_name", "model_name"}, {8, 28});
    const std::vector<std::vector<std::string>> pins = {{"1", "TXP", "kelvane_tx"}, {"2", "TXN", "kelvane_tx"},
                                                        {"3", "RXP", "kelvane_rx"}, {"4", "RXN", "kelvane_rx"},
                                                        {"5", "VDD", "POWER"},      {"6", "VSS", "GND"}};
    for (const std::vector<std::string>& pin : pins) text += Row({pin[0], pin[1], pin[2]}, {8, 28});
    const std::initializer_list<int> diffWidths = {12, 21, 28, 40, 52};
    text += "|\n" + Row({"[Diff Pin]", "inv_pin", "vdiff", "tdelay_typ", "tdelay_min", "tdelay_max"}, diffWidths);
    text += Row({"1", "2", "0.1V", "0ns", "0ns", "0ns"}, diffWidths);
    text += Row({"3", "4", "0.1V", "0ns", "0ns", "0ns"}, diffWidths);
    return text;
}

std::string TransmitterModel(const std::vector<AlgorithmicModelFiles>& files) {
    std::string text = "|\n[Model]          kelvane_tx\n";
    text += "Model_type       Output\n";
    text += "Polarity         Non-Inverting\n";
    // Timing load: a 50-ohm termination to half the supply, measured at its mid level.
    const std::string half = Fixed(kSupply.typ / 2, 2) + "V";
    text += "Vref = " + half + "\nRref = 50\nCref = 0pF\nVmeas = " + half + "\n";
    text += Capacitance(kTxCompF);
    text += VoltageRange();
    text += ResistorTable("[Pulldown]", kDriverOhms, false);
    text += ResistorTable("[Pullup]", kDriverOhms, true);
    text += Ramp();
    return text + AlgorithmicModel(files);
}

std::string ReceiverModel(const std::vector<AlgorithmicModelFiles>& files) {
    std::string text = "|\n[Model]          kelvane_rx\n";
    text += "Model_type       Input\n";
    // The termination holds the pin at half the supply.
    text += "Vinl = " + Fixed(kSupply.typ / 2 - kInputMarginV, 2) + "V\n";
    text += "Vinh = " + Fixed(kSupply.typ / 2 + kInputMarginV, 2) + "V\n";
    text += Capacitance(kRxCompF);
    text += VoltageRange();
    text += ResistorTable("[GND Clamp]", kClampOhms, false);
    text += ResistorTable("[POWER Clamp]", kClampOhms, true);
    return text + AlgorithmicModel(files);
}

}  // namespace

std::string RenderIbs(const IbsKit& kit) {
    return Header(kit) + Component() + TransmitterModel(kit.tx) + ReceiverModel(kit.rx) + "|\n[End]\n";
}

}  // namespace kit
