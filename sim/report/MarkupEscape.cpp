#include "sim/report/MarkupEscape.h"

namespace ksim {

std::string EscapeMarkup(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: {
                const unsigned char byte = static_cast<unsigned char>(c);
                const bool control = (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7f;
                if (control) {
                    out += "\xEF\xBF\xBD";
                } else {
                    out += c;
                }
            }
        }
    }
    return out;
}

}  // namespace ksim
