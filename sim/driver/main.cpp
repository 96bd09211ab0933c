// kelvane-sim: the Kelvane kit's link simulator. Drives the transmitter and receiver libraries through their
// AMI entry points over a channel, as a channel simulator does, and writes a run folder with a summary, plots
// and a self-contained HTML report.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>

#include "sim/driver/CommandLine.h"
#include "sim/driver/GoldenRun.h"
#include "sim/driver/LinkSimulation.h"
#include "sim/driver/RunFolder.h"
#include "sim/sweep/SweepCommands.h"
#include "sim/sweep/SweepPlan.h"

namespace {

std::string DefaultLibrary(const char* name) { return std::string(KELVANE_KIT_DIR) + "/" + name; }

std::string DefaultRunFolderBase() {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    return std::string("runs/") + stamp;
}

// The running program's own file, which every case of a sweep runs.
std::string SelfPath(const char* argv0) {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return argv0;
    path[length] = '\0';
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    // Subcommands: "verify <kit-dir>" checks a release kit against its golden files; "golden <dir>" makes them.
    const std::string subcommand = argc >= 2 ? argv[1] : "";
    if (subcommand == "verify") return ksim::RunVerifyCommand({argv + 2, argv + argc});
    if (subcommand == "golden") return ksim::RunGoldenCommand({argv + 2, argv + argc}, KELVANE_KIT_DIR);
    // "sweep" runs one case per setting, "collect" merges finished cases, "compare" diffs two runs.
    if (subcommand == "sweep") return ksim::RunSweepCommand({argv + 2, argv + argc}, SelfPath(argv[0]));
    if (subcommand == "collect") return ksim::RunCollectCommand({argv + 2, argv + argc});
    if (subcommand == "compare") return ksim::RunCompareCommand({argv + 2, argv + argc});
    ksim::SimOptions options;
    int exitCode = 0;
    if (!ksim::ParseCommandLine(argc, argv, options, exitCode)) return exitCode;
    if (options.txLibrary.empty()) options.txLibrary = DefaultLibrary("kelvane_tx_x64.so");
    if (options.rxLibrary.empty()) options.rxLibrary = DefaultLibrary("kelvane_rx_x64.so");

    try {
        const auto start = std::chrono::steady_clock::now();
        ksim::RunFolder runFolder(options.outputDir, DefaultRunFolderBase());
        const std::string& folder = runFolder.path();
        ksim::RunReport report;
        report.toolVersion = KELVANE_VERSION;
        report.commandLine = ksim::ShellLine({argv, argv + argc});
        ksim::RunLink(options, folder, report);
        report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        report.samplesPerSecond = static_cast<double>(report.bits) * options.samplesPerBit / report.wallSeconds;
        ksim::WriteRunFolder(options, folder, report);
        ksim::PrintSummary(report, folder);
        runFolder.Keep();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-sim: %s\n", e.what());
        return 1;
    }
}
