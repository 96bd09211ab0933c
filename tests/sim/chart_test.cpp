// Charts of the reports: the plotly figure a chart becomes, the page that carries the charting library, and
// the static drawing used without it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/report/Chart.h"
#include "sim/report/ChartLibrary.h"
#include "sim/report/ChartPage.h"

namespace ksim {
namespace {

using Json = nlohmann::json;

std::vector<double> Numbers(const Json& values) {
    std::vector<double> out;
    for (const Json& v : values) out.push_back(v.is_null() ? NAN : v.get<double>());
    return out;
}

// Equal element by element, NaN matching NaN (a gap in the line).
void ExpectSame(const std::vector<double>& got, const std::vector<double>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (std::isnan(want[i])) {
            EXPECT_TRUE(std::isnan(got[i])) << i;
        } else {
            EXPECT_DOUBLE_EQ(got[i], want[i]) << i;
        }
    }
}

TEST(Chart, FigureHoldsThePointsAsPlotlyDrawsThem) {
    Chart chart;
    chart.title = "title </script><!-- & more";
    ChartTrace wrapped;  // a NaN left out, a line break at each jump over 50
    wrapped.name = "phase";
    wrapped.x = {1, 2, 3, 4, 5};
    wrapped.y = {1, NAN, 3, 100, 4};
    wrapped.breakJump = 50;
    wrapped.steps = true;
    wrapped.dashed = true;
    ChartTrace cursors;
    cursors.kind = TraceKind::Markers;
    cursors.hoverText = "cursor";
    cursors.x = {0.123456789012, 2};
    cursors.y = {1, 2};
    cursors.rightAxis = true;
    chart.traces = {wrapped, cursors};
    chart.y.include = {0};
    chart.x.integer = true;
    chart.guides.push_back({true, 2.5, "Nyquist", "#6b7280"});
    const std::string text = ChartFigureJson(chart);
    EXPECT_EQ(text.find('<'), std::string::npos);
    const Json figure = Json::parse(text);
    const Json& line = figure["data"][0];
    ExpectSame(Numbers(line["x"]), {1, 3, NAN, 4, NAN, 5});
    ExpectSame(Numbers(line["y"]), {1, 3, NAN, 100, NAN, 4});
    EXPECT_EQ(line["line"]["shape"], "hv");
    EXPECT_EQ(line["line"]["dash"], "dash");
    EXPECT_EQ(line["mode"], "lines");
    const Json& dots = figure["data"][1];
    EXPECT_EQ(dots["mode"], "markers");
    EXPECT_EQ(dots["name"], "cursor");
    EXPECT_FALSE(dots["showlegend"].get<bool>());
    EXPECT_EQ(dots["yaxis"], "y2");
    EXPECT_DOUBLE_EQ(dots["x"][0].get<double>(), 0.12345679);  // 8 significant digits
    const Json& layout = figure["layout"];
    EXPECT_EQ(layout["title"]["text"], chart.title);
    EXPECT_EQ(layout["yaxis2"]["overlaying"], "y");
    ExpectSame(Numbers(layout["yaxis"]["range"]), {-5, 105});  // 0..100 with 5 % either side
    EXPECT_EQ(layout["xaxis"]["dtick"], 1);
    EXPECT_EQ(layout["shapes"][0]["x0"], 2.5);
    EXPECT_EQ(layout["annotations"][0]["text"], "Nyquist");
}

TEST(Chart, LogAxesDecimationMapsContoursAndEmptyCharts) {
    Chart chart;
    ChartTrace ber;
    ber.x = {1, 2, 3, 4};
    ber.y = {1e-3, 0, -1, 1e-12};  // zero and below have no place on a log axis
    chart.traces = {ber};
    chart.y.log = true;
    chart.y.fixed = true;
    chart.y.min = 1e-15;
    chart.y.max = 1;
    chart.guides.push_back({false, 1e-12, "1e-12", "#dc2626"});
    Json figure = Json::parse(ChartFigureJson(chart));
    ExpectSame(Numbers(figure["data"][0]["x"]), {1, 4});
    EXPECT_EQ(figure["layout"]["yaxis"]["type"], "log");
    ExpectSame(Numbers(figure["layout"]["yaxis"]["range"]), {-15, 0});
    EXPECT_DOUBLE_EQ(figure["layout"]["annotations"][0]["y"].get<double>(), -12);  // plotly's log position

    ChartTrace many;
    for (int i = 0; i < 10000; ++i) {
        many.x.push_back(i);
        many.y.push_back(i == 5000 ? 1e3 : std::sin(i));
    }
    chart = Chart();
    chart.maxPoints = 100;
    chart.traces = {many};
    figure = Json::parse(ChartFigureJson(chart));
    const std::vector<double> kept = Numbers(figure["data"][0]["y"]);
    EXPECT_EQ(kept.size(), 100u);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), 1e3), 1);  // the spike survives

    ChartTrace map, contour;
    map.kind = TraceKind::HeatMap;
    map.x = {0, 1, 2};
    map.y = {10, 20};
    map.z = {1, 2, NAN, 4, 5, 6};
    map.zHover = {10, 100, 0, 1e4, 1e5, 1e6};
    map.zMin = 0;
    contour = map;
    contour.kind = TraceKind::Contour;
    contour.contourLevels = {-12, -9, -6, -3};
    chart = Chart();
    chart.traces = {map, contour};
    figure = Json::parse(ChartFigureJson(chart));
    const Json& heat = figure["data"][0];
    EXPECT_EQ(heat["type"], "heatmap");
    ASSERT_EQ(heat["z"].size(), 2u);  // one row per y
    ExpectSame(Numbers(heat["z"][0]), {1, 2, NAN});
    ExpectSame(Numbers(heat["text"][1]), {1e4, 1e5, 1e6});
    EXPECT_EQ(heat["zmin"], 0);
    EXPECT_FALSE(heat.contains("zmax"));
    const Json& lines = figure["data"][1]["contours"];
    EXPECT_EQ(lines["start"], -12);
    EXPECT_EQ(lines["end"], -3);
    EXPECT_EQ(lines["size"], 3);
    EXPECT_EQ(figure["layout"]["annotations"].size(), 0u);

    // nothing to draw says so, in both drawings
    chart = Chart();
    ChartTrace gaps;
    gaps.x = {1, 2};
    gaps.y = {NAN, NAN};
    chart.traces = {gaps};
    figure = Json::parse(ChartFigureJson(chart));
    EXPECT_EQ(figure["layout"]["annotations"][0]["text"], "no data");
    EXPECT_NE(ChartSvg(chart).find("no data"), std::string::npos);
    chart.traces = {map};
    EXPECT_NE(ChartSvg(chart).find("only in the interactive view"), std::string::npos);
}

TEST(ChartPage, CarriesTheLibraryOnceAndFallsBackToStaticCharts) {
    struct Case {
        const char* library;
        bool interactive;
        const char* notice;
    };
    const Case cases[] = {
        {"var Plotly = {};", true, "drag to zoom"},
        {"", false, "carries no charting library"},
        {"a = '</SCRIPT>';", false, "cannot be embedded in a page safely"},
        {"a = '<script>';", false, "cannot be embedded in a page safely"},
        {"if (a < b && c <s) d = '<Script src=x>';", false, "cannot be embedded in a page safely"},
        {"if (a < b && c <s) d = '<Scrip';", true, "drag to zoom"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library);
        ChartPage page(c.library, "plotly.js 0.0");
        EXPECT_EQ(page.Interactive(), c.interactive);
        EXPECT_NE(page.Notice().find(c.notice), std::string::npos) << page.Notice();
        Chart chart;
        chart.id = "eye";
        const std::string first = page.Place(chart), second = page.Place(chart, "<svg xmlns=\"x\">own</svg>");
        if (c.interactive) {
            EXPECT_NE(first.find("id=\"eye\""), std::string::npos);
            EXPECT_NE(second.find("id=\"eye-2\""), std::string::npos);  // ids stay unique in the page
            EXPECT_NE(second.find("data-chart=\"eye-2\""), std::string::npos);
            const std::string scripts = page.Scripts();
            EXPECT_EQ(scripts.find(c.library), scripts.rfind(c.library));
            EXPECT_NE(scripts.find("Plotly.newPlot"), std::string::npos);
        } else {
            EXPECT_NE(first.find("<svg"), std::string::npos);
            EXPECT_EQ(first.find("xmlns"), std::string::npos);  // inline SVG needs no namespace
            EXPECT_NE(second.find("own"), std::string::npos);   // a drawing of its own replaces the generic one
            EXPECT_EQ(page.Scripts(), "");
        }
    }
    // the library built into this simulator, when there is one, is plotly.js's script, named with its version
    const std::string_view embedded = EmbeddedChartLibrary();
    if (!embedded.empty()) {
        EXPECT_GT(embedded.size(), 1000000u);
        EXPECT_NE(embedded.substr(0, 200).find("plotly.js v" + EmbeddedChartLibraryName().substr(10)),
                  std::string::npos);
        EXPECT_TRUE(ChartPage().Interactive());
    } else {
        EXPECT_EQ(EmbeddedChartLibraryName(), "");
    }
}

}  // namespace
}  // namespace ksim
