#pragma once

// kelvane-sim's sweep, collect and compare subcommands. Each takes the words after its name and returns
// the process's exit code: 0 done, 1 failed (a case or a file), 2 bad command line.

#include <string>
#include <vector>

namespace ksim {

// program: absolute path of kelvane-sim itself, which every case runs.
int RunSweepCommand(const std::vector<std::string>& args, const std::string& program);
int RunCollectCommand(const std::vector<std::string>& args);
int RunCompareCommand(const std::vector<std::string>& args);

}  // namespace ksim
