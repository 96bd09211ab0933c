// libFuzzer target: AMI_Init of one model with a generated parameter string and timing, then a short
// AMI_GetWave and AMI_Close.
//
// The string is built from the model's own parameter table (the names a simulator really passes) with
// values that are huge, negative, not numbers, infinite, words, empty, several to a group, nested deeply,
// duplicated, or glued to stray parentheses and bytes. Beyond the sanitizers' reports the target traps
// when a call breaks what a host relies on: AMI_Init returns 0 or 1, always hands out a handle, explains
// a failure in its message; AMI_GetWave stays within the host's arrays and terminates the clock times.

#include "fuzz/models/FuzzHost.h"

#include <string>
#include <vector>

using namespace fuzz_host;

namespace {

const char* const kValues[] = {
    "0", "1", "-1", "2", "3", "4", "5", "15", "16", "31", "32", "255", "256", "300", "2000", "5000",
    "2147483647", "2147483648", "-2147483648", "-2147483649", "99999999999999999999999", "1e9", "-1e9",
    "1e300", "-1e300", "1e308", "1e309", "-1e309", "1e-320", "4.9e-324", "NaN", "nan", "-nan", "inf", "-inf",
    "Infinity", "0x10", "1.5", "-0.5", "0.999999", "2.5e3", "1,5", "word", "True", "False", "\"quoted text\"",
    "\"\"", "\"(\"", "Integer", "Float", "Usage", "Value"};

std::string Value(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0: return std::to_string(in.ConsumeIntegral<long long>());
        case 1: {
            char text[64];
            std::snprintf(text, sizeof text, "%.17g", in.ConsumeFloatingPoint<double>());
            return text;
        }
        case 2: return in.ConsumeRandomLengthString(24);
        default: return in.PickValueInArray(kValues);
    }
}

// One parameter group. Names come from the table, list elements by index, sometimes garbled.
std::string Group(FuzzedDataProvider& in, const std::vector<AmiParameterSpec<FuzzModel>>& table) {
    const AmiParameterSpec<FuzzModel>& param = table[in.ConsumeIntegralInRange<std::size_t>(0, table.size() - 1)];
    std::string name = param.name;
    const int shape = in.ConsumeIntegralInRange(0, 9);
    if (shape == 0) name += in.ConsumeRandomLengthString(4);  // a near miss
    if (param.kind == AmiParameterSpec<FuzzModel>::Kind::IntegerList && shape < 6) {
        std::string group = "(" + name;
        const int entries = in.ConsumeIntegralInRange(0, param.listLength + 2);
        for (int i = 0; i < entries; ++i) {
            const int index = in.ConsumeBool() ? i : in.ConsumeIntegralInRange(-2, param.listLength + 2);
            group += " (" + std::to_string(index) + " " + Value(in) + ")";
        }
        return group + ")";
    }
    switch (shape) {
        case 7: {  // deep nesting around the value
            const int depth = in.ConsumeIntegralInRange(1, 3000);
            return "(" + name + " " + std::string(static_cast<std::size_t>(depth), '(') + "x " + Value(in) +
                   std::string(static_cast<std::size_t>(depth), ')') + ")";
        }
        case 8: return "(" + name + " " + Value(in) + " " + Value(in) + ")";  // two values
        case 9: return "(" + name + ")";                                     // none
        default: return "(" + name + " " + Value(in) + ")";
    }
}

std::string ParameterString(FuzzedDataProvider& in) {
    const auto rows = FuzzModel::AmiParameters();
    const std::vector<AmiParameterSpec<FuzzModel>> table(rows.begin(), rows.end());
    std::string text = "(";
    text += in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeRandomLengthString(12) : FuzzModel::kRootName;
    const int groups = in.ConsumeIntegralInRange(0, 48);
    for (int g = 0; g < groups && in.remaining_bytes() > 0; ++g) {
        text += in.ConsumeBool() ? " " : "";
        switch (in.ConsumeIntegralInRange(0, 23)) {
            case 0: text += in.ConsumeRandomLengthString(16); break;  // stray bytes, parentheses included
            case 1: text += "(sub " + Group(in, table) + ")"; break;  // a parameter one level too deep
            default: text += Group(in, table); break;
        }
    }
    return text + (in.ConsumeIntegralInRange(0, 15) == 0 ? "" : ")");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    double sampleInterval = 0.0;
    double bitTime = 0.0;
    Timing(in, sampleInterval, bitTime);
    const std::size_t waveLength = in.ConsumeIntegralInRange<std::size_t>(0, 256);
    std::string parameters = ParameterString(in);

    void* handle = nullptr;
    char* message = nullptr;
    const long result = AMI_Init(nullptr, 0, 0, sampleInterval, bitTime, &parameters[0], nullptr, &handle, &message);
    Require(result == 0 || result == 1);
    Require(handle != nullptr);
    if (result == 0) Require(message != nullptr && message[0] != '\0');
    if (message != nullptr) Require(std::strlen(message) < (1u << 24));

    HostBlock block(waveLength);
    for (std::size_t i = 0; i < waveLength; ++i) block.wave[i] = (i / 8) % 2 == 0 ? 0.4 : -0.4;
    const long waveResult = CallGetWave(handle, block);
    if (result == 0) Require(waveResult == 0);
    const long closed = AMI_Close(handle);
    Require(closed == 0 || closed == 1);
    return 0;
}
