#include "sim/report/ReportFiles.h"

#include "sim/report/EyeImage.h"
#include "sim/report/FileOutput.h"
#include "sim/report/HtmlReport.h"
#include "sim/report/ReportPlots.h"
#include "sim/report/SummaryJson.h"

namespace ksim {

std::vector<std::string> WriteReportFiles(const RunReport& report, const std::string& folder,
                                          const std::vector<std::string>& extraFiles) {
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::vector<std::string> written;
    auto Text = [&](const std::string& name, const std::string& text) {
        WriteTextFile(base + name, text);
        written.push_back(name);
    };
    Text("summary.json", SummaryJsonText(report));
    if (EyeHasImage(report.eye)) {
        WriteEyePng(report.eye, base + "eye.png");
        written.push_back("eye.png");
    }
    Text("eye.svg", EyeDiagramSvg(report));
    Text("clock_period.svg", ClockPeriodPlot(report));
    Text("clock_phase.svg", ClockPhasePlot(report));
    Text("adaptation_merit.svg", AdaptationMeritPlot(report));
    Text("adaptation_setting.svg", AdaptationSettingPlot(report));
    Text("adaptation_taps.svg", AdaptationTapsPlot(report));
    Text("pulse_response.svg", PulseResponsePlot(report));
    Text("insertion_loss.svg", InsertionLossPlot(report));
    HtmlReportOptions options;
    options.files = written;
    options.files.insert(options.files.end(), extraFiles.begin(), extraFiles.end());
    Text("report.html", RenderHtmlReport(report, options));
    return written;
}

}  // namespace ksim
