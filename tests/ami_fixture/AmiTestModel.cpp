// A small model behind the real AMI entry points, so that the entry points can be driven through dlopen
// exactly as a simulator drives a model library. Its parameters choose what it outputs and where it fails.

#include "ami/AmiEntryPoints.h"
#include "runtime/CircularBuffer.h"
#include "runtime/DFModel.h"
#include "runtime/MultiArray.h"

class ami_test_model final : public Velmora::DFModel {
public:
    static constexpr const char* kRootName = "ami_test_model";
    static constexpr bool kHasClockPort = true;
    static AmiParameterTable<ami_test_model> AmiParameters();

    Velmora::CircularBuffer<double> input;
    Velmora::CircularBuffer<double> clock;
    Velmora::CircularBuffer<double> output;
    Velmora::CircularBuffer<float> decision;  // storage set up and released only

    double bitTime = 0.0;
    int samplesPerBit = 0;
    double gain;          // output = gain * input in mode 0
    int mode;             // 0 gain, 1 samples per bit, 2 bit time, 3 codes[input]
    int failSetup;        // 1 makes Setup fail
    int failInitialize;   // 1 makes Initialize fail
    int failFinalize;     // 1 makes Finalize fail
    int failAt;           // sample index at which Run fails, -1 never
    int clockEvery;       // a clock time every this many samples, 0 never
    int clockNaN;         // 1 reports NaN instead of -1 at samples without a clock time
    Velmora::MultiArray<int> codes;
    long long samples = 0;
    bool initialized = false;

    ami_test_model() { ApplyParameterDefaults(*this, AmiParameters()); }

    void SetTiming(double bitTimeValue, int samplesPerBitValue) {
        bitTime = bitTimeValue;
        samplesPerBit = samplesPerBitValue;
    }
    Velmora::CircularBuffer<double>& InputPort() { return input; }
    Velmora::CircularBuffer<double>& OutputPort() { return output; }
    Velmora::CircularBuffer<double>& ClockPort() { return clock; }
    template <typename F>
    void ForEachPort(F f) {
        f(input);
        f(clock);
        f(output);
        f(decision);
    }

    bool Setup() override { return samplesPerBit > 0 && failSetup != 1; }
    bool Initialize() override {
        samples = 0;
        initialized = true;
        return failInitialize != 1;
    }
    bool Run() override {
        if (!initialized || samples == failAt) return false;
        const double x = input[0];
        double y = 0.0;
        switch (mode) {
            case 1: y = samplesPerBit; break;
            case 2: y = bitTime; break;
            case 3: y = codes[static_cast<std::size_t>(x)]; break;
            default: y = gain * x; break;
        }
        output[0] = y;
        const bool tick = clockEvery > 0 && samples % clockEvery == 0;
        clock[0] = tick ? static_cast<double>(samples) * (bitTime / samplesPerBit)
                        : (clockNaN == 1 ? __builtin_nan("") : -1.0);
        ++samples;
        return true;
    }
    bool Finalize() override { return failFinalize != 1; }
};

namespace {
constexpr int kCodeDefaults[3] = {7, 8, 9};
using Param = AmiParameterSpec<ami_test_model>;
constexpr Param kParameters[] = {
    Param::Real("gain", &ami_test_model::gain, 1.0, "output gain"),
    Param::Integer("mode", &ami_test_model::mode, 0, "what the output shows"),
    Param::Integer("fail_setup", &ami_test_model::failSetup, 0, "1 fails Setup"),
    Param::Integer("fail_initialize", &ami_test_model::failInitialize, 0, "1 fails Initialize"),
    Param::Integer("fail_finalize", &ami_test_model::failFinalize, 0, "1 fails Finalize"),
    Param::Integer("fail_at", &ami_test_model::failAt, -1, "sample at which Run fails"),
    Param::Integer("clock_every", &ami_test_model::clockEvery, 0, "samples between clock times"),
    Param::Integer("clock_nan", &ami_test_model::clockNaN, 0, "1 reports NaN instead of -1"),
    Param::IntegerList("codes", &ami_test_model::codes, kCodeDefaults, 3, "a list parameter"),
};
}  // namespace

AmiParameterTable<ami_test_model> ami_test_model::AmiParameters() { return MakeParameterTable(kParameters); }

KELVANE_AMI_ENTRY_POINTS(ami_test_model)
