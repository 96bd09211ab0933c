#pragma once

// A model driven in process through the same AMI_Init, AMI_GetWave and AMI_Close code that its library
// exports, with the arithmetic path of its filters chosen per instance, so that tests and benchmarks can
// run the reference path and a fast path side by side.

#include <string>
#include <vector>

#include "ami/AmiEntryPoints.h"
#include "dsp/FirKernels.h"

template <typename Model>
class InProcessModel {
public:
    InProcessModel(const std::string& parameters, double sampleInterval, double bitTime, Velmora::FirPath path) {
        std::vector<char> text(parameters.begin(), parameters.end());
        text.push_back('\0');
        char* message = nullptr;
        initResult = ami_detail::Init<Model>(sampleInterval, bitTime, text.data(), &handle, &message);
        if (handle != nullptr) pathSelected = Instance().model.SelectPath(path);
    }
    ~InProcessModel() {
        if (handle != nullptr) ami_detail::Close<Model>(handle);
    }
    InProcessModel(const InProcessModel&) = delete;
    InProcessModel& operator=(const InProcessModel&) = delete;

    long GetWave(double* wave, long size, double* clockTimes) {
        return ami_detail::GetWave<Model>(wave, size, clockTimes, handle);
    }
    AmiInstance<Model>& Instance() { return *static_cast<AmiInstance<Model>*>(handle); }

    long initResult = 0;
    bool pathSelected = false;  // false: this build or processor lacks the path
    void* handle = nullptr;
};
