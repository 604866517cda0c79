#pragma once

#include <string>

namespace korven {

// Spaces removed at both ends, as addresses typed into a box are read.
inline std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace korven
