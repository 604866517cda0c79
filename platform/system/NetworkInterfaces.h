#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korven {

// One IPv4 address of one of the machine's network interfaces.
struct NetworkInterface {
  std::string name;
  std::uint32_t address = 0;               // host order
  std::optional<std::uint32_t> broadcast;  // its network's broadcast address, if it has one
  bool up = false;
  bool loopback = false;
};

// Every IPv4 address of the machine's interfaces, in the system's order;
// empty when they cannot be listed.
std::vector<NetworkInterface> ipv4Interfaces();

}  // namespace korven
