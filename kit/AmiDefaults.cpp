#include "kit/AmiDefaults.h"

#include <stdexcept>

#include "ami/AmiParameterTree.h"

namespace kit {

namespace {

std::string DefaultsOf(const ParamNode& branch) {
    std::string text;
    const ParamEntry* children = static_cast<const ParamEntry*>(branch.items);
    for (int i = 0; i < branch.itemCount; ++i) {
        const ParamNode& child = *children[i].node;
        if (children[i].kind != kParamBranch) continue;
        const ParamEntry* parts = static_cast<const ParamEntry*>(child.items);
        std::string value;
        for (int k = 0; k < child.itemCount; ++k) {
            const std::string name = parts[k].node->name;
            if (parts[k].kind == kParamLeaf && (name == "Range" || name == "Value") && parts[k].node->itemCount > 0)
                value = static_cast<const ParamValue*>(parts[k].node->items)[0].text;
        }
        text += " (" + std::string(child.name) + (value.empty() ? DefaultsOf(child) : " " + value) + ")";
    }
    return text;
}

}  // namespace

std::string DefaultParameterString(const std::string& amiText) {
    const AmiParameterTree tree(amiText.c_str());
    if (!tree.built || tree.list == nullptr || tree.list->count < 1) throw std::invalid_argument("the .ami text does not parse");
    const ParamNode* top = tree.list->entries[0].node;
    const ParamEntry* sections = static_cast<const ParamEntry*>(top->items);
    for (int i = 0; i < top->itemCount; ++i)
        if (sections[i].kind == kParamBranch && std::string(sections[i].node->name) == "Model_Specific")
            return "(" + std::string(top->name) + DefaultsOf(*sections[i].node) + ")";
    throw std::invalid_argument("the .ami text has no Model_Specific branch");
}

}  // namespace kit
