// The reader of a parsed parameter string: lookup by dotted path and the typed getters.

#include "ami/AmiParameterTree.h"
#include "ami/AmiParameterValue.h"
#include "ami/NumberText.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

AmiParameterTree::AmiParameterTree(const char* text) noexcept : built(false), list(nullptr) {
    // ParseAmiString never writes to the text, so the caller's text can be parsed in place.
    if (text == nullptr) return;
    ParamList* parsed = nullptr;
    if (ParseAmiString(text, &parsed) == kParseOk) {
        list = parsed;
        built = true;
    }
}

AmiParameterTree::~AmiParameterTree() {
    ReleaseParamList(list);
}

namespace {

// A branch on the search path, with how far its own dotted path reaches into the wanted path.
struct SearchFrame {
    const ParamNode* branch;
    int nextChild;
    size_t pathLength;
};

}  // namespace

// Depth-first in text order. A candidate's path is compared piece by piece against `path`
// instead of being formed as text, and a branch whose own path is no prefix of `path` is not
// entered, since every leaf below it has that prefix. The open branches live in an explicit
// stack: each one on it lengthens the matched prefix by at least two characters (a full stop
// and a non-empty name), so the path's length bounds the stack, whatever the nesting depth.
const ParamNode* AmiParameterTree::FindLeaf(const char* path) const noexcept {
    if (!built || list == nullptr || list->count < 1 || list->entries == nullptr || path == nullptr)
        return nullptr;
    const ParamNode* root = list->entries[0].node;
    if (root == nullptr || list->entries[0].kind != kParamBranch) return nullptr;

    const size_t rootLength = std::strlen(root->name);
    if (std::strncmp(path, root->name, rootLength) != 0) return nullptr;
    const size_t capacity = std::strlen(path) / 2 + 2;
    SearchFrame* frames = static_cast<SearchFrame*>(std::malloc(capacity * sizeof(SearchFrame)));
    if (frames == nullptr) return nullptr;

    const ParamNode* found = nullptr;
    size_t depth = 0;
    frames[depth++] = SearchFrame{root, 0, rootLength};
    while (depth > 0 && found == nullptr) {
        SearchFrame& frame = frames[depth - 1];
        const char* rest = path + frame.pathLength;
        if (frame.nextChild >= frame.branch->itemCount || rest[0] != '.') {
            --depth;
            continue;
        }
        const ParamEntry& child = static_cast<const ParamEntry*>(frame.branch->items)[frame.nextChild++];
        if (child.node == nullptr) continue;
        const char* name = child.node->name;
        const size_t nameLength = std::strlen(name);
        if (std::strncmp(rest + 1, name, nameLength) != 0) continue;
        if (child.kind == kParamLeaf) {
            if (rest[1 + nameLength] == '\0') found = child.node;
        } else if (depth < capacity) {
            frames[depth++] = SearchFrame{child.node, 0, frame.pathLength + 1 + nameLength};
        }
    }
    std::free(frames);
    return found;
}

const ParamValue* AmiParameterTree::FirstValue(const char* path) const noexcept {
    const ParamNode* leaf = FindLeaf(path);
    if (leaf == nullptr || leaf->itemCount < 1 || leaf->items == nullptr) return nullptr;
    return static_cast<const ParamValue*>(leaf->items);
}

// An integer text may still overflow a double; such a value is refused like a non-number.
bool AmiParameterTree::GetFiniteNumber(const char* path, double& value) const noexcept {
    const ParamValue* first = FirstValue(path);
    if (first == nullptr || (first->type != kParamInteger && first->type != kParamFloat)) return false;
    const double number = ReadNumberText(first->text, nullptr);
    if (!std::isfinite(number)) return false;
    value = number;
    return true;
}

bool AmiParameterTree::GetDouble(const char* path, double& value) const noexcept {
    return GetFiniteNumber(path, value);
}

bool AmiParameterTree::GetInt(const char* path, int& value) const noexcept {
    double number = 0.0;
    if (!GetFiniteNumber(path, number)) return false;
    // Truncation toward zero is defined only when the truncated value fits an int; both bounds are exact doubles.
    const double below = static_cast<double>(INT_MIN) - 1.0;
    const double above = static_cast<double>(INT_MAX) + 1.0;
    if (!(number > below && number < above)) return false;
    value = static_cast<int>(number);
    return true;
}

bool AmiParameterTree::GetBool(const char* path, bool& value) const noexcept {
    const ParamValue* first = FirstValue(path);
    if (first == nullptr || first->type != kParamBoolean) return false;
    const char* text = first->text;
    const char* expected = "true";
    size_t i = 0;
    while (expected[i] != '\0' && (text[i] | 0x20) == expected[i]) ++i;  // ASCII letters only, any case
    value = expected[i] == '\0' && text[i] == '\0';
    return true;
}

bool AmiParameterTree::GetString(const char* path, std::string& value) const {
    const ParamValue* first = FirstValue(path);
    if (first == nullptr || first->type != kParamWord) return false;
    value.assign(first->text);
    return true;
}
