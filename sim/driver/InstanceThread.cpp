#include "sim/driver/InstanceThread.h"

#include <sched.h>
#include <unistd.h>

#include <utility>

namespace ksim {

InstanceThread::InstanceThread(const InstanceDirectory& home) : home_(home) {
    thread_ = std::thread([this] { Loop(); });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return ready_; });
}

InstanceThread::~InstanceThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void InstanceThread::Loop() {
    const bool own = unshare(CLONE_FS) == 0 && fchdir(home_.fd()) == 0;
    std::unique_lock<std::mutex> lock(mutex_);
    ownDirectory_ = own;
    ready_ = true;
    changed_.notify_all();
    if (!own) return;
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || (pending_ && work_); });
        if (stopping_) return;
        std::function<void()> work = std::move(work_);
        work_ = nullptr;
        lock.unlock();
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        pending_ = false;
        changed_.notify_all();
    }
}

void InstanceThread::Start(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        work_ = std::move(work);
        pending_ = true;
    }
    changed_.notify_all();
}

void InstanceThread::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ownDirectory_) {
        std::function<void()> work = std::move(work_);
        work_ = nullptr;
        pending_ = false;
        lock.unlock();
        if (work) {
            InDirectory inside(home_);
            work();
        }
        return;
    }
    changed_.wait(lock, [this] { return !pending_; });
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace ksim
