#pragma once

// Runs command lines as child processes, a given number at a time, each with its standard output and error
// going to a log file of its own. No shell is involved: the words are passed as they are.

#include <functional>
#include <string>
#include <vector>

namespace ksim {

struct PoolJob {
    std::vector<std::string> command;  // program (absolute path) and arguments
    std::string logPath;               // created or truncated; standard output and error go there
};

struct PoolResult {
    int exitCode = -1;      // the process's exit status; 128 + signal when a signal ended it; -1 when it never started
    double seconds = 0;     // wall time from start to end
    std::string problem;    // why it never started, or the signal that ended it; "" otherwise
};

// Runs every job, at most `parallel` (>= 1) at once, in order of the list. `finished` is called on the
// calling thread as each ends, with the job's index and result. Returns the results in the jobs' order.
std::vector<PoolResult> RunJobs(const std::vector<PoolJob>& jobs, int parallel,
                                const std::function<void(std::size_t, const PoolResult&)>& finished);

}  // namespace ksim
