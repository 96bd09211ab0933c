#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ksim {

// Standard base64 alphabet with '=' padding, no line breaks (for data: URIs).
std::string Base64Encode(const unsigned char* data, std::size_t size);
std::string Base64Encode(const std::vector<unsigned char>& bytes);
std::string Base64Encode(const std::string& bytes);

}  // namespace ksim
