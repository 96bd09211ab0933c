#pragma once

// Runs a test inside a fresh empty directory, so that files a model writes to its current directory
// (the adaptation trace) belong to that test alone.

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

class ScopedTempDir {
public:
    ScopedTempDir() {
        char here[4096];
        if (getcwd(here, sizeof here) == nullptr) throw std::runtime_error("getcwd failed");
        previous_ = here;
        std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + std::string("/kelvaneXXXXXX");
        if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir failed");
    }
    ~ScopedTempDir() {
        if (chdir(previous_.c_str()) != 0) return;
        // Everything the test left behind goes, deepest first.
        nftw(path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return std::remove(p); }, 16,
             FTW_DEPTH | FTW_PHYS);
    }
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string Read(const std::string& name) const {
        std::ifstream in(path_ + "/" + name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string previous_;
    std::string path_;
};
