// kelvane-sim: the Kelvane kit's link simulator. Drives the transmitter and receiver libraries through their
// AMI entry points over a channel, as a channel simulator does, and writes a run folder with a summary, plots
// and a self-contained HTML report.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>

#include "tools/sim/driver/CommandLine.h"
#include "tools/sim/driver/LinkSimulation.h"
#include "tools/sim/driver/RunFolder.h"

namespace {

std::string DefaultLibrary(const char* name) { return std::string(KELVANE_KIT_DIR) + "/" + name; }

std::string DefaultRunFolder() {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    return std::string("runs/") + stamp;
}

}  // namespace

int main(int argc, char** argv) {
    ksim::SimOptions options;
    int exitCode = 0;
    if (!ksim::ParseCommandLine(argc, argv, options, exitCode)) return exitCode;
    if (options.txLibrary.empty()) options.txLibrary = DefaultLibrary("kelvane_tx_x64.so");
    if (options.rxLibrary.empty()) options.rxLibrary = DefaultLibrary("kelvane_rx_x64.so");
    if (options.outputDir.empty()) options.outputDir = DefaultRunFolder();

    try {
        const auto start = std::chrono::steady_clock::now();
        const std::string folder = ksim::PrepareRunFolder(options.outputDir);
        ksim::RunReport report;
        report.toolVersion = KELVANE_VERSION;
        ksim::LinkWaves waves;
        ksim::RunLink(options, folder, report, waves);
        ksim::AnalyseLink(options, folder, waves, report);
        report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        report.samplesPerSecond = static_cast<double>(waves.equalised.size()) / report.wallSeconds;
        ksim::WriteRunFolder(options, folder, waves, report);
        ksim::PrintSummary(report, folder);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-sim: %s\n", e.what());
        return 1;
    }
}
