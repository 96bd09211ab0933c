#include "tools/sim/driver/RunFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "tools/sim/report/ReportFiles.h"
#include "tools/sim/report/WaveformCsv.h"

namespace ksim {

std::string PrepareRunFolder(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("cannot create the run folder " + part);
    }
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) throw std::runtime_error("cannot open the run folder " + path);
    return resolved;
}

void WriteRunFolder(const SimOptions& options, const std::string& folder, const LinkWaves& waves,
                    const RunReport& report) {
    std::vector<std::string> extra;
    if (options.writeCsv) {
        std::vector<double> time(waves.equalised.size());
        for (std::size_t i = 0; i < time.size(); ++i) time[i] = static_cast<double>(i) * report.sampleInterval;
        WriteWaveformCsv(folder + "/waveforms.csv", {{"time_s", &time},
                                                      {"rx_input_v", &waves.rxInput},
                                                      {"rx_equalised_v", &waves.equalised},
                                                      {"rx_decision_v", &waves.decisions}});
        WriteWaveformCsv(folder + "/clock_times.csv",
                         {{"falling_edge_s", &waves.fallingEdges}, {"rising_edge_s", &waves.risingEdges}});
        extra = {"waveforms.csv", "clock_times.csv"};
    }
    WriteReportFiles(report, folder, extra);
}

void PrintSummary(const RunReport& r, const std::string& folder) {
    for (const std::string& warning : r.warnings) std::printf("warning: %s\n", warning.c_str());
    std::printf("channel      %s, %.2f dB at Nyquist\n", r.channel.source.c_str(), r.channel.lossDbAtNyquist);
    std::printf("clock        %s, lock at %.3f us, mean period %.6f UI, RMS jitter %.4f UI\n",
                r.clock.locked ? "locked" : "NOT locked", r.clock.lockTimeS * 1e6, r.clock.meanPeriodUi,
                r.clock.rmsJitterUi);
    std::printf("adaptation   %s, CTLE index %d (column %d), taps %.3f %.3f %.3f %.3f %.3f V\n",
                r.adaptation.complete ? "complete" : "NOT complete", r.adaptation.chosenTableIndex,
                r.adaptation.chosenColumn, r.adaptation.finalTaps[0], r.adaptation.finalTaps[1],
                r.adaptation.finalTaps[2], r.adaptation.finalTaps[3], r.adaptation.finalTaps[4]);
    std::printf("eye          height %.1f mV, width %.3f UI\n", r.eye.heightV * 1e3, r.eye.widthUi);
    std::printf("BER          %llu errors in %llu bits%s (latency %ld bits%s)\n",
                static_cast<unsigned long long>(r.ber.errors), static_cast<unsigned long long>(r.ber.bitsCompared),
                r.ber.aligned ? "" : ", NOT aligned", r.ber.latencyBits, r.ber.inverted ? ", inverted" : "");
    std::printf("time         %.1f s, %.2f Msamples/s\n", r.wallSeconds, r.samplesPerSecond / 1e6);
    std::printf("report       %s/report.html\n", folder.c_str());
}

}  // namespace ksim
