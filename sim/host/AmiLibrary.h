#pragma once

// A model library loaded with dlopen (LoadLibrary on Windows) and called through its three AMI entry
// points, exactly as a channel simulator calls it. Used by the link simulator, the tests and the benchmarks.

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

class AmiLibrary {
public:
    using InitFn = long (*)(double*, long, long, double, double, char*, char**, void**, char**);
    using GetWaveFn = long (*)(double*, long, double*, char**, void*);
    using CloseFn = long (*)(void*);

    explicit AmiLibrary(const std::string& path) : path_(path) {
        handle_ = Open(path);
        init = reinterpret_cast<InitFn>(Find("AMI_Init"));
        getWave = reinterpret_cast<GetWaveFn>(Find("AMI_GetWave"));
        close = reinterpret_cast<CloseFn>(Find("AMI_Close"));
        if (init == nullptr || getWave == nullptr || close == nullptr) {
            Release();
            throw std::runtime_error(path + " is not an AMI model library: AMI_Init, AMI_GetWave or AMI_Close missing");
        }
    }
    ~AmiLibrary() { Release(); }
    AmiLibrary(const AmiLibrary&) = delete;
    AmiLibrary& operator=(const AmiLibrary&) = delete;

    const std::string& path() const { return path_; }

    InitFn init = nullptr;
    GetWaveFn getWave = nullptr;
    CloseFn close = nullptr;

private:
#if defined(_WIN32)
    static HMODULE Open(const std::string& path) {
        const HMODULE handle = LoadLibraryA(path.c_str());
        if (handle == nullptr)
            throw std::runtime_error("cannot load model library " + path + ": error " + std::to_string(GetLastError()));
        return handle;
    }
    // Through a plain pointer: the entry points' types are restored by the caller.
    void* Find(const char* name) const { return reinterpret_cast<void*>(GetProcAddress(handle_, name)); }
    void Release() { FreeLibrary(handle_); }
    HMODULE handle_ = nullptr;
#else
    static void* Open(const std::string& path) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) throw std::runtime_error("cannot load model library " + path + ": " + dlerror());
        return handle;
    }
    void* Find(const char* name) const { return dlsym(handle_, name); }
    void Release() { dlclose(handle_); }
    void* handle_ = nullptr;
#endif
    std::string path_;
};

// One model instance: AMI_Init on construction, AMI_Close on Close() or destruction.
class AmiSession {
public:
    AmiSession(const AmiLibrary& lib, const std::string& parameters, double sampleInterval, double bitTime)
        : lib_(lib) {
        std::vector<char> text(parameters.begin(), parameters.end());
        text.push_back('\0');
        char* message = nullptr;
        initResult = lib_.init(nullptr, 0, 0, sampleInterval, bitTime, text.data(), nullptr, &handle, &message);
        if (message != nullptr) this->message = message;
    }
    ~AmiSession() {
        if (handle != nullptr) lib_.close(handle);
    }
    AmiSession(const AmiSession&) = delete;
    AmiSession& operator=(const AmiSession&) = delete;

    // One AMI_GetWave call; appends the clock times it returns (without the terminator) to clocks.
    long GetWave(double* wave, std::size_t n, std::vector<double>* clocks = nullptr) {
        times_.assign(n + 1, -2.0);
        const long result = lib_.getWave(wave, static_cast<long>(n), times_.data(), nullptr, handle);
        if (clocks != nullptr) {
            for (double t : times_) {
                if (t == -1.0) break;
                clocks->push_back(t);
            }
        }
        return result;
    }

    // Runs the wave through in blocks of blockSize samples.
    long Process(std::vector<double>& wave, std::size_t blockSize, std::vector<double>* clocks = nullptr) {
        long result = 1;
        for (std::size_t start = 0; start < wave.size(); start += blockSize) {
            const std::size_t n = std::min(blockSize, wave.size() - start);
            if (GetWave(wave.data() + start, n, clocks) != 1) result = 0;
        }
        return result;
    }
    long Close() {
        const long result = lib_.close(handle);
        handle = nullptr;
        return result;
    }

    long initResult = 0;
    void* handle = nullptr;
    std::string message;

private:
    const AmiLibrary& lib_;
    std::vector<double> times_;
};
