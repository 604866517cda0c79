#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace korven {

// Spaces removed at both ends, as addresses typed into a box are read.
inline std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Text from the network made safe to print or to store as text: control
// bytes, DEL and bytes above 0x7E become "\xNN" and the backslash "\\", so a
// terminal's reply can neither move a cursor, nor break a line, nor pass for
// an escape it did not send.
inline std::string escapedText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte > 0x7E) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace korven
