#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "sim/driver/ScopedDirectory.h"

namespace ksim {

// A thread that runs one model instance's calls beside the main thread, inside the instance's own directory.
// The thread takes a working directory of its own (Linux shares one per process unless a thread unshares
// it), so the receiver it drives appends its trace there while the main thread works in another directory.
// Where the thread cannot get a directory of its own, the work runs on the caller's thread in Wait,
// inside the directory, as before.
class InstanceThread {
public:
    explicit InstanceThread(const InstanceDirectory& home);
    ~InstanceThread();
    InstanceThread(const InstanceThread&) = delete;
    InstanceThread& operator=(const InstanceThread&) = delete;

    // Hands over a piece of work; the previous one must have been waited for.
    void Start(std::function<void()> work);
    // Returns when the work is done; rethrows what it threw.
    void Wait();

private:
    void Loop();

    const InstanceDirectory& home_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> work_;
    std::exception_ptr failure_;
    bool pending_ = false;  // work handed over and not yet finished
    bool stopping_ = false;
    bool ownDirectory_ = false;  // set by the thread once it works in home_ on its own
    bool ready_ = false;         // the thread has settled ownDirectory_
    std::thread thread_;
};

}  // namespace ksim
