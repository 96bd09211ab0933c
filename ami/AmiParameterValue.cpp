#include "ami/AmiParameterValue.h"

#include "ami/AmiParameterTree.h"

#include <locale.h>
#include <stdlib.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Parameter strings write numbers with a decimal point whatever locale the host simulator has set (a GUI
// host often sets the user's, where the decimal mark may be a comma), so numbers are read in the C locale.
// The handle is created once and never changed.
locale_t NumberLocale() noexcept {
    static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
    return c;
}

const char* const kReservedWords[] = {
    "In",    "Out",   "Info", "InOut",  "Float",     "Integer", "String", "Boolean",  "Tap",        "UI",
    "Value", "Range", "List", "Corner", "Increment", "Steps",   "Table",  "Gaussian", "Dual-Dirac", "DjRj",
};

const char* const kLeafTags[] = {"Usage", "Type", "Format", "Default", "Description", "Labels"};

bool ReadsWholeAsInteger(const char* text) {
    char* end = nullptr;
    std::strtol(text, &end, 10);  // an overflowing integer is still an integer
    return end != text && *end == '\0';
}

bool ReadsWholeAsFiniteFloat(const char* text) {
    char* end = nullptr;
    const double value = ReadNumberText(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

}  // namespace

double ReadNumberText(const char* text, char** end) noexcept {
    const locale_t c = NumberLocale();
    return c != static_cast<locale_t>(0) ? strtod_l(text, end, c) : std::strtod(text, end);
}

int ClassifyParamValue(const char* text) noexcept {
    if (text == nullptr || text[0] == '\0') return kParamEmpty;
    // strtol and strtod report range errors through errno; the caller's errno is none of our business.
    const int savedErrno = errno;
    int type = kParamWord;
    if (ReadsWholeAsInteger(text))
        type = kParamInteger;
    else if (ReadsWholeAsFiniteFloat(text))
        type = kParamFloat;
    else if (std::strcmp(text, "True") == 0 || std::strcmp(text, "False") == 0)
        type = kParamBoolean;
    errno = savedErrno;
    return type;
}

int ReservedWordCode(const char* text) noexcept {
    if (text == nullptr) return -1;
    const int n = static_cast<int>(sizeof kReservedWords / sizeof kReservedWords[0]);
    for (int i = 0; i < n; ++i)
        if (std::strcmp(text, kReservedWords[i]) == 0) return i;
    return -1;
}

int LeafNameTag(const char* name) noexcept {
    if (name == nullptr) return 0;
    const int n = static_cast<int>(sizeof kLeafTags / sizeof kLeafTags[0]);
    for (int i = 0; i < n; ++i)
        if (std::strcmp(name, kLeafTags[i]) == 0) return i + 1;
    return 0;
}
