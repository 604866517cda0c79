#include "sim/Net.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace korven::sim {

TimeUs now() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<TimeUs>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

std::string errnoText() {
  return std::strerror(errno);
}

sockaddr_in socketAddress(std::uint32_t address, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  return a;
}

std::string endpoint(const sockaddr_in& a) {
  return formatIpv4(ntohl(a.sin_addr.s_addr)) + ':' + std::to_string(ntohs(a.sin_port));
}

std::optional<std::size_t> terminalAt(const std::vector<Terminal>& terminals,
                                      std::uint32_t address) {
  if (terminals.empty()) return std::nullopt;
  const std::uint32_t first = terminals.front().addressValue();
  if (address < first || address - first >= terminals.size()) return std::nullopt;
  return address - first;
}

int acceptOne(int listener, sockaddr_in& peer) {
  for (;;) {
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0 || (errno != EINTR && errno != ECONNABORTED)) return fd;
  }
}

}  // namespace korven::sim
