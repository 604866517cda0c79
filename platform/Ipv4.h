#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korven {

// Parses exactly four dotted decimal numbers of 0 to 255 ("192.168.1.250").
// Anything else (blanks, short forms, names) is no address: the program
// never resolves names, so a half-typed address goes nowhere.
inline std::optional<std::uint32_t> parseIpv4(std::string_view text) {
  std::uint32_t address = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    std::uint32_t part = 0;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      part = part * 10 + static_cast<std::uint32_t>(text[i] - '0');
      if (++digits > 3 || part > 255) return std::nullopt;
      ++i;
    }
    address = (address << 8) | part;
    if (++parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return address;
}

// "192.168.1.250"
inline std::string dottedIpv4(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
         std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

}  // namespace korven
