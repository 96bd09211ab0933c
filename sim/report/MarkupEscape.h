#pragma once

#include <string>

namespace ksim {

// Makes any text safe inside HTML or SVG element content and quoted attribute values: escapes & < > " ' and
// replaces control characters other than tab, line feed and carriage return with U+FFFD. Bytes of invalid
// UTF-8 pass through; the browser shows them as replacement characters.
std::string EscapeMarkup(const std::string& text);

}  // namespace ksim
