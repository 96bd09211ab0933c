#pragma once

// Reader of the AMI parameter string: nested parenthesised groups such as
// "(kelvane_tx (c0 15) (c1 0) (cm1 4))", turned into a tree and read by dotted path
// ("kelvane_tx.c0"; a list element adds its index: "kelvane_rx.EQ_TABLE.0").
//
// The tree is plain C data: every name, text, array and node comes from calloc (grown by
// realloc) and is released exactly once, through the flat entry list.

#include <string>

// One value of a leaf group.
struct ParamValue {
    char* text;   // the value as written, without enclosing double quotes; owned
    int type;     // ParamValueType
    int keyword;  // index in the reserved-word table for a word, -1 otherwise
};

enum ParamValueType {
    kParamEmpty = -1,
    kParamWord = 0,
    kParamInteger = 1,
    kParamBoolean = 2,
    kParamFloat = 3,
};

enum ParamEntryKind {
    kParamBranch = 0,  // the group holds sub-groups
    kParamLeaf = 1,    // the group holds values
};

struct ParamNode;

// One group, in the order its "(" appears in the text. Also used, as a copy, for a branch's children.
struct ParamEntry {
    int kind;        // ParamEntryKind
    int level;       // 1 for the root group, parent's level + 1 otherwise
    ParamNode* node; // owned by the flat entry list only
};

struct ParamNode {
    char* name;     // owned
    void* items;    // owned; ParamEntry* (branch: copies of the children's entries) or ParamValue* (leaf)
    int itemCount;  // number of children or values
    int tag;        // leaf: 1 "Usage", 2 "Type", 3 "Format", 4 "Default", 5 "Description", 6 "Labels"; else 0
};

// The parse result. Slots past the entries actually made are empty (kind 0, level 0, null node).
struct ParamList {
    ParamEntry* entries;  // entries[0] is the root group
    int count;            // number of "(" outside double quotes in the text
};

// Result codes of ParseAmiString.
enum ParamParseResult {
    kParseOk = 0,
    kParseUnbalanced = 1,         // counts of "(" and ")" outside double quotes differ
    kParseNoOpening = 2,          // the first non-blank character is not "("
    kParseBadRoot = 3,            // null text or output, or the first group is not a branch
    kParseNoMemory = 4,           // an allocation failed
    kParseNoEnclosingGroup = 5,   // a second top-level group, or nesting broken by a name-only group
    kParseTooManyCloses = 6,      // a ")" closes more groups than are open
    kParseTooManyGroups = 7,      // more groups found than "(" were counted
    kParseInconsistent = 8,       // the scan met text the grammar does not allow, or ran out of text
};

// Parses `text` (never changed) and stores a new list through `out` on success (result 0).
// On any other result everything built is released and `out` is left alone. Never throws.
int ParseAmiString(const char* text, ParamList** out) noexcept;

// Releases a list made by ParseAmiString; null is allowed.
void ReleaseParamList(ParamList* list) noexcept;

class AmiParameterTree {
public:
    explicit AmiParameterTree(const char* text) noexcept;  // null text -> unbuilt
    ~AmiParameterTree();
    AmiParameterTree(const AmiParameterTree&) = delete;
    AmiParameterTree& operator=(const AmiParameterTree&) = delete;

    bool built;       // true only if the parse succeeded
    ParamList* list;  // owned; null when the parse failed

    // The first leaf, in text order, whose dotted path equals `path` byte for byte; null if none.
    const ParamNode* FindLeaf(const char* path) const noexcept;

    // Each getter reads the first value of the leaf at `path` and leaves `value` untouched on failure.
    bool GetDouble(const char* path, double& value) const noexcept;  // integer or float values
    bool GetInt(const char* path, int& value) const noexcept;        // same, truncated toward zero; must fit an int
    bool GetBool(const char* path, bool& value) const noexcept;      // boolean values ("True", "False")
    bool GetString(const char* path, std::string& value) const;      // word values; replaces `value`

private:
    const ParamValue* FirstValue(const char* path) const noexcept;
    bool GetFiniteNumber(const char* path, double& value) const noexcept;
};
