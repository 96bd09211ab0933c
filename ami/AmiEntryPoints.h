#pragma once

// The three IBIS-AMI entry points, written once for any model class. A model library instantiates them
// with KELVANE_AMI_ENTRY_POINTS(ModelClass).
//
// A model class provides:
//   static constexpr const char* kRootName;              root of its parameter paths and of its messages
//   static AmiParameterTable<Model> AmiParameters();      its parameters in reading order
//   static constexpr auto AmiBinding();                   its timing members and ports (ami/AmiModelBinding.h)
//   the DFModel lifecycle operations.
// and may provide, to process a whole AMI_GetWave block at once:
//   bool RunBlock(double* wave, std::size_t n);           n samples in place, as n Runs through the ports
//   void BeginBlock(const double* wave, std::size_t n);   before n <= kBlockAhead Runs on those samples
//   void EndBlock(std::size_t fired);                     after them, with the number that were fired

#include <cstddef>
#include <exception>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "ami/AmiInstance.h"
#include "ami/AmiModelBinding.h"
#include "ami/AmiParameterSpec.h"
#include "ami/AmiParameterTree.h"
#include "ami/AmiTiming.h"

namespace ami_detail {

inline void AppendLifecycleError(std::string& text, const char* root, const char* operation) {
    text += "Error occurred in ";
    text += root;
    text += "::";
    text += operation;
    text += "(). ";
}

inline void AppendUnreadParameter(std::string& text, const char* root, const std::string& name) {
    text += "The IBIS-AMI model, ";
    text += root;
    text += ", is unable to initialize the parameter ";
    text += name;
    text += " from the AMI_Init arguments.  The model will use the default setting. ";
}

// Appending may itself run out of memory; the instance then keeps the text it had.
inline void AppendQuietly(std::string& text, const char* sentence) noexcept {
    try {
        text += sentence;
    } catch (...) {
    }
}

// A model may add notes to AMI_Init's message about settings that work but have a price:
//   void AppendInitNotes(std::string& text) const;
template <typename Model, typename = void>
struct HasInitNotes : std::false_type {};
template <typename Model>
struct HasInitNotes<Model, std::void_t<decltype(std::declval<const Model&>().AppendInitNotes(std::declval<std::string&>()))>>
    : std::true_type {};

template <typename Model>
void ReadParameters(Model& model, const AmiParameterTree& tree, std::string& text) {
    using Param = AmiParameterSpec<Model>;
    const std::string prefix = std::string(Model::kRootName) + ".";
    for (const Param& param : Model::AmiParameters()) {
        const std::string path = prefix + param.name;
        switch (param.kind) {
            case Param::Kind::Real: {
                double value = 0.0;
                if (tree.GetDouble(path.c_str(), value)) model.*param.real = value;
                else AppendUnreadParameter(text, Model::kRootName, param.name);
                break;
            }
            case Param::Kind::Integer: {
                int value = 0;
                if (tree.GetInt(path.c_str(), value)) model.*param.integer = value;
                else AppendUnreadParameter(text, Model::kRootName, param.name);
                break;
            }
            case Param::Kind::IntegerList: {
                Velmora::MultiArray<int>& list = model.*param.list;
                list.SetShape(param.listLength, 1);  // keeps the values: the storage is already this large
                for (int i = 0; i < param.listLength; ++i) {
                    const std::string element = std::string(param.name) + "." + std::to_string(i);
                    int value = 0;
                    if (tree.GetInt((prefix + element).c_str(), value)) list[static_cast<std::size_t>(i)] = value;
                    else AppendUnreadParameter(text, Model::kRootName, element);
                }
                break;
            }
        }
    }
}

template <typename Model>
long Init(double sampleInterval, double bitTime, const char* parametersIn, void** handle, char** msg) {
    static const char kNoHandle[] = "AMI_Init was called without a place to store the model's handle. ";
    static const char kNoMemory[] = "The IBIS-AMI model could not allocate its instance. ";
    if (handle == nullptr) {
        if (msg != nullptr) *msg = const_cast<char*>(kNoHandle);
        return 0;
    }
    AmiInstance<Model>* instance = nullptr;
    try {
        instance = new AmiInstance<Model>();
    } catch (...) {
        *handle = nullptr;
        if (msg != nullptr) *msg = const_cast<char*>(kNoMemory);
        return 0;
    }
    long result = 0;
    std::string& text = instance->messageText;
    try {
        const AmiParameterTree tree(parametersIn);
        instance->samplesPerBit = SamplesPerBitFor(sampleInterval, bitTime);
        ami_model::SetTiming(instance->model, bitTime, instance->samplesPerBit);
        ReadParameters(instance->model, tree, text);
        instance->AttachPorts();
        if (!instance->model.Setup()) {
            AppendLifecycleError(text, Model::kRootName, "Setup");
            if (instance->samplesPerBit == 0) {
                text += "The sample interval and bit time give no usable number of samples per bit. ";
            }
        } else if (!instance->model.Initialize()) {
            AppendLifecycleError(text, Model::kRootName, "Initialize");
        } else {
            result = 1;
            instance->ready = true;
            if constexpr (HasInitNotes<Model>::value) instance->model.AppendInitNotes(text);
        }
    } catch (const std::bad_alloc&) {
        AppendQuietly(text, "The IBIS-AMI model ran out of memory in AMI_Init. ");
        result = 0;
    } catch (...) {
        AppendQuietly(text, "The IBIS-AMI model met an internal error in AMI_Init. ");
        result = 0;
    }
    *handle = instance;
    if (msg != nullptr && !text.empty()) *msg = const_cast<char*>(text.c_str());
    return result;
}

template <typename Model, typename = void>
struct HasRunBlock : std::false_type {};
template <typename Model>
struct HasRunBlock<Model, std::void_t<decltype(std::declval<Model&>().RunBlock(std::declval<double*>(), std::size_t{}))>>
    : std::true_type {};

template <typename Model, typename = void>
struct HasBlockHooks : std::false_type {};
template <typename Model>
struct HasBlockHooks<Model, std::void_t<decltype(std::declval<Model&>().BeginBlock(std::declval<const double*>(), std::size_t{})),
                                        decltype(std::declval<Model&>().EndBlock(std::size_t{}))>>
    : std::true_type {};

// Samples per BeginBlock of a model with block hooks.
constexpr long kBlockAhead = 1024;

template <typename Model>
void WriteClockTimes(AmiInstance<Model>& instance, long count, long waveSize, double* clockTimes) {
    if (clockTimes == nullptr) return;
    const long limit = ClockTimeLimit(waveSize, instance.samplesPerBit);
    const long first = count <= limit ? 0 : count - limit;
    for (long i = first; i < count; ++i) clockTimes[i - first] = instance.clockTimes[static_cast<std::size_t>(i)];
}

template <typename Model>
long GetWave(double* wave, long waveSize, double* clockTimes, void* memory) {
    auto* instance = static_cast<AmiInstance<Model>*>(memory);
    if (instance == nullptr || waveSize < 0 || (wave == nullptr && waveSize > 0)) return 0;
    if (!instance->ready) {
        // The model's Setup or Initialize failed, so its network is not joined: leave the wave as it is.
        if (clockTimes != nullptr) clockTimes[0] = -1.0;
        return 0;
    }
    long count = 0;
    long result = 1;
    try {
        instance->clockTimes.resize(static_cast<std::size_t>(waveSize) + 1, 0.0);
        Model& model = instance->model;
        auto& input = ami_model::InputPort(model);
        auto& output = ami_model::OutputPort(model);
        if constexpr (HasRunBlock<Model>::value) {
            static_assert(!ami_model::kHasClockPort<Model>, "a model that runs whole blocks reports no clock times");
            if (!model.RunBlock(wave, static_cast<std::size_t>(waveSize))) {
                AppendLifecycleError(instance->messageText, Model::kRootName, "Run");
                result = 0;
            }
        } else {
            for (long start = 0; start < waveSize && result == 1; start += kBlockAhead) {
                const long end = waveSize - start < kBlockAhead ? waveSize : start + kBlockAhead;
                if constexpr (HasBlockHooks<Model>::value) {
                    model.BeginBlock(wave + start, static_cast<std::size_t>(end - start));
                }
                long i = start;
                for (; i < end; ++i) {
                    input.data[input.position] = wave[i];
                    if (!model.Run()) {
                        AppendLifecycleError(instance->messageText, Model::kRootName, "Run");
                        result = 0;
                        break;
                    }
                    wave[i] = output.data[output.position];
                    if constexpr (ami_model::kHasClockPort<Model>) {
                        auto& clock = ami_model::ClockPort(model);
                        const double time = clock.data[clock.position];
                        if (time >= 0.0) instance->clockTimes[static_cast<std::size_t>(count++)] = time;
                    }
                }
                // A failed firing has still fired: it counts.
                if constexpr (HasBlockHooks<Model>::value) {
                    model.EndBlock(static_cast<std::size_t>(i < end ? i + 1 - start : end - start));
                }
            }
        }
        instance->clockTimes[static_cast<std::size_t>(count++)] = -1.0;
        WriteClockTimes(*instance, count, waveSize, clockTimes);
    } catch (const std::bad_alloc&) {
        AppendQuietly(instance->messageText, "The IBIS-AMI model ran out of memory in AMI_GetWave. ");
        if (clockTimes != nullptr) clockTimes[0] = -1.0;
        return 0;
    } catch (...) {
        AppendQuietly(instance->messageText, "The IBIS-AMI model met an internal error in AMI_GetWave. ");
        if (clockTimes != nullptr) clockTimes[0] = -1.0;
        return 0;
    }
    return result;
}

template <typename Model>
long Close(void* memory) {
    auto* instance = static_cast<AmiInstance<Model>*>(memory);
    if (instance == nullptr) return 0;
    long result = 1;
    try {
        if (!instance->model.Finalize()) {
            AppendLifecycleError(instance->messageText, Model::kRootName, "Finalize");
            result = 0;
        }
    } catch (...) {
        result = 0;
    }
    instance->ReleasePorts();
    delete instance;
    return result;
}

}  // namespace ami_detail

#define KELVANE_AMI_EXPORT extern "C" __attribute__((visibility("default")))

#define KELVANE_AMI_ENTRY_POINTS(Model)                                                                  \
    KELVANE_AMI_EXPORT long AMI_Init(double* impulse_matrix, long row_size, long aggressors,             \
                                     double sample_interval, double bit_time, char* AMI_parameters_in,   \
                                     char** AMI_parameters_out, void** AMI_memory_handle, char** msg) {  \
        (void)impulse_matrix;                                                                            \
        (void)row_size;                                                                                  \
        (void)aggressors;                                                                                \
        (void)AMI_parameters_out;                                                                        \
        return ami_detail::Init<Model>(sample_interval, bit_time, AMI_parameters_in, AMI_memory_handle,  \
                                       msg);                                                             \
    }                                                                                                    \
    KELVANE_AMI_EXPORT long AMI_GetWave(double* wave, long wave_size, double* clock_times,               \
                                        char** AMI_parameters_out, void* AMI_memory) {                   \
        (void)AMI_parameters_out;                                                                        \
        return ami_detail::GetWave<Model>(wave, wave_size, clock_times, AMI_memory);                     \
    }                                                                                                    \
    KELVANE_AMI_EXPORT long AMI_Close(void* AMI_memory) { return ami_detail::Close<Model>(AMI_memory); }
