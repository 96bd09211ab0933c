#include "sim/sweep/SweepPlan.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace ksim {

namespace {

constexpr const char* kSafeWordCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./=:,+@%";
constexpr std::size_t kMaxAxisValues = 10000;

bool IsNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// A value of a decimal range: 12 significant digits drop the representation error of start + k * step.
std::string RangeValueText(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.12g", value);
    return std::string(text) == "-0" ? "0" : text;
}

void AppendItem(const std::string& axis, const std::string& item, std::vector<std::string>& values) {
    const std::size_t colon = item.find(':');
    if (colon == std::string::npos) {
        if (item.empty() || item.find_first_not_of(kSafeWordCharacters) != std::string::npos || item.find('=') != std::string::npos)
            throw std::invalid_argument(axis + ": \"" + item + "\" is not a value (letters, digits, '-', '+', '.' only)");
        values.push_back(item);
        return;
    }
    const std::size_t second = item.find(':', colon + 1);
    const std::string first = item.substr(0, colon);
    const std::string last = item.substr(colon + 1, second == std::string::npos ? std::string::npos : second - colon - 1);
    const std::string stepText = second == std::string::npos ? "1" : item.substr(second + 1);
    double from = 0, to = 0, step = 0;
    if (!IsNumber(first, from) || !IsNumber(last, to) || !IsNumber(stepText, step))
        throw std::invalid_argument(axis + ": the range \"" + item + "\" needs numbers, as start:end or start:end:step");
    if (!(step > 0)) throw std::invalid_argument(axis + ": the range \"" + item + "\" needs a step above 0");
    if (to < from) throw std::invalid_argument(axis + ": the range \"" + item + "\" ends below its start");
    const double count = std::floor((to - from) / step * (1 + 1e-12) + 1e-9) + 1;
    if (count > static_cast<double>(kMaxAxisValues))
        throw std::invalid_argument(axis + ": the range \"" + item + "\" has more than " + std::to_string(kMaxAxisValues) + " values");
    for (long k = 0; k < static_cast<long>(count); ++k) values.push_back(RangeValueText(from + static_cast<double>(k) * step));
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;  // the run says the file is missing, naming it as given
}

}  // namespace

SweepAxis ParseSweepAxis(const std::string& side, const std::string& text) {
    const std::size_t equals = text.find('=');
    SweepAxis axis;
    axis.side = side;
    axis.name = text.substr(0, equals);
    const std::string option = "--" + side + " " + text;
    if (equals == std::string::npos || axis.name.empty() ||
        axis.name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.") != std::string::npos)
        throw std::invalid_argument(option + ": expected name=values, e.g. c1=0:15, CTLE=3,7,11 or CTLEAdapt=0");
    const std::string list = text.substr(equals + 1);
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        AppendItem(option, list.substr(start, comma == std::string::npos ? std::string::npos : comma - start), axis.values);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return axis;
}

std::string ChannelTag(const std::string& channel) {
    std::string name = channel.substr(channel.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
    return name.empty() ? "channel" : name;
}

std::vector<SweepCase> PlanSweep(const SweepPlanInput& input) {
    double total = static_cast<double>(input.channels.size());
    for (const SweepAxis& axis : input.axes) total *= static_cast<double>(axis.values.size());
    if (total > static_cast<double>(kMaxSweepCases))
        throw std::invalid_argument("the sweep has " + RangeValueText(total) + " cases, more than " +
                                    std::to_string(kMaxSweepCases));
    // Two channel files of the same name get distinct tags.
    std::vector<std::string> tags;
    std::map<std::string, int> seen;
    for (const std::string& channel : input.channels) {
        std::string tag = ChannelTag(channel);
        const int count = ++seen[tag];
        if (count > 1) tag += "-" + std::to_string(count);
        tags.push_back(tag);
    }
    std::vector<SweepCase> cases;
    for (std::size_t c = 0; c < input.channels.size(); ++c) {
        std::vector<std::size_t> at(input.axes.size(), 0);
        while (true) {
            SweepCase one;
            one.name = tags[c];
            one.command = {input.program, "--channel", input.channels[c] == "analytic" ? "analytic" : AbsolutePath(input.channels[c])};
            for (std::size_t a = 0; a < input.axes.size(); ++a) {
                const SweepAxis& axis = input.axes[a];
                one.name += "," + axis.side + "." + axis.name + "=" + axis.values[at[a]];
                one.command.push_back("--" + axis.side);
                one.command.push_back(axis.name + "=" + axis.values[at[a]]);
            }
            one.folder = input.casesFolder + "/" + one.name;
            one.command.insert(one.command.end(), input.passThrough.begin(), input.passThrough.end());
            one.command.insert(one.command.end(), {"--no-progress", "-o", one.folder});
            cases.push_back(std::move(one));
            std::size_t a = input.axes.size();
            while (a > 0 && ++at[a - 1] == input.axes[a - 1].values.size()) at[--a] = 0;
            if (a == 0) break;
        }
    }
    return cases;
}

std::string ShellLine(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        if (!line.empty()) line += ' ';
        if (!word.empty() && word.find_first_not_of(kSafeWordCharacters) == std::string::npos) {
            line += word;
            continue;
        }
        line += '\'';
        for (char c : word) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

std::string JobFileText(const std::vector<SweepCase>& cases) {
    std::string text =
        "# kelvane-sim sweep: one case per line, each a complete command writing into its own folder.\n"
        "# Run them with any scheduler, then merge the results: kelvane-sim collect <sweep folder>\n";
    for (const SweepCase& one : cases) text += ShellLine(one.command) + "\n";
    return text;
}

}  // namespace ksim
