#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korven {

// Parses an address written as four dotted decimal numbers of 0 to 255,
// each without a leading zero ("192.168.1.250"). Anything else (blanks,
// short forms, names, "192.168.001.250") is no address: the program never
// resolves names, so a half-typed address goes nowhere, and other programs
// read a leading zero as octal, so the same text would name another host
// there.
inline std::optional<std::uint32_t> parseIpv4(std::string_view text) {
  std::uint32_t address = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    const std::size_t first = i;
    std::uint32_t part = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (i > first && text[first] == '0') return std::nullopt;
      part = part * 10 + static_cast<std::uint32_t>(text[i] - '0');
      if (part > 255) return std::nullopt;
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

// What an IPv4 address is by its fixed ranges alone. Only a unicast one can
// be a terminal; the broadcast addresses of the PC's own networks need the
// interfaces (platform/system/TerminalAddress.h).
enum class Ipv4Kind {
  Unicast,
  Unspecified,  // 0.0.0.0/8: "this host", which a connect reaches as the PC itself
  Multicast,    // 224.0.0.0/4
  Reserved,     // 240.0.0.0/4 (class E) but the limited broadcast
  Broadcast,    // 255.255.255.255
};

inline Ipv4Kind ipv4Kind(std::uint32_t address) {
  if ((address >> 24) == 0) return Ipv4Kind::Unspecified;
  if (address == 0xFFFFFFFFu) return Ipv4Kind::Broadcast;
  if ((address >> 28) == 0xE) return Ipv4Kind::Multicast;
  if ((address >> 28) == 0xF) return Ipv4Kind::Reserved;
  return Ipv4Kind::Unicast;
}

}  // namespace korven
