#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <exception>
#include <stdexcept>
#include <string>

namespace ksim {

// The receiver appends its adaptation trace to "adapt.txt" in the current directory. Each receiver
// instance gets a directory of its own, and the simulator changes into it around every call of that
// instance, so that each trace stays whole.
class InstanceDirectory {
public:
    explicit InstanceDirectory(const std::string& path) : path_(path) {
        fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd_ < 0) throw std::runtime_error("cannot open directory " + path);
    }
    ~InstanceDirectory() { close(fd_); }
    InstanceDirectory(const InstanceDirectory&) = delete;
    InstanceDirectory& operator=(const InstanceDirectory&) = delete;
    const std::string& path() const { return path_; }
    int fd() const { return fd_; }

private:
    std::string path_;
    int fd_ = -1;
};

// Runs a piece of work inside a directory and returns to where it was, also when the work throws.
class InDirectory {
public:
    explicit InDirectory(const InstanceDirectory& dir) {
        home_ = open(".", O_RDONLY | O_DIRECTORY);
        if (home_ < 0 || fchdir(dir.fd()) != 0) throw std::runtime_error("cannot change into " + dir.path());
    }
    ~InDirectory() {
        if (fchdir(home_) != 0) {
            // Nothing sensible is left to do: the next relative path would go astray, so stop here.
            std::terminate();
        }
        close(home_);
    }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    int home_ = -1;
};

}  // namespace ksim
