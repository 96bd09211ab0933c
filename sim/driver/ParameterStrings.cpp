#include "sim/driver/ParameterStrings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <set>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "ami/AmiParameterTree.h"
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
        if (item.substr(0, eq) == "Rx_config")
            throw std::runtime_error("Rx_config is set by the simulator (1 for the equalised signal, 0 for the decisions) "
                                     "and cannot be overridden");
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

const char* ModelName(const char* root) {
    return std::string(root) == kelvane_tx::kRootName ? "transmitter" : "receiver";
}

// Every leaf of a parsed string as a dotted path below the root ("c0", "EQ_TABLE.3").
void CollectLeaves(const ParamNode* branch, const std::string& prefix, std::vector<std::string>& leaves) {
    for (int i = 0; i < branch->itemCount; ++i) {
        const ParamEntry& child = static_cast<const ParamEntry*>(branch->items)[i];
        if (child.node == nullptr) continue;
        const std::string path = prefix.empty() ? child.node->name : prefix + "." + child.node->name;
        if (child.kind == kParamLeaf) leaves.push_back(path);
        else CollectLeaves(child.node, path, leaves);
    }
}

template <typename Model>
std::vector<std::string> ParameterNames() {
    using Param = AmiParameterSpec<Model>;
    std::vector<std::string> names;
    for (const Param& param : Model::AmiParameters()) {
        if (param.kind != Param::Kind::IntegerList) names.push_back(param.name);
        else
            for (int i = 0; i < param.listLength; ++i) names.push_back(std::string(param.name) + "." + std::to_string(i));
    }
    return names;
}

template <typename Model>
void CheckString(const std::string& parameters, bool refuseRxConfig) {
    const char* model = ModelName(Model::kRootName);
    const AmiParameterTree tree(parameters.c_str());
    if (!tree.built || tree.list->count < 1 || tree.list->entries[0].node == nullptr)
        throw std::runtime_error(std::string("the ") + model + " parameter string does not parse as an AMI parameter string: " +
                                 parameters);
    const ParamNode* root = tree.list->entries[0].node;
    if (std::string(root->name) != Model::kRootName)
        throw std::runtime_error(std::string("the ") + model + " parameter string must start with (" + Model::kRootName +
                                 ", not (" + root->name);
    std::vector<std::string> leaves;
    CollectLeaves(root, "", leaves);
    const std::vector<std::string> known = ParameterNames<Model>();
    for (const std::string& leaf : leaves) {
        if (refuseRxConfig && leaf == "Rx_config")
            throw std::runtime_error("Rx_config is set by the simulator (1 for the equalised signal, 0 for the decisions) "
                                     "and cannot be given in the receiver parameter string");
        if (std::find(known.begin(), known.end(), leaf) == known.end())
            throw std::runtime_error(std::string("the ") + model + " model has no parameter " + leaf);
    }
}

template <typename Model>
std::vector<AppliedParameter> Applied(const std::string& parameters, std::vector<std::string>& warnings) {
    using Param = AmiParameterSpec<Model>;
    const char* model = ModelName(Model::kRootName);
    const AmiParameterTree tree(parameters.c_str());
    std::vector<AppliedParameter> applied;
    auto add = [&](const Param& param, const std::string& name, double fallback) {
        AppliedParameter row;
        row.name = name;
        double value = fallback;
        const std::string path = std::string(Model::kRootName) + "." + name;
        double asked = 0.0;
        if (tree.built && tree.GetDouble(path.c_str(), asked)) {
            row.requested = FormatNumber(asked);
            value = asked;
            // Integer settings are read as int: a value beyond the int range is not read at all.
            if (param.whole && !(asked > -2147483649.0 && asked < 2147483648.0)) value = fallback;
        } else if (tree.FindLeaf(path.c_str()) != nullptr) {
            row.requested = "(not a number)";
        }
        if (param.whole) value = std::trunc(value);
        if (param.clamped) value = std::clamp(value, param.minimum, param.maximum);
        row.applied = value;
        row.differs = !row.requested.empty() && row.requested != FormatNumber(value);
        if (row.differs)
            warnings.push_back(std::string("the ") + model + " applies " + name + " = " + FormatNumber(value) +
                               ", not the " + row.requested + " asked for" +
                               (param.bounded ? " (range " + FormatNumber(param.minimum) + " to " +
                                                    FormatNumber(param.maximum) + (param.whole ? ", whole numbers)" : ")")
                                              : std::string(param.whole ? " (whole numbers)" : "")));
        else if (param.bounded && !param.clamped && (value < param.minimum || value > param.maximum))
            warnings.push_back(std::string("the ") + model + " parameter " + name + " = " + FormatNumber(value) +
                               " lies outside its range " + FormatNumber(param.minimum) + " to " +
                               FormatNumber(param.maximum));
        applied.push_back(row);
    };
    for (const Param& param : Model::AmiParameters()) {
        if (param.kind != Param::Kind::IntegerList) {
            add(param, param.name, param.defaultValue);
            continue;
        }
        for (int i = 0; i < param.listLength; ++i)
            add(param, std::string(param.name) + "." + std::to_string(i), param.listDefaults[i]);
    }
    return applied;
}

}  // namespace

void CheckTxParameterString(const std::string& parameters) { CheckString<kelvane_tx>(parameters, false); }
void CheckRxParameterString(const std::string& parameters) { CheckString<kelvane_rx>(parameters, true); }

std::vector<AppliedParameter> TxAppliedParameters(const std::string& parameters, std::vector<std::string>& warnings) {
    return Applied<kelvane_tx>(parameters, warnings);
}
std::vector<AppliedParameter> RxAppliedParameters(const std::string& parameters, std::vector<std::string>& warnings) {
    return Applied<kelvane_rx>(parameters, warnings);
}

double AppliedValue(const std::vector<AppliedParameter>& applied, const std::string& name, double fallback) {
    for (const AppliedParameter& row : applied)
        if (row.name == name) return row.applied;
    return fallback;
}

std::string TxParameterString(const std::vector<std::string>& overrides) {
    return BuildString(kelvane_tx::AmiParameters(), ParseOverrides(overrides, "transmitter"), "transmitter");
}

std::string RxParameterString(const std::vector<std::string>& overrides, int rxConfig) {
    auto values = ParseOverrides(overrides, "receiver");
    values["Rx_config"] = std::to_string(rxConfig);
    return BuildString(kelvane_rx::AmiParameters(), values, "receiver");
}

}  // namespace ksim
