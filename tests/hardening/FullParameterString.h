#pragma once

// A model's parameter string with every parameter of its table given, at its default, after the groups
// a test puts first: the first group of a name is the one a model reads, so those win.

#include <charconv>
#include <string>

#include "ami/AmiParameterSpec.h"

template <typename Model>
std::string FullParameterString(const std::string& first = "") {
    using Param = AmiParameterSpec<Model>;
    std::string text = std::string("(") + Model::kRootName + " " + first;
    for (const Param& param : Model::AmiParameters()) {
        text += std::string(" (") + param.name;
        if (param.kind == Param::Kind::IntegerList) {
            for (int i = 0; i < param.listLength; ++i)
                text += " (" + std::to_string(i) + " " + std::to_string(param.listDefaults[i]) + ")";
        } else {
            char number[32];
            text += " ";
            text.append(number, std::to_chars(number, number + sizeof number, param.defaultValue).ptr);
        }
        text += ")";
    }
    return text + ")";
}
