#include "tools/sim/driver/ParameterStrings.h"

#include <charconv>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "rx/KelvaneRx.h"
#include "tx/KelvaneTx.h"

namespace ksim {

std::string FormatNumber(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

namespace {

bool IsNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

std::map<std::string, std::string> ParseOverrides(const std::vector<std::string>& overrides, const char* model) {
    std::map<std::string, std::string> values;
    for (const std::string& item : overrides) {
        const auto eq = item.find('=');
        if (eq == std::string::npos || eq == 0)
            throw std::runtime_error(std::string("a ") + model + " parameter override must read name=value, not '" + item + "'");
        const std::string value = item.substr(eq + 1);
        if (!IsNumber(value))
            throw std::runtime_error(std::string("the ") + model + " parameter " + item.substr(0, eq) +
                                     " needs a number, not '" + value + "'");
        values[item.substr(0, eq)] = value;
    }
    return values;
}

template <typename Model>
std::string BuildString(AmiParameterTable<Model> table, std::map<std::string, std::string> values,
                        const char* model) {
    using Param = AmiParameterSpec<Model>;
    std::string text = std::string("(") + Model::kRootName;
    auto take = [&values](const std::string& name, const std::string& fallback) {
        const auto found = values.find(name);
        if (found == values.end()) return fallback;
        const std::string value = found->second;
        values.erase(found);
        return value;
    };
    for (const Param& param : table) {
        switch (param.kind) {
            case Param::Kind::Real:
                text += std::string(" (") + param.name + " " + take(param.name, FormatNumber(param.defaultValue)) + ")";
                break;
            case Param::Kind::Integer:
                text += std::string(" (") + param.name + " " +
                        take(param.name, std::to_string(static_cast<int>(param.defaultValue))) + ")";
                break;
            case Param::Kind::IntegerList:
                text += std::string(" (") + param.name;
                for (int i = 0; i < param.listLength; ++i) {
                    const std::string element = std::string(param.name) + "." + std::to_string(i);
                    text += " (" + std::to_string(i) + " " + take(element, std::to_string(param.listDefaults[i])) + ")";
                }
                text += ")";
                break;
        }
    }
    if (!values.empty())
        throw std::runtime_error(std::string("the ") + model + " model has no parameter " + values.begin()->first);
    return text + ")";
}

}  // namespace

std::string TxParameterString(const std::vector<std::string>& overrides) {
    return BuildString(kelvane_tx::AmiParameters(), ParseOverrides(overrides, "transmitter"), "transmitter");
}

std::string RxParameterString(const std::vector<std::string>& overrides, int rxConfig) {
    auto values = ParseOverrides(overrides, "receiver");
    values["Rx_config"] = std::to_string(rxConfig);
    return BuildString(kelvane_rx::AmiParameters(), values, "receiver");
}

}  // namespace ksim
