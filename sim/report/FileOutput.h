#pragma once

#include <string>
#include <vector>

namespace ksim {

// Write a whole file at once; throw std::runtime_error naming the path when it cannot be written.
void WriteTextFile(const std::string& path, const std::string& text);
void WriteBinaryFile(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace ksim
