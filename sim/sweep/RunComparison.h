#pragma once

// The differences between two runs' summaries, key by key over the flattened documents, grouped into what
// was set (parameters, channel, stimulus), what was measured, and what the adaptation did. Generic on
// purpose: fields added to the summary later are compared without any change here.

#include <string>
#include <vector>

#include "sim/sweep/FlatJson.h"

namespace ksim {

enum class DifferenceGroup { Settings, Figures, Adaptation, Other };

struct Difference {
    DifferenceGroup group = DifferenceGroup::Other;
    std::string path;        // "eye/height_v"
    const OrderedJson* first = nullptr;   // null when only the second run has the key
    const OrderedJson* second = nullptr;  // null when only the first run has the key
};

// Holds pointers into its own flattened copies: movable, not copyable.
struct Comparison {
    Comparison() = default;
    Comparison(Comparison&&) = default;
    Comparison& operator=(Comparison&&) = default;
    Comparison(const Comparison&) = delete;
    Comparison& operator=(const Comparison&) = delete;
    std::vector<FlatEntry> first, second;   // the flattened summaries the differences point into
    std::vector<Difference> differences;    // in the first summary's key order, then keys only the second has
    std::size_t equalKeys = 0;
};

Comparison CompareSummaries(const OrderedJson& first, const OrderedJson& second);

const char* GroupName(DifferenceGroup group);   // "settings", "figures", "adaptation", "other"

// A value as one short text: numbers in full precision, "[500 values]" for a kept array, "(absent)" for null.
std::string ValueText(const OrderedJson* value);
// For two numbers "+0.022 (+17.9 %)", for two arrays of numbers of one length "largest change 0.003"; else "".
std::string ChangeText(const OrderedJson* first, const OrderedJson* second);

// The differences as text lines, at most maxPerGroup per group (0: all).
std::string ComparisonText(const Comparison& comparison, const std::string& firstName, const std::string& secondName,
                           std::size_t maxPerGroup);

}  // namespace ksim
