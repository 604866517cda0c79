#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Terminal.h"

// Small socket helpers shared by the server and its listeners.
namespace korven::sim {

// What an epoll event is about: the kind in the high 32 bits, an id below.
enum Tag : std::uint64_t {
  kUdp = 1,
  kRaw,
  kTimer,
  kStdin,
  kSignal,
  kListener,  // a faulted terminal's own listener; id: the terminal
  kWildcard,  // the listener of every other terminal
  kConn,
};

inline std::uint64_t tag(Tag t, std::uint32_t id = 0) {
  return (static_cast<std::uint64_t>(t) << 32) | id;
}

// Microseconds of CLOCK_MONOTONIC.
TimeUs now();

std::string errnoText();
sockaddr_in socketAddress(std::uint32_t address, int port);
// "127.0.0.2:1024"
std::string endpoint(const sockaddr_in& a);
inline bool isLoopback(std::uint32_t address) {
  return (address >> 24) == 127;
}
// 198.18.0.0/15, set aside for network tests: the segments a test builds
// of namespaces joined by virtual links, never a real network.
inline bool isTestNetwork(std::uint32_t address) {
  return (address & 0xFFFE0000u) == 0xC6120000u;
}
// Where the simulator lives and answers: this machine, or a test's own segments.
inline bool isSimulatorNetwork(std::uint32_t address) {
  return isLoopback(address) || isTestNetwork(address);
}

// The terminal at a host-order address; terminals sit on consecutive addresses.
std::optional<std::size_t> terminalAt(const std::vector<Terminal>& terminals,
                                      std::uint32_t address);

// recv() that also gives when the last of the bytes reached the socket, on
// the monotonic clock (the socket needs SO_TIMESTAMPNS).
ssize_t receiveStamped(int fd, char* data, std::size_t size, TimeUs& arrival);

// sendmsg() of one datagram or segment that leaves from the host-order
// address `from` (IP_PKTINFO), whatever address the socket is bound to.
ssize_t sendFrom(int fd, const void* data, std::size_t size, const sockaddr_in& to,
                 std::uint32_t from);

// The next client waiting on a listener, or -1 (errno set) when none waits.
int acceptOne(int listener, sockaddr_in& peer);

}  // namespace korven::sim
