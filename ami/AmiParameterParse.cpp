// ParseAmiString and ReleaseParamList: the scan of the parameter string into a flat list of
// groups, and the nesting of that list into a tree.

#include "ami/AmiParameterTree.h"
#include "ami/AmiParameterValue.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

const char* SkipBlanks(const char* p) {
    while (IsBlank(*p)) ++p;  // isspace('\0') is false, so this stops at the terminator
    return p;
}

// A name, or an unquoted value, stops at any of these.
bool EndsName(char c) {
    return c == '\0' || c == '(' || c == ')' || IsBlank(c);
}

void CountParentheses(const char* p, size_t& opens, size_t& closes) {
    opens = 0;
    closes = 0;
    bool quoted = false;
    for (; *p != '\0'; ++p) {
        if (*p == '"')
            quoted = !quoted;
        else if (!quoted && *p == '(')
            ++opens;
        else if (!quoted && *p == ')')
            ++closes;
    }
}

char* CopyText(const char* begin, size_t length) {
    char* text = static_cast<char*>(std::calloc(length + 1, 1));
    if (text != nullptr) std::memcpy(text, begin, length);
    return text;
}

// Makes room for one more element in an array that holds `count` elements. The capacity is
// implied by the count (the smallest power of two not below it), so growth is geometric and
// the node needs no field for it.
template <typename T>
bool ReserveOneMore(void*& items, int count) {
    if (count == 0) {
        items = std::calloc(1, sizeof(T));
        return items != nullptr;
    }
    if ((count & (count - 1)) != 0) return true;  // not yet full
    if (count > INT_MAX / 2) return false;
    const size_t capacity = 2 * static_cast<size_t>(count);
    if (capacity > SIZE_MAX / sizeof(T)) return false;
    void* grown = std::realloc(items, capacity * sizeof(T));
    if (grown == nullptr) return false;  // the old array stays attached and is released with its node
    std::memset(static_cast<char*>(grown) + count * sizeof(T), 0, (capacity - count) * sizeof(T));
    items = grown;
    return true;
}

void ReleaseNode(int kind, ParamNode* node) {
    if (node == nullptr) return;
    if (kind == kParamLeaf) {
        ParamValue* values = static_cast<ParamValue*>(node->items);
        for (int i = 0; i < node->itemCount; ++i) std::free(values[i].text);
    }
    std::free(node->items);
    std::free(node->name);
    std::free(node);
}

// Fills the entry list, one entry per group in the order of its "(". Every node is put into
// its slot as soon as it exists, so a failed scan is released through the list alone.
class GroupScanner {
public:
    explicit GroupScanner(ParamList& list) : list_(list) {}

    int EntriesMade() const { return made_; }

    // `p` points at the first "(".
    int Scan(const char* p) {
        for (;;) {
            p = SkipBlanks(p);
            const char c = *p;
            if (c == '\0') return depth_ == 0 ? kParseOk : kParseInconsistent;
            if (c == '(') {
                const int result = ScanGroup(p);
                if (result != kParseOk) return result;
            } else if (c == ')') {
                if (depth_ == 0) return kParseTooManyCloses;
                --depth_;
                ++p;
            } else {
                return kParseInconsistent;  // text between groups that is no group
            }
        }
    }

private:
    // `p` points at the group's "("; on return it points past what the group consumed.
    int ScanGroup(const char*& p) {
        p = SkipBlanks(p + 1);
        const char* name = p;
        while (!EndsName(*p)) ++p;
        const size_t nameLength = static_cast<size_t>(p - name);
        p = SkipBlanks(p);
        if (nameLength == 0 || *p == '\0') return kParseInconsistent;

        if (*p == ')') {
            // A name with neither values nor sub-groups is no group: its ")" ends the enclosing group.
            if (depth_ == 0) return kParseTooManyCloses;
            --depth_;
            ++p;
            return kParseOk;
        }
        if (*p == '(') {
            // A branch; its sub-groups are scanned by the main loop.
            const int result = MakeEntry(kParamBranch, name, nameLength);
            if (result == kParseOk) ++depth_;
            return result;
        }

        const int result = MakeEntry(kParamLeaf, name, nameLength);
        if (result != kParseOk) return result;
        ParamNode& leaf = *list_.entries[made_ - 1].node;
        leaf.tag = LeafNameTag(leaf.name);
        bool discard = false;
        const int valuesResult = ReadValues(p, leaf, discard);
        if (valuesResult != kParseOk || !discard) return valuesResult;

        // A "(" among the values: the leaf is dropped together with whatever it encloses.
        ReleaseNode(kParamLeaf, &leaf);
        list_.entries[--made_] = ParamEntry{0, 0, nullptr};
        return SkipToEndOfGroup(p);
    }

    int MakeEntry(int kind, const char* name, size_t nameLength) {
        if (made_ >= list_.count) return kParseTooManyGroups;
        ParamNode* node = static_cast<ParamNode*>(std::calloc(1, sizeof(ParamNode)));
        if (node == nullptr) return kParseNoMemory;
        list_.entries[made_++] = ParamEntry{kind, depth_ + 1, node};
        node->name = CopyText(name, nameLength);
        return node->name != nullptr ? kParseOk : kParseNoMemory;
    }

    // Reads the values up to the leaf's ")" and consumes it. Stops early, with `discard` set and
    // `p` at the "(", when a group opens among the values.
    int ReadValues(const char*& p, ParamNode& leaf, bool& discard) {
        for (;;) {
            p = SkipBlanks(p);
            const char c = *p;
            if (c == ')') {
                ++p;
                return kParseOk;
            }
            if (c == '\0') return kParseInconsistent;
            if (c == '(') {
                discard = true;
                return kParseOk;
            }
            const char* begin = p;
            const char* end = nullptr;
            if (c == '"') {
                // Runs to the next quote, blanks and parentheses included.
                begin = p + 1;
                end = std::strchr(begin, '"');
                if (end == nullptr) return kParseInconsistent;
                p = end + 1;
            } else {
                while (!EndsName(*p) && *p != '"') ++p;
                // A quote inside a value starts a quoted value there; what came before it is dropped.
                if (*p == '"') continue;
                end = p;
            }
            const int result = AppendValue(leaf, begin, static_cast<size_t>(end - begin));
            if (result != kParseOk) return result;
        }
    }

    static int AppendValue(ParamNode& leaf, const char* begin, size_t length) {
        if (!ReserveOneMore<ParamValue>(leaf.items, leaf.itemCount)) return kParseNoMemory;
        char* text = CopyText(begin, length);
        if (text == nullptr) return kParseNoMemory;
        const int type = ClassifyParamValue(text);
        const int keyword = type == kParamWord ? ReservedWordCode(text) : -1;
        static_cast<ParamValue*>(leaf.items)[leaf.itemCount++] = ParamValue{text, type, keyword};
        return kParseOk;
    }

    // `p` points at a "(" among a leaf's values; moves past the leaf's own ")".
    static int SkipToEndOfGroup(const char*& p) {
        int open = 1;  // the leaf itself
        for (;;) {
            const char c = *p;
            if (c == '\0') return kParseInconsistent;
            if (c == '"') {
                const char* close = std::strchr(p + 1, '"');
                if (close == nullptr) return kParseInconsistent;
                p = close + 1;
                continue;
            }
            ++p;
            if (c == '(') {
                ++open;
            } else if (c == ')' && --open == 0) {
                return kParseOk;
            }
        }
    }

    ParamList& list_;
    int made_ = 0;
    int depth_ = 0;  // groups open at the scan position
};

bool AppendChild(ParamNode& branch, const ParamEntry& child) {
    if (!ReserveOneMore<ParamEntry>(branch.items, branch.itemCount)) return false;
    static_cast<ParamEntry*>(branch.items)[branch.itemCount++] = child;
    return true;
}

// Gives every branch the copies of its direct sub-groups' entries, keeping a stack of the open
// branches rather than recursing, so any depth of nesting is fine.
int NestEntries(ParamList& list, int made) {
    if (made == 0 || list.entries[0].kind != kParamBranch) return kParseBadRoot;
    int* open = static_cast<int*>(std::calloc(static_cast<size_t>(made), sizeof(int)));
    if (open == nullptr) return kParseNoMemory;
    int top = 0;
    open[0] = 0;
    int result = kParseOk;
    for (int i = 1; i < made && result == kParseOk; ++i) {
        const ParamEntry& entry = list.entries[i];
        while (result == kParseOk && list.entries[open[top]].level >= entry.level) {
            if (top == 0)
                result = kParseNoEnclosingGroup;
            else
                --top;
        }
        if (result != kParseOk) break;
        ParamEntry& parent = list.entries[open[top]];
        if (parent.level != entry.level - 1) continue;  // no direct parent: left out of the tree
        if (!AppendChild(*parent.node, entry)) {
            result = kParseNoMemory;
        } else if (entry.kind == kParamBranch) {
            open[++top] = i;
        }
    }
    std::free(open);
    return result;
}

}  // namespace

int ParseAmiString(const char* text, ParamList** out) noexcept {
    if (text == nullptr || out == nullptr) return kParseBadRoot;
    const char* start = SkipBlanks(text);
    if (*start != '(') return kParseNoOpening;

    size_t opens = 0;
    size_t closes = 0;
    CountParentheses(start, opens, closes);
    if (opens != closes) return kParseUnbalanced;
    if (opens > static_cast<size_t>(INT_MAX)) return kParseNoMemory;  // beyond what the list can count

    ParamList* list = static_cast<ParamList*>(std::calloc(1, sizeof(ParamList)));
    if (list == nullptr) return kParseNoMemory;
    list->entries = static_cast<ParamEntry*>(std::calloc(opens, sizeof(ParamEntry)));
    if (list->entries == nullptr) {
        std::free(list);
        return kParseNoMemory;
    }
    list->count = static_cast<int>(opens);

    GroupScanner scanner(*list);
    int result = scanner.Scan(start);
    if (result == kParseOk) result = NestEntries(*list, scanner.EntriesMade());
    if (result != kParseOk) {
        ReleaseParamList(list);
        return result;
    }
    *out = list;
    return kParseOk;
}

void ReleaseParamList(ParamList* list) noexcept {
    if (list == nullptr) return;
    if (list->entries != nullptr)
        for (int i = 0; i < list->count; ++i) ReleaseNode(list->entries[i].kind, list->entries[i].node);
    std::free(list->entries);
    std::free(list);
}
