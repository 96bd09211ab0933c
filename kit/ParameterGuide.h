#pragma once

// The parameter tables of the release kit's README, rendered from the same model descriptions as the .ami
// files, so that the README states exactly the defaults and ranges the models declare.

#include <string>

namespace kit {

// Plain text, lines of at most 100 characters: per model, every Model_Specific parameter with its type,
// default, range (or single value) and description, then the reserved settings the model suggests.
std::string RenderParameterGuide();

}  // namespace kit
