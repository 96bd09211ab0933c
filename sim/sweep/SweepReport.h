#pragma once

// The sweep report: one self-contained HTML page with the table of cases, heat maps of the eye height,
// eye width, BER and chosen equaliser over two swept settings per channel, and the best setting of each
// channel; and the same table as CSV for spreadsheets.

#include <string>
#include <vector>

#include "sim/sweep/CaseTable.h"

namespace ksim {

// One figure over a grid of two swept settings; NaN where no case gives it.
struct HeatGrid {
    std::string title;                 // "eye height [mV]"
    std::string xSetting, ySetting;    // "tx.c1", "tx.cm1"
    std::vector<std::string> xValues, yValues;  // ascending (numerically where all are numbers)
    std::vector<double> z;             // yValues.size() rows of xValues.size()
    std::vector<std::string> text;     // what each cell shows ("" where z is NaN)
    bool higherIsBetter = true;
};

// The grids of one channel over the first two swept settings (one row when only one is swept); any other
// swept setting is held at its value in the anchor row (the channel's best case). Empty when nothing is swept.
std::vector<HeatGrid> ChannelHeatGrids(const CaseTable& table, const std::string& channel, int anchorRow);

std::string SweepReportHtml(const CaseTable& table, const std::string& title, const std::string& reportFolder);
std::string CaseTableCsv(const CaseTable& table);

// Writes report.html and cases.csv into the folder.
void WriteSweepReport(const CaseTable& table, const std::string& title, const std::string& folder);

}  // namespace ksim
