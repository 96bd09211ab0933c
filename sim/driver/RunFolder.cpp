#include "sim/driver/RunFolder.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "sim/report/ReportFiles.h"
#include "sim/report/StatisticsText.h"

namespace ksim {

namespace {

const char* const kLockName = ".kelvane-sim.lock";

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void MakeParents(const std::string& path) {
    for (std::size_t at = 1; at < path.size(); ++at) {
        if (path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("cannot create the folder " + part + ": " + std::strerror(errno));
        if (!IsDirectory(part)) throw std::runtime_error(part + " is a file, not a folder");
    }
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemoveTree(const std::string& path) {
    nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

const char* const kRunOutputs[] = {"summary.json", "report.html", "eye.png", "eye.svg", "clock_period.svg",
                                   "clock_phase.svg", "adaptation_merit.svg", "adaptation_setting.svg",
                                   "adaptation_taps.svg", "pulse_response.svg", "insertion_loss.svg",
                                   "waveforms.csv", "clock_times.csv", "rx_equalised", "rx_decisions", nullptr};

RunFolder::RunFolder(const std::string& userPath, const std::string& defaultBase) {
    std::string path = userPath.empty() ? defaultBase : userPath;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) throw std::runtime_error("the run folder needs a name");
    MakeParents(path);
    if (userPath.empty()) {
        for (int suffix = 2; mkdir(path.c_str(), 0755) != 0; ++suffix) {
            if (errno != EEXIST || suffix > 1000)
                throw std::runtime_error("cannot create the run folder " + path + ": " + std::strerror(errno));
            path = defaultBase + "-" + std::to_string(suffix);
        }
        created_ = true;
    } else if (mkdir(path.c_str(), 0755) == 0) {
        created_ = true;
    } else if (errno != EEXIST) {
        throw std::runtime_error("cannot create the run folder " + path + ": " + std::strerror(errno));
    } else if (!IsDirectory(path)) {
        throw std::runtime_error("the run folder " + path + " exists as a file; name a folder with -o");
    }
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) throw std::runtime_error("cannot open the run folder " + path);
    path_ = resolved;

    lock_ = open((path_ + "/" + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock_ < 0) throw std::runtime_error("cannot write into the run folder " + path_ + ": " + std::strerror(errno));
    if (flock(lock_, LOCK_EX | LOCK_NB) != 0) {
        close(lock_);
        lock_ = -1;
        throw std::runtime_error("the run folder " + path_ + " is in use by another kelvane-sim run");
    }
    for (const char* const* name = kRunOutputs; *name != nullptr; ++name) RemoveTree(path_ + "/" + *name);
}

RunFolder::~RunFolder() {
    if (!keep_) {
        if (created_) {
            RemoveTree(path_);
        } else {
            RemoveTree(path_ + "/rx_equalised");
            RemoveTree(path_ + "/rx_decisions");
        }
    }
    if (lock_ >= 0) close(lock_);  // the lock file stays: removing it could let two runs lock two files
}

void WriteRunFolder(const SimOptions& options, const std::string& folder, const RunReport& report) {
    std::vector<std::string> extra;
    if (options.writeCsv) extra = {"waveforms.csv", "clock_times.csv"};
    WriteReportFiles(report, folder, extra);
}

void PrintSummary(const RunReport& r, const std::string& folder) {
    for (const std::string& warning : r.warnings) std::printf("warning: %s\n", warning.c_str());
    std::printf("channel      %s, %.2f dB at Nyquist\n", r.channel.source.c_str(), r.channel.lossDbAtNyquist);
    const ClockAnalysis& k = r.clock;
    if (k.locked && k.lockEdge == 0)  // the loop started within the tolerance of the data's phase
        std::printf("clock        %s from its first edge (phase against the data within %.2f UI throughout), mean "
                    "period %.6f UI, RMS jitter %.4f UI\n",
                    k.stuck ? "NOT acquired, still" : "locked", k.phaseToleranceUi, k.meanPeriodUi, k.rmsJitterUi);
    else if (k.locked)
        std::printf("clock        %s at %.3f us (phase against the data within %.2f UI), mean period %.6f UI, RMS "
                    "jitter %.4f UI\n",
                    k.stuck ? "NOT acquired, still" : "locked", k.lockTimeS * 1e6, k.phaseToleranceUi, k.meanPeriodUi,
                    k.rmsJitterUi);
    else
        std::printf("clock        NOT locked (phase against the data never held within %.2f UI), mean period %.6f UI "
                    "over all %zu edges (%+.0f ppm), %llu slips\n",
                    k.phaseToleranceUi, k.overallPeriodUi, k.edges, k.overallOffsetPpm,
                    static_cast<unsigned long long>(k.slips));
    std::printf("adaptation   %s, CTLE index %d (column %d), taps", r.adaptation.complete ? "complete" : "NOT complete",
                r.adaptation.chosenTableIndex, r.adaptation.chosenColumn);
    for (double tap : r.adaptation.finalTaps) std::printf(" %.3f", tap);
    std::printf(" V\n");
    if (r.eye.traces == 0 && r.eye.clockNotHeldUi > 0)
        std::printf("eye          not measured: the clock never held the data's phase (%llu UI left out)\n",
                    static_cast<unsigned long long>(r.eye.clockNotHeldUi));
    else
        std::printf("eye          height %.1f mV, width %.3f UI\n", r.eye.heightV * 1e3, r.eye.widthUi);
    for (const std::string& line : StatisticsSummaryLines(r)) std::printf("%s\n", line.c_str());
    if (r.ber.aligned || r.ber.bestMismatch == 0)
        std::printf("BER          %llu errors in %llu bits%s (latency %ld bits%s)",
                    static_cast<unsigned long long>(r.ber.errors), static_cast<unsigned long long>(r.ber.bitsCompared),
                    r.ber.aligned ? "" : ", NOT aligned", r.ber.latencyBits, r.ber.inverted ? ", inverted" : "");
    else
        std::printf("BER          NOT aligned: the decisions differ from the sent bits in %.1f %%", r.ber.bestMismatch * 100);
    if (r.ber.realignments > 0)
        std::printf(", %llu slips followed (%llu bits next to them apart, %llu errors there)",
                    static_cast<unsigned long long>(r.ber.realignments), static_cast<unsigned long long>(r.ber.slipBits),
                    static_cast<unsigned long long>(r.ber.slipErrors));
    std::printf("\n");
    for (const std::string& d : r.diagnoses) std::printf("diagnosis    %s\n", d.c_str());
    if (r.runLength.capHit) std::printf("run          %s\n", r.runLength.capNote.c_str());
    std::printf("time         %.1f s, %.2f Msamples/s\n", r.wallSeconds, r.samplesPerSecond / 1e6);
    std::printf("report       %s/report.html\n", folder.c_str());
}

}  // namespace ksim
