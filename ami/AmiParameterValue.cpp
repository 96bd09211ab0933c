#include "ami/AmiParameterValue.h"

#include "ami/AmiParameterTree.h"
#include "ami/NumberText.h"

#include <cmath>
#include <cstring>

namespace {

const char* const kReservedWords[] = {
    "In",    "Out",   "Info", "InOut",  "Float",     "Integer", "String", "Boolean",  "Tap",        "UI",
    "Value", "Range", "List", "Corner", "Increment", "Steps",   "Table",  "Gaussian", "Dual-Dirac", "DjRj",
};

const char* const kLeafTags[] = {"Usage", "Type", "Format", "Default", "Description", "Labels"};

bool ReadsWholeAsFiniteFloat(const char* text) {
    char* end = nullptr;
    const double value = ReadNumberText(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

}  // namespace

int ClassifyParamValue(const char* text) noexcept {
    if (text == nullptr || text[0] == '\0') return kParamEmpty;
    int type = kParamWord;
    if (IsIntegerText(text))
        type = kParamInteger;
    else if (ReadsWholeAsFiniteFloat(text))
        type = kParamFloat;
    else if (std::strcmp(text, "True") == 0 || std::strcmp(text, "False") == 0)
        type = kParamBoolean;
    return type;
}

int ReservedWordCode(const char* text) noexcept {
    if (text == nullptr) return -1;
    const int n = static_cast<int>(sizeof kReservedWords / sizeof kReservedWords[0]);
    for (int i = 0; i < n; ++i)
        if (std::strcmp(text, kReservedWords[i]) == 0) return i;
    return -1;
}

int LeafNameTag(const char* name) noexcept {
    if (name == nullptr) return 0;
    const int n = static_cast<int>(sizeof kLeafTags / sizeof kLeafTags[0]);
    for (int i = 0; i < n; ++i)
        if (std::strcmp(name, kLeafTags[i]) == 0) return i + 1;
    return 0;
}
