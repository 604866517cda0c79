#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korven {

// One IPv4 address of one of the machine's network interfaces.
struct NetworkInterface {
  std::string name;                        // an alias's own label ("eth0:1")
  unsigned index = 0;                      // the system's number for the link; 0 unknown
  std::uint32_t address = 0;               // host order
  std::optional<std::uint32_t> broadcast;  // its network's broadcast address, if it can broadcast
  bool up = false;
  bool loopback = false;
};

// Every IPv4 address of the machine's interfaces, in the system's order;
// empty when they cannot be listed.
std::vector<NetworkInterface> ipv4Interfaces();

// The interfaces a datagram to 255.255.255.255 goes out on, each link once
// (an alias such as "eth0:1" shares its link's index): those named, or, with
// none named, every one that is up, can broadcast and is not loopback. A
// name that is no such interface is a problem, said in `problem`.
std::vector<NetworkInterface> broadcastInterfaces(const std::vector<std::string>& named,
                                                  std::string* problem = nullptr);

// Where the sockets send a datagram addressed to 255.255.255.255. The
// system sends one on a single interface, the one its routes pick, so
// terminals behind another adapter would never hear the query or a burst:
// it goes out once on every interface chosen instead, each with its own
// address as the source.
class BroadcastChoice {
 public:
  // Only the interfaces named; empty: every one that can broadcast.
  void restrictTo(std::vector<std::string> names) { names_ = std::move(names); }
  bool restricted() const { return !names_.empty(); }
  // The interfaces a broadcast goes out on now, read again at each send:
  // an adapter plugged in while the program runs is reached too. Empty and
  // not restricted (only loopback): the one send the routes pick.
  std::vector<NetworkInterface> now() const { return broadcastInterfaces(names_); }

 private:
  std::vector<std::string> names_;
};

}  // namespace korven
