#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korven {

// One IPv4 address of one of the machine's network interfaces.
struct NetworkInterface {
  std::string name;
  unsigned index = 0;                      // the system's number for the interface
  std::uint32_t address = 0;               // host order
  std::optional<std::uint32_t> broadcast;  // its network's broadcast address, if it can broadcast
  bool up = false;
  bool loopback = false;
};

// Every IPv4 address of the machine's interfaces, in the system's order;
// empty when they cannot be listed.
std::vector<NetworkInterface> ipv4Interfaces();

// The interfaces a datagram to 255.255.255.255 goes out on, each once: those
// named, or, with none named, every one that is up, can broadcast and is not
// loopback. A name that is no such interface is a problem, said in `problem`.
std::vector<NetworkInterface> broadcastInterfaces(const std::vector<std::string>& named,
                                                  std::string* problem = nullptr);

}  // namespace korven
