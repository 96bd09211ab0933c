#include "sim/sweep/RunComparison.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "sim/report/NumberFormat.h"

namespace ksim {

namespace {

DifferenceGroup GroupOf(const std::string& path) {
    static const std::set<std::string> settings = {"parameters", "applied_parameters", "stimulus", "timing", "channel",
                                                   "libraries", "tx_ffe_weights", "init_messages"};
    const std::string top = path.substr(0, path.find('/'));
    if (settings.count(top)) return DifferenceGroup::Settings;
    if (top == "adaptation") return DifferenceGroup::Adaptation;
    if (top == "tool" || top == "performance") return DifferenceGroup::Other;
    return DifferenceGroup::Figures;  // everything measured, including figures added later
}

bool SameValue(const OrderedJson& a, const OrderedJson& b) {
    if (a.is_number() && b.is_number()) {
        const double x = a.get<double>(), y = b.get<double>();
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    if (a.is_array() && b.is_array() && a.size() == b.size()) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!SameValue(a[i], b[i])) return false;
        return true;
    }
    return a == b;
}

}  // namespace

const char* GroupName(DifferenceGroup group) {
    switch (group) {
        case DifferenceGroup::Settings: return "settings";
        case DifferenceGroup::Figures: return "figures";
        case DifferenceGroup::Adaptation: return "adaptation";
        default: return "other";
    }
}

Comparison CompareSummaries(const OrderedJson& first, const OrderedJson& second) {
    Comparison c;
    c.first = FlattenJson(first);
    c.second = FlattenJson(second);
    std::map<std::string, const OrderedJson*> inSecond;
    for (const FlatEntry& entry : c.second) inSecond[entry.path] = &entry.value;
    std::set<std::string> inFirst;
    for (const FlatEntry& entry : c.first) {
        inFirst.insert(entry.path);
        const auto it = inSecond.find(entry.path);
        if (it != inSecond.end() && SameValue(entry.value, *it->second)) {
            ++c.equalKeys;
            continue;
        }
        c.differences.push_back({GroupOf(entry.path), entry.path, &entry.value, it == inSecond.end() ? nullptr : it->second});
    }
    for (const FlatEntry& entry : c.second)
        if (!inFirst.count(entry.path)) c.differences.push_back({GroupOf(entry.path), entry.path, nullptr, &entry.value});
    std::stable_sort(c.differences.begin(), c.differences.end(),
                     [](const Difference& a, const Difference& b) { return a.group < b.group; });
    return c;
}

std::string ValueText(const OrderedJson* value) {
    if (value == nullptr) return "(absent)";
    if (value->is_null()) return "null";
    if (value->is_array()) return "[" + std::to_string(value->size()) + " values]";
    if (value->is_string()) return value->get<std::string>();
    if (value->is_number_float()) return FormatGeneral(value->get<double>(), 10);
    return value->dump();
}

std::string ChangeText(const OrderedJson* first, const OrderedJson* second) {
    if (first == nullptr || second == nullptr) return "";
    if (first->is_number() && second->is_number() && !first->is_boolean()) {
        const double a = first->get<double>(), b = second->get<double>();
        if (!std::isfinite(a) || !std::isfinite(b)) return "";
        std::string text = (b >= a ? "+" : "") + FormatGeneral(b - a, 4);
        if (a != 0) text += " (" + std::string(b >= a ? "+" : "") + FormatGeneral(100.0 * (b - a) / std::fabs(a), 3) + " %)";
        return text;
    }
    if (first->is_array() && second->is_array() && first->size() == second->size()) {
        double largest = 0;
        for (std::size_t i = 0; i < first->size(); ++i) {
            if (!(*first)[i].is_number() || !(*second)[i].is_number()) return "";
            largest = std::max(largest, std::fabs((*second)[i].get<double>() - (*first)[i].get<double>()));
        }
        return "largest change " + FormatGeneral(largest, 4);
    }
    return "";
}

std::string ComparisonText(const Comparison& c, const std::string& firstName, const std::string& secondName,
                           std::size_t maxPerGroup) {
    std::string text = "first:  " + firstName + "\nsecond: " + secondName + "\n";
    std::size_t width = 0;
    for (const Difference& d : c.differences) width = std::max(width, d.path.size());
    width = std::min<std::size_t>(width, 48);
    for (DifferenceGroup group : {DifferenceGroup::Settings, DifferenceGroup::Figures, DifferenceGroup::Adaptation, DifferenceGroup::Other}) {
        std::size_t shown = 0, total = 0;
        for (const Difference& d : c.differences) {
            if (d.group != group) continue;
            if (total++ == 0) text += std::string("\n") + GroupName(group) + "\n";
            if (maxPerGroup != 0 && shown >= maxPerGroup) continue;
            ++shown;
            std::string line = "  " + d.path;
            line.resize(std::max(line.size() + 2, width + 4), ' ');
            line += ValueText(d.first) + "  ->  " + ValueText(d.second);
            const std::string change = ChangeText(d.first, d.second);
            if (!change.empty()) line += "   " + change;
            text += line + "\n";
        }
        if (total > shown) text += "  ... and " + std::to_string(total - shown) + " more\n";
    }
    text += "\n" + std::to_string(c.differences.size()) + " differences, " + std::to_string(c.equalKeys) + " values equal\n";
    return text;
}

}  // namespace ksim
