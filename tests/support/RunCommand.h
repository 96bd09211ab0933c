#pragma once

// Runs a shell command and collects what it prints (standard output and standard error together).

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandOutcome {
    int exitCode = -1;   // -1 when the command could not start or did not exit normally
    std::string output;
};

inline CommandOutcome RunCommand(const std::string& command) {
    CommandOutcome outcome;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return outcome;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) outcome.output += buffer;
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}
