#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "sim/driver/CommandLine.h"
#include "sim/report/FileOutput.h"
#include "sim/sweep/CaseTable.h"
#include "sim/sweep/ProcessPool.h"
#include "sim/sweep/SweepCommands.h"
#include "sim/sweep/SweepPlan.h"
#include "sim/sweep/SweepReport.h"

namespace ksim {

namespace {

const char kSweepHelp[] =
    "usage: kelvane-sim sweep [sweep options] [run options]\n"
    "Runs one kelvane-sim case per combination of channels and settings, each in a folder of its own, on all\n"
    "cores, then writes the sweep report (report.html, cases.csv) and a job file (jobs.txt) with one command\n"
    "line per case for other schedulers.\n"
    "sweep options:\n"
    "  --tx NAME=VALUES      transmitter setting to sweep (repeatable): 0:15, 0:1:0.25, 3,7,11 or one value\n"
    "  --rx NAME=VALUES      receiver setting to sweep (repeatable), e.g. CTLE=0:15, DFEtap1=0:30:10\n"
    "  --channel CHANNEL     channel to run every setting on (repeatable; default analytic)\n"
    "  -j, --jobs N          cases run at once (default: the number of cores)\n"
    "  -o, --out FOLDER      sweep folder (default runs/sweep-<date-time>); cases go into FOLDER/cases\n"
    "  --job-file-only       write jobs.txt and stop, to run the cases elsewhere, then kelvane-sim collect FOLDER\n"
    "  --resume              skip cases whose folder already holds a summary.json\n"
    "run options: any other option of kelvane-sim, given to every case (e.g. --bits 20000 --noise 0.005)\n";

std::string SweepFolderName() {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    return std::string("runs/sweep-") + stamp;
}

void MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("cannot create the folder " + part + ": " + std::strerror(errno));
    }
}

std::string Absolute(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) throw std::runtime_error("cannot open the folder " + path);
    return resolved;
}

bool HasFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

struct SweepRequest {
    std::vector<SweepAxis> txAxes, rxAxes;
    std::vector<std::string> channels;
    std::vector<std::string> passThrough;
    std::string folder;
    int parallel = 0;
    bool jobFileOnly = false;
    bool resume = false;
};

// Reads the sweep's own options; everything else is handed to every case. Throws std::invalid_argument.
SweepRequest ParseSweepArgs(const std::vector<std::string>& args) {
    SweepRequest r;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string word = args[i], value;
        const std::size_t equals = word.find('=');
        const bool joined = word.compare(0, 2, "--") == 0 && equals != std::string::npos;
        if (joined) value = word.substr(equals + 1), word.resize(equals);
        auto takeValue = [&]() {
            if (joined) return value;
            if (i + 1 >= args.size()) throw std::invalid_argument(word + " needs a value");
            return args[++i];
        };
        if (word == "--tx") r.txAxes.push_back(ParseSweepAxis("tx", takeValue()));
        else if (word == "--rx") r.rxAxes.push_back(ParseSweepAxis("rx", takeValue()));
        else if (word == "--channel") r.channels.push_back(takeValue());
        else if (word == "-o" || word == "--out") r.folder = takeValue();
        else if (word == "--job-file-only") r.jobFileOnly = true;
        else if (word == "--resume") r.resume = true;
        else if (word == "-j" || word == "--jobs") {
            const std::string text = takeValue();
            char* end = nullptr;
            const long n = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || n < 1 || n > 1024) throw std::invalid_argument("-j needs a number of cases from 1 to 1024, not " + text);
            r.parallel = static_cast<int>(n);
        } else if (word == "--tx-params" || word == "--rx-params") {
            throw std::invalid_argument(word + " replaces the settings a sweep varies; sweep with --tx/--rx NAME=VALUES instead");
        } else {
            r.passThrough.push_back(args[i]);
        }
    }
    if (r.channels.empty()) r.channels.push_back("analytic");
    if (r.parallel == 0) r.parallel = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return r;
}

// The case's options must make a valid run before hundreds of processes are started with them.
bool CaseOptionsValid(const SweepCase& one) {
    std::vector<std::string> words = one.command;
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    SimOptions options;
    int exitCode = 0;
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), options, exitCode);
}

std::string LastLine(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return "";
    char line[1024];
    std::string last;
    while (std::fgets(line, sizeof line, file) != nullptr)
        if (line[0] != '\n') last = line;
    std::fclose(file);
    while (!last.empty() && last.back() == '\n') last.pop_back();
    return last;
}

std::string Duration(double seconds) {
    char text[32];
    if (seconds < 120) std::snprintf(text, sizeof text, "%.0f s", seconds);
    else std::snprintf(text, sizeof text, "%.0f min %02.0f s", std::floor(seconds / 60), std::fmod(seconds, 60.0));
    return text;
}

}  // namespace

int RunSweepCommand(const std::vector<std::string>& args, const std::string& program) {
    for (const std::string& word : args)
        if (word == "-h" || word == "--help") return std::fputs(kSweepHelp, stdout), 0;
    SweepRequest request;
    std::vector<SweepCase> cases;
    std::string folder;
    try {
        request = ParseSweepArgs(args);
        const std::string named = request.folder.empty() ? SweepFolderName() : request.folder;
        MakeFolders(named);
        folder = Absolute(named);
        MakeFolders(folder + "/cases");
        SweepPlanInput plan;
        plan.program = program;
        plan.casesFolder = folder + "/cases";
        plan.channels = request.channels;
        plan.axes = request.txAxes;
        plan.axes.insert(plan.axes.end(), request.rxAxes.begin(), request.rxAxes.end());
        plan.passThrough = request.passThrough;
        cases = PlanSweep(plan);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-sim sweep: %s\n%s", e.what(), kSweepHelp);
        return 2;
    }
    if (!CaseOptionsValid(cases.front())) {
        std::fprintf(stderr, "kelvane-sim sweep: the options above are given to every case; see kelvane-sim --help\n");
        return 2;
    }
    try {
        WriteTextFile(folder + "/jobs.txt", JobFileText(cases));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-sim sweep: %s\n", e.what());
        return 1;
    }
    std::printf("sweep        %zu cases, job file %s/jobs.txt\n", cases.size(), folder.c_str());
    if (request.jobFileOnly) {
        std::printf("run the job file with any scheduler, then: kelvane-sim collect %s\n", folder.c_str());
        return 0;
    }
    std::vector<PoolJob> jobs;
    std::vector<std::size_t> caseOfJob;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (request.resume && HasFile(cases[i].folder + "/summary.json")) continue;
        MakeFolders(cases[i].folder);
        jobs.push_back({cases[i].command, cases[i].folder + "/run.log"});
        caseOfJob.push_back(i);
    }
    std::printf("running      %zu cases, %d at once\n", jobs.size(), request.parallel);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    std::size_t done = 0, failed = 0;
    RunJobs(jobs, request.parallel, [&](std::size_t index, const PoolResult& result) {
        ++done;
        const SweepCase& one = cases[caseOfJob[index]];
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double left = elapsed / static_cast<double>(done) * static_cast<double>(jobs.size() - done);
        std::string outcome = "done in " + Duration(result.seconds);
        if (result.exitCode != 0) {
            ++failed;
            const std::string why = !result.problem.empty() ? result.problem : LastLine(jobs[index].logPath);
            outcome = "FAILED (exit " + std::to_string(result.exitCode) + ")" + (why.empty() ? "" : ": " + why);
        }
        std::fprintf(stderr, "[%zu/%zu] %s %s; %s left\n", done, jobs.size(), one.name.c_str(), outcome.c_str(),
                     Duration(left).c_str());
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<std::string> folders;
    for (const SweepCase& one : cases) folders.push_back(one.folder);
    const CaseTable table = BuildCaseTable(folders);
    try {
        WriteSweepReport(table, "kelvane-sim sweep", folder);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-sim sweep: %s\n", e.what());
        return 1;
    }
    for (const std::string& channel : table.channels) {
        std::printf("%s\n", BestCaseLine(table, channel).c_str());
    }
    std::printf("time         %s for %zu cases%s\n", Duration(seconds).c_str(), jobs.size(),
                failed ? (", " + std::to_string(failed) + " FAILED").c_str() : "");
    std::printf("report       %s/report.html\n", folder.c_str());
    return failed ? 1 : 0;
}

}  // namespace ksim
