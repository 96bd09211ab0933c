#include "sim/sweep/FlatJson.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ksim {

namespace {

bool IsLongPlainArray(const OrderedJson& value) {
    if (!value.is_array() || value.size() <= kFlatArrayLimit) return false;
    for (const OrderedJson& item : value)
        if (item.is_structured()) return false;
    return true;
}

void Flatten(const OrderedJson& value, const std::string& path, std::vector<FlatEntry>& out) {
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it) Flatten(it.value(), path.empty() ? it.key() : path + "/" + it.key(), out);
        if (value.empty()) out.push_back({path, value});
    } else if (value.is_array() && !IsLongPlainArray(value)) {
        for (std::size_t i = 0; i < value.size(); ++i) Flatten(value[i], path + "/" + std::to_string(i), out);
        if (value.empty()) out.push_back({path, value});
    } else {
        out.push_back({path, value});
    }
}

}  // namespace

std::vector<FlatEntry> FlattenJson(const OrderedJson& document) {
    std::vector<FlatEntry> out;
    Flatten(document, "", out);
    return out;
}

const OrderedJson* FindPath(const OrderedJson& document, const std::string& path) {
    const OrderedJson* at = &document;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string key = path.substr(start, end - start);
        if (at->is_object()) {
            const auto it = at->find(key);
            if (it == at->end()) return nullptr;
            at = &*it;
        } else if (at->is_array() && !key.empty() && key.find_first_not_of("0123456789") == std::string::npos) {
            const std::size_t index = std::stoul(key);
            if (index >= at->size()) return nullptr;
            at = &(*at)[index];
        } else {
            return nullptr;
        }
        start = end + 1;
    }
    return at;
}

std::optional<double> NumberAt(const OrderedJson& document, std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        const OrderedJson* value = FindPath(document, path);
        if (value != nullptr && value->is_number() && std::isfinite(value->get<double>())) return value->get<double>();
    }
    return std::nullopt;
}

OrderedJson ReadJsonFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return OrderedJson::parse(text.str());
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(path + " is not valid JSON: " + e.what());
    }
}

}  // namespace ksim
