#include "sim/sweep/ProcessPool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

extern char** environ;

namespace ksim {

namespace {

using Clock = std::chrono::steady_clock;

// Starts one job; returns its process id, or -1 with the reason in `problem`.
pid_t Start(const PoolJob& job, std::string& problem) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, job.logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& word : job.command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = job.command.empty() ? EINVAL : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        problem = "cannot start " + (job.command.empty() ? std::string("an empty command") : job.command[0]) + ": " +
                  std::strerror(error);
        return -1;
    }
    return pid;
}

}  // namespace

std::vector<PoolResult> RunJobs(const std::vector<PoolJob>& jobs, int parallel,
                                const std::function<void(std::size_t, const PoolResult&)>& finished) {
    std::vector<PoolResult> results(jobs.size());
    std::map<pid_t, std::pair<std::size_t, Clock::time_point>> running;
    std::size_t next = 0;
    const std::size_t limit = parallel < 1 ? 1 : static_cast<std::size_t>(parallel);
    while (next < jobs.size() || !running.empty()) {
        while (next < jobs.size() && running.size() < limit) {
            const std::size_t index = next++;
            std::string problem;
            const pid_t pid = Start(jobs[index], problem);
            if (pid < 0) {
                results[index].problem = problem;
                finished(index, results[index]);
                continue;
            }
            running[pid] = {index, Clock::now()};
        }
        if (running.empty()) continue;
        int status = 0;
        const pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) {
            if (errno == EINTR) continue;
            break;  // no children left to wait for: nothing more can be learnt about them
        }
        const auto it = running.find(pid);
        if (it == running.end()) continue;  // not one of ours
        PoolResult& result = results[it->second.first];
        result.seconds = std::chrono::duration<double>(Clock::now() - it->second.second).count();
        if (WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.exitCode = 128 + WTERMSIG(status);
            result.problem = std::string("ended by signal ") + strsignal(WTERMSIG(status));
        }
        const std::size_t index = it->second.first;
        running.erase(it);
        finished(index, result);
    }
    return results;
}

}  // namespace ksim
