#include "sim/report/ReportFiles.h"

#include <future>

#include "sim/analysis/EqualiserViews.h"
#include "sim/report/EyeImage.h"
#include "sim/report/FileOutput.h"
#include "sim/report/HtmlReport.h"
#include "sim/report/ReportPlots.h"
#include "sim/report/SummaryJson.h"

namespace ksim {

std::vector<std::string> WriteReportFiles(const RunReport& report, const std::string& folder,
                                          const std::vector<std::string>& extraFiles) {
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    // The equaliser views (summary and report both show them) and the report page are worked out on a second
    // thread while this one draws the plots; the files are written in the order below all the same.
    std::future<EqualiserViews> viewsLater =
        std::async(std::launch::async, [&report] { return ComputeEqualiserViews(report); });
    const bool eyeImage = EyeHasImage(report.eye);
    const std::pair<const char*, std::string> plots[] = {
        {"eye.svg", EyeDiagramSvg(report)},
        {"clock_period.svg", ClockPeriodPlot(report)},
        {"clock_phase.svg", ClockPhasePlot(report)},
        {"adaptation_merit.svg", AdaptationMeritPlot(report)},
        {"adaptation_setting.svg", AdaptationSettingPlot(report)},
        {"adaptation_taps.svg", AdaptationTapsPlot(report)},
        {"pulse_response.svg", PulseResponsePlot(report)},
        {"insertion_loss.svg", InsertionLossPlot(report)}};
    std::vector<std::string> written = {"summary.json"};
    if (eyeImage) written.push_back("eye.png");
    for (const auto& plot : plots) written.push_back(plot.first);

    const EqualiserViews views = viewsLater.get();
    HtmlReportOptions options;
    options.files = written;
    options.files.insert(options.files.end(), extraFiles.begin(), extraFiles.end());
    options.equaliserViews = &views;
    std::future<std::string> pageLater =
        std::async(std::launch::async, [&report, &options] { return RenderHtmlReport(report, options); });

    WriteTextFile(base + "summary.json", SummaryJsonText(report, views));
    if (eyeImage) WriteEyePng(report.eye, base + "eye.png");
    for (const auto& plot : plots) WriteTextFile(base + plot.first, plot.second);
    WriteTextFile(base + "report.html", pageLater.get());
    written.push_back("report.html");
    return written;
}

}  // namespace ksim
