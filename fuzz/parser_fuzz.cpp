// libFuzzer target for the AMI parameter string reader.
//
// Input: the parameter string, optionally followed by NUL-separated lookup paths. Beyond
// memory and UB errors (caught by the sanitizers) the target traps on broken invariants of
// the result: codes in range, output set only on success, a well-formed tree, getters that
// agree with each other and with the leaf they read.

#include "ami/AmiParameterTree.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

const ParamEntry* Children(const ParamNode* node) {
    return static_cast<const ParamEntry*>(node->items);
}

const ParamValue* Values(const ParamNode* node) {
    return static_cast<const ParamValue*>(node->items);
}

// Entries made first, empty slots after; levels follow the nesting; children are entries of the list.
void CheckList(const ParamList* list) {
    Require(list->count >= 1 && list->entries != nullptr);
    Require(list->entries[0].kind == kParamBranch && list->entries[0].level == 1 && list->entries[0].node != nullptr);
    int made = 0;
    while (made < list->count && list->entries[made].node != nullptr) ++made;
    for (int i = made; i < list->count; ++i) {
        const ParamEntry& e = list->entries[i];
        Require(e.node == nullptr && e.kind == 0 && e.level == 0);
    }
    for (int i = 0; i < made; ++i) {
        const ParamEntry& e = list->entries[i];
        const ParamNode* node = e.node;
        Require(node->name != nullptr && node->name[0] != '\0');
        Require(i == 0 || (e.level >= 2 && e.level <= list->entries[i - 1].level + 1));
        if (e.kind == kParamLeaf) {
            Require(node->itemCount >= 1);
            for (int v = 0; v < node->itemCount; ++v) {
                const ParamValue& value = Values(node)[v];
                Require(value.text != nullptr && value.type >= -1 && value.type <= 3);
                Require(value.keyword >= -1 && value.keyword <= 19);
                Require(value.type == kParamWord || value.keyword == -1);
                Require((value.type == kParamEmpty) == (value.text[0] == '\0'));
            }
        } else {
            Require(e.kind == kParamBranch && node->tag == 0 && node->itemCount >= 0);
            for (int c = 0; c < node->itemCount; ++c) {
                const ParamEntry& child = Children(node)[c];
                Require(child.node != nullptr && child.level == e.level + 1);
            }
        }
    }
}

// The path of the leaf reached by always taking the first or the last child.
std::string EdgePath(const ParamList* list, bool last) {
    const ParamNode* node = list->entries[0].node;
    std::string path = node->name;
    for (;;) {
        if (node->itemCount == 0) return std::string();
        const ParamEntry& child = Children(node)[last ? node->itemCount - 1 : 0];
        path += '.';
        path += child.node->name;
        if (child.kind == kParamLeaf) return path;
        node = child.node;
    }
}

// A copy in a block of exactly its own size, so that the address sanitizer catches any read
// past the terminator.
std::unique_ptr<char[]> ExactCopy(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    std::unique_ptr<char[]> copy(new char[size]);
    std::memcpy(copy.get(), text, size);
    return copy;
}

void CheckLookups(const AmiParameterTree& tree, const char* wanted) {
    const std::unique_ptr<char[]> copy = wanted != nullptr ? ExactCopy(wanted) : nullptr;
    const char* path = copy.get();
    const ParamNode* leaf = tree.FindLeaf(path);
    double d = -3.25;
    int i = -7;
    bool b = false;
    std::string s = "untouched";
    const bool gotDouble = tree.GetDouble(path, d);
    const bool gotInt = tree.GetInt(path, i);
    const bool gotBool = tree.GetBool(path, b);
    const bool gotString = tree.GetString(path, s);
    Require(leaf != nullptr || !(gotDouble || gotInt || gotBool || gotString));
    Require(gotDouble || d == -3.25);
    Require(gotInt || i == -7);
    Require(gotString || s == "untouched");
    Require(!gotInt || gotDouble);
    Require(!gotInt || static_cast<double>(i) == std::trunc(d));
    Require(!gotDouble || std::isfinite(d));
    Require(int(gotDouble) + int(gotBool) + int(gotString) <= 1);  // one type per value
    if (gotString) Require(s == Values(leaf)[0].text);
    if (gotBool) Require(b == (std::strcmp(Values(leaf)[0].text, "True") == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The text ends at the first NUL, as any C string does; what follows names the paths to look up.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::unique_ptr<char[]> exactText = ExactCopy(input.c_str());
    const char* text = exactText.get();

    ParamList sentinel{};
    ParamList* list = &sentinel;
    const int code = ParseAmiString(text, &list);
    Require(code >= 0 && code <= 8);
    Require((code == kParseOk) == (list != &sentinel));
    std::vector<std::string> paths;
    if (code == kParseOk) {
        CheckList(list);
        paths.push_back(EdgePath(list, false));
        paths.push_back(EdgePath(list, true));
        ReleaseParamList(list);
    }

    const AmiParameterTree tree(text);
    Require(tree.built == (code == kParseOk));
    Require(tree.built == (tree.list != nullptr));
    for (const std::string& path : paths) {
        if (!path.empty()) Require(tree.FindLeaf(path.c_str()) != nullptr);
    }
    for (std::size_t at = std::strlen(text); at < size; at += std::strlen(input.c_str() + at + 1) + 1)
        paths.push_back(input.c_str() + at + 1);
    paths.push_back(text);
    for (const std::string& path : paths) CheckLookups(tree, path.c_str());
    CheckLookups(tree, nullptr);
    return 0;
}
