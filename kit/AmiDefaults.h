#pragma once

// What a channel simulator sends a model when the user changes nothing: the parameter string built from
// an .ami file's Model_Specific branch, each parameter with its default.

#include <string>

namespace kit {

// "(root (name default) ... (list (0 default) ...))": every Model_Specific parameter in file order with
// the first value of its Range or Value, nested groups kept. Throws std::invalid_argument when the text
// does not parse or has no Model_Specific branch.
std::string DefaultParameterString(const std::string& amiText);

}  // namespace kit
