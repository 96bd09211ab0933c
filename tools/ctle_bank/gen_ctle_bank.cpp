// gen_ctle_bank: builds the receiver equaliser's response bank and writes it as 512000 little-endian
// doubles, column-major. Refuses to write anything when the bank misses one of its stated facts.

#include <cstdio>
#include <string>
#include <vector>

#include "BankAssembly.h"
#include "BankFacts.h"
#include "BankLayout.h"
#include "BankWriter.h"
#include "CtleFamily.h"
#include "ModelColumn.h"
#include "Precursor.h"

namespace {

using namespace ctle_bank;

struct Options {
    std::string bankPath;
    std::string impulseCsvPath;
    std::string frequencyCsvPath;
};

void PrintUsage() {
    std::fprintf(stderr,
                 "usage: gen_ctle_bank [--csv-time <file>] [--csv-freq <file>] <out.bin>\n"
                 "  --csv-time  time table of a few columns per gain group [ps, 1/s]\n"
                 "  --csv-freq  their magnitude responses [GHz, dB]\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--csv-time" || argument == "--csv-freq") && i + 1 < argc) {
            (argument == "--csv-time" ? options.impulseCsvPath : options.frequencyCsvPath) = argv[++i];
        } else if (!argument.empty() && argument[0] != '-' && options.bankPath.empty()) {
            options.bankPath = argument;
        } else {
            return false;
        }
    }
    return !options.bankPath.empty();
}

void PrintFamily(const CtleFamily& family) {
    std::printf("group  code   DC gain         peaking         delay [ps]\n");
    for (int group = 0; group < gainGroups; ++group) {
        for (int code : {0, codesPerGroup - 1}) {
            const CtleSetting& setting = code == 0 ? family.groups[group].code0 : family.groups[group].code255;
            std::printf("%5d  %4d   %.12g  %.12g  %.12g\n", group, code, setting.dcGain, setting.peaking,
                        setting.delay * 1e12);
        }
    }
    std::printf("code laws x^e: DC gain e = %.12g, peaking e = %.12g, delay e = %.12g\n", family.law.gain,
                family.law.peaking, family.law.delay);
}

void PrintFacts(const std::vector<double>& bank) {
    std::printf("column  DC gain   peak [1/s]    at [ps]\n");
    for (const TellingColumn& telling : tellingColumns) {
        const int column = ColumnIndex(telling.group, telling.code);
        const ColumnSummary summary = Summarize(&bank[static_cast<size_t>(column) * bankPoints]);
        std::printf("%6d  %.4f    %.3e     %d\n", column, summary.dcGain, summary.peak, summary.peakIndex * 2);
    }
    std::printf("column 0 starts:");
    for (int k = 0; k < column0HeadLength; ++k) std::printf(" %.5e", bank[k]);
    std::printf("\n");
}

std::vector<int> PlotColumns() {
    std::vector<int> columns;
    for (int group = 0; group < gainGroups; ++group) {
        for (int code : {0, 64, 128, 192, 255}) columns.push_back(ColumnIndex(group, code));
    }
    return columns;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        PrintUsage();
        return 2;
    }

    const ModelColumn model;
    CtleFamily family;
    std::string error;
    if (!SolveFamily(model, family, error)) {
        std::fprintf(stderr, "gen_ctle_bank: %s; nothing written\n", error.c_str());
        return 1;
    }
    PrintFamily(family);

    std::vector<double> modelColumn0(bankPoints);
    model.Sample(family.Setting(0, 0), modelColumn0.data());
    const std::vector<double> precursor = BuildPrecursor(column0Head, column0HeadLength, modelColumn0.data());
    const std::vector<double> bank = AssembleBank(model, family, precursor);

    const std::vector<std::string> misses = CheckBankFacts(bank);
    if (!misses.empty()) {
        for (const std::string& miss : misses) std::fprintf(stderr, "gen_ctle_bank: %s\n", miss.c_str());
        std::fprintf(stderr, "gen_ctle_bank: the bank misses %zu stated facts; nothing written\n", misses.size());
        return 1;
    }
    PrintFacts(bank);

    const bool written =
        WriteLittleEndianDoubles(options.bankPath, bank, error) &&
        (options.impulseCsvPath.empty() || WriteImpulseCsv(options.impulseCsvPath, bank, PlotColumns(), error)) &&
        (options.frequencyCsvPath.empty() ||
         WriteFrequencyCsv(options.frequencyCsvPath, bank, PlotColumns(), model.Transform(), error));
    if (!written) {
        std::fprintf(stderr, "gen_ctle_bank: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
