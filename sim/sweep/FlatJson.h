#pragma once

// A summary.json laid flat: every leaf under its path ("eye/height_v", "adaptation/steps/3/merit"), in the
// document's order. Long arrays of numbers (traces) stay one entry, so that two runs compare trace by trace
// rather than point by point. Reading by path keeps sweep tables and run comparisons working while runs
// gain new fields.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ksim {

using OrderedJson = nlohmann::ordered_json;

// Arrays of more than this many numbers or strings are kept whole.
constexpr std::size_t kFlatArrayLimit = 8;

struct FlatEntry {
    std::string path;   // keys and array indices joined by '/'
    OrderedJson value;  // a number, string, boolean, null, or a long array kept whole
};

std::vector<FlatEntry> FlattenJson(const OrderedJson& document);

// The leaf at a '/'-joined path, or nullptr.
const OrderedJson* FindPath(const OrderedJson& document, const std::string& path);
// The first of the paths holding a finite number.
std::optional<double> NumberAt(const OrderedJson& document, std::initializer_list<const char*> paths);

// Reads a JSON file; throws std::runtime_error naming the file when it is missing or malformed.
OrderedJson ReadJsonFile(const std::string& path);

}  // namespace ksim
