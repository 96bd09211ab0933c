#include "kit/ParameterGuide.h"

#include "kit/AmiFile.h"
#include "kit/KitFiles.h"

namespace kit {

namespace {

constexpr std::size_t kWidth = 100;
const std::string kIndent = "      ";

std::string Number(const AmiParameter& param, double value) {
    return param.whole ? AmiIntegerText(value) : AmiFloatText(value);
}

// Words filled into lines of at most kWidth characters, each line starting with the indent.
std::string Wrapped(const std::string& text) {
    std::string out, line = kIndent;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (line.size() > kIndent.size() && line.size() + 1 + word.size() > kWidth) {
            out += line + "\n";
            line = kIndent;
        }
        line += (line.size() > kIndent.size() ? " " : "") + word;
        start = end + 1;
    }
    return out + line + "\n";
}

std::string Heading(const AmiParameter& param) {
    std::string text = "  " + param.name + "  (" + (param.whole ? "Integer" : "Float");
    if (param.kind == AmiParameter::Kind::IntegerList) {
        text += " list of " + std::to_string(param.listDefaults.size());
    } else {
        text += ", default " + Number(param, param.defaultValue);
    }
    if (param.bounded) text += ", range " + Number(param, param.minimum) + " to " + Number(param, param.maximum);
    else text += ", no range: it changes nothing the simulator sees";
    return text + ")\n";
}

std::string ModelGuide(const AmiModel& model, const std::string& amiFile) {
    std::string text = model.rootName + " (" + amiFile + ")\n";
    for (const AmiParameter& param : model.parameters) {
        text += Heading(param);
        if (param.kind == AmiParameter::Kind::IntegerList) {
            std::string defaults = "defaults, entry 0 first:";
            for (int value : param.listDefaults) defaults += " " + std::to_string(value);
            text += Wrapped(defaults);
        }
        text += Wrapped(param.description);
    }
    for (const AmiInfoParameter& info : model.reserved)
        if (info.name == "Ignore_Bits") text += "  Ignore_Bits " + info.value + " (reserved)\n" + Wrapped(info.description);
    return text;
}

}  // namespace

std::string RenderParameterGuide() {
    return ModelGuide(TransmitterAmiModel(), kTxAmiFileName) + "\n" + ModelGuide(ReceiverAmiModel(), kRxAmiFileName);
}

}  // namespace kit
