// What the report tells the engineer beyond the figures: the sweep's candidates, an equaliser entry outside
// the bank, the transmitter's FFE weights and which of them de-emphasise, the insertion loss, where the eye's
// width lies, and what made the run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "sim/SimResults.h"
#include "sim/report/HtmlReport.h"
#include "sim/report/ReportPlots.h"

using namespace ksim;

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

double NumberAfter(const std::string& text, std::size_t at) { return std::strtod(text.c_str() + at, nullptr); }

// A run whose sweep chose entry 11 (code 2347) and whose transmitter de-emphasises its post-cursor.
RunReport SweptReport() {
    RunReport r;
    r.bitTime = 3.571428571428571e-11;
    r.samplesPerBit = 32;
    r.commandLine = "kelvane-sim --tx c1=3 --tx c1_sign=0";
    r.toolVersion = "9.8.7";
    for (int i = 0; i < 18; ++i) {
        AdaptationStep s;
        s.tableIndex = i < 16 ? i : 11;
        s.heo = i == 11 ? 0.7 : 0.3;
        r.adaptation.steps.push_back(s);
    }
    r.adaptation.complete = true;
    r.adaptation.chosenTableIndex = 11;
    r.rxApplied.push_back({"EQ_TABLE.11", "", 2347, false});
    r.txFfeKnown = true;
    r.txFfeWeights[0] = 0.0725;
    r.txFfeWeights[1] = 0.3;
    r.txFfeWeights[2] = -0.0615;
    for (int k = 0; k <= 10; ++k) {
        r.channel.lossFrequencyHz.push_back(4.2e9 * k);
        r.channel.lossDb.push_back(1.5 * k);
    }
    return r;
}

}  // namespace

TEST(ReportContent, SweepCandidatesEntryOutsideTheBankFfeSignsLossAndProvenance) {
    const std::string html = RenderHtmlReport(SweptReport(), HtmlReportOptions());
    EXPECT_EQ(Count(html, ">sweep candidate<"), 14u);
    EXPECT_EQ(Count(html, "sweep candidate, chosen (code 2347 lies outside the bank"), 1u);
    EXPECT_EQ(Count(html, "sweep, measured only (never chosen)"), 1u);
    EXPECT_EQ(Count(html, ">DFE search<"), 2u);
    EXPECT_NE(html.find("pre +0.0725 (adds), main +0.3000, post -0.0615 (de-emphasises)"), std::string::npos);
    EXPECT_NE(html.find("Channel insertion loss"), std::string::npos);
    EXPECT_NE(html.find("kelvane-sim --tx c1=3 --tx c1_sign=0"), std::string::npos);
    EXPECT_NE(html.find("9.8.7"), std::string::npos);
}

// The width bar spans the crossing-free span where it lies, not a span centred on the sampling point.
TEST(ReportContent, EyeWidthBarSitsWhereTheEyeIs) {
    RunReport r = SweptReport();
    EyeAnalysis& eye = r.eye;
    eye.phaseBins = eye.levelBins = 16;
    eye.levelMaxV = 0.3;
    eye.levelMinV = -0.3;
    eye.density.assign(256, 1);
    eye.heightV = 0.2;
    eye.widthLeftUi = -0.2;
    eye.widthRightUi = 0.5;
    eye.widthUi = 0.7;
    const std::string svg = EyeDiagramSvg(r);
    // The dashed line at the sampling point, then the bar "M x0 y H x1" drawn before its label.
    const std::size_t dashed = svg.find("stroke-dasharray");
    const double x0Sampling = NumberAfter(svg, svg.find("<path d=\"M", dashed) + 10);
    const std::size_t label = svg.find(">width 0.700 UI<");
    ASSERT_NE(label, std::string::npos) << svg;
    const std::size_t bar = svg.rfind("<path d=\"M", label);
    const double x0 = NumberAfter(svg, bar + 10);
    const double x1 = NumberAfter(svg, svg.find('H', bar) + 1);
    EXPECT_NEAR((x0Sampling - x0) / (x1 - x0Sampling), 0.2 / 0.5, 0.02);
}

// The README's own examples must improve the link: a post-cursor setting comes with the sign that
// de-emphasises (c1_sign 0 while the main weight is positive).
TEST(ReportContent, ReadmeExamplesDeEmphasise) {
    std::ifstream in(KELVANE_SOURCE_DIR "/README.md");
    ASSERT_TRUE(in.good());
    std::size_t examples = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find("kelvane-sim") == std::string::npos) continue;
        for (const char* cursor : {"c1=", "cm1="}) {
            const std::size_t at = line.find(std::string("--tx ") + cursor);
            if (at == std::string::npos || line[at + 5 + std::string(cursor).size()] == '0') continue;
            ++examples;
            EXPECT_NE(line.find(std::string("--tx ") + std::string(cursor, std::string(cursor).size() - 1) + "_sign=0"),
                      std::string::npos)
                << line;
        }
    }
    EXPECT_GT(examples, 0u);
}
