#include "kit/AmiFile.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace kit {

namespace {

// Texts go into double quotes, which the AMI syntax cannot escape, and stay on one line.
std::string QuotedText(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '\'';
        else if (c == '\n' || c == '\r' || c == '\t')
            quoted += ' ';
        else
            quoted += c;
    }
    return quoted + "\"";
}

void RequireFinite(double value, const std::string& name) {
    if (!std::isfinite(value)) throw std::invalid_argument("parameter " + name + " has a value that is not finite");
}

std::string NumberText(const AmiParameter& param, double value) {
    RequireFinite(value, param.name);
    return param.whole ? AmiIntegerText(value) : AmiFloatText(value);
}

// "(Range 15 0 31)" or "(Value 0.01)", for a default `value` of the parameter (or of one of its elements).
std::string DefaultGroup(const AmiParameter& param, double value) {
    if (!param.bounded) return "(Value " + NumberText(param, value) + ")";
    if (!(param.minimum <= value && value <= param.maximum))
        throw std::invalid_argument("parameter " + param.name + " has its default outside its range");
    return "(Range " + NumberText(param, value) + " " + NumberText(param, param.minimum) + " " +
           NumberText(param, param.maximum) + ")";
}

std::string Leaf(const std::string& indent, const std::string& name, const std::string& type,
                 const std::string& usage, const std::string& valueGroup, const std::string& description) {
    return indent + "(" + name + " (Usage " + usage + ") (Type " + type + ") " + valueGroup + "\n" + indent +
           "  (Description " + QuotedText(description) + "))\n";
}

std::string ModelSpecific(const AmiParameter& param) {
    const std::string indent = "    ";
    if (param.kind != AmiParameter::Kind::IntegerList) {
        const std::string type = param.whole ? "Integer" : "Float";
        return Leaf(indent, param.name, type, "In", DefaultGroup(param, param.defaultValue), param.description);
    }
    std::string branch = indent + "(" + param.name + "\n";
    for (std::size_t i = 0; i < param.listDefaults.size(); ++i) {
        const std::string index = std::to_string(i);
        branch += Leaf(indent + "  ", index, "Integer", "In", DefaultGroup(param, param.listDefaults[i]),
                       param.name + " entry " + index + ": " + param.description);
    }
    return branch + indent + ")\n";
}

}  // namespace

std::string AmiIntegerText(double value) {
    return std::to_string(static_cast<long long>(std::trunc(value)));
}

std::string AmiFloatText(double value) {
    char text[64];
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e15);
    const std::chars_format format = plain ? std::chars_format::fixed : std::chars_format::scientific;
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value + 0.0, format);
    std::string result(text, written.ptr);
    if (result.find_first_of(".e") == std::string::npos) result += ".0";
    return result;
}

std::string RenderAmi(const AmiModel& model) {
    std::string text = "(" + model.rootName + "\n";
    text += "  (Description " + QuotedText(model.description) + ")\n";
    text += "  (Reserved_Parameters\n";
    for (const AmiInfoParameter& info : model.reserved) {
        const std::string value = info.type == "String" ? QuotedText(info.value) : info.value;
        text += Leaf("    ", info.name, info.type, "Info", "(Value " + value + ")", info.description);
    }
    text += "  )\n";
    text += "  (Model_Specific\n";
    for (const AmiParameter& param : model.parameters) text += ModelSpecific(param);
    text += "  )\n";
    return text + ")\n";
}

}  // namespace kit
