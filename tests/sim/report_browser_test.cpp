// The report as an engineer's browser shows it: a small run's report.html opened in headless Chromium with
// the network shut off (sim/report/headless.sh), every chart drawn by the embedded charting library.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "sim/report/ChartPage.h"
#include "tests/support/RunCommand.h"
#include "tests/support/ScopedTempDir.h"

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(ReportInBrowser, EveryChartDrawsOfflineInHeadlessChromium) {
    if (RunCommand("command -v chromium || command -v chromium-browser").exitCode != 0)
        GTEST_SKIP() << "chromium is not installed (apt-get install chromium): the report's browser check is skipped";
    if (!ksim::ChartPage().Interactive())
        GTEST_SKIP() << "this build of kelvane-sim carries no charting library: its reports have static charts only";
    ScopedTempDir dir;
    const CommandOutcome run = RunCommand(std::string(KELVANE_SIM) + " --no-progress -o run --bits 20000");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::ifstream in(dir.path() + "/run/report.html");
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t charts = Count(page, "data-chart=\"");
    EXPECT_GE(charts, 8u);

    // timeout only guards against a browser that never returns
    const CommandOutcome dom =
        RunCommand("timeout 300 " KELVANE_SOURCE_DIR "/sim/report/headless.sh dom " + dir.path() + "/run/report.html");
    ASSERT_EQ(dom.exitCode, 0) << dom.output.substr(0, 2000);
    // plotly marks each box it drew and gives it its SVG layers
    EXPECT_EQ(Count(dom.output, "class=\"chart js-plotly-plot\""), charts);
    EXPECT_GE(Count(dom.output, "class=\"main-svg\""), 2 * charts);
    EXPECT_NE(dom.output.find("class=\"hm\""), std::string::npos);  // the eye's heat map layer
}

}  // namespace
