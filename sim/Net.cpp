#include "sim/Net.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <sys/types.h>
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

namespace {

TimeUs microsOf(const timespec& t) {
  return static_cast<TimeUs>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

// The steady clock and the wall clock read as one moment: a preemption
// between two readings would shift every stamp carried over by its length.
// Retried until the wall clock moved little across the steady reading.
void readClocks(TimeUs& steady, TimeUs& wall) {
  for (int tries = 0;; ++tries) {
    timespec before{};
    timespec mono{};
    timespec after{};
    ::clock_gettime(CLOCK_REALTIME, &before);
    ::clock_gettime(CLOCK_MONOTONIC, &mono);
    ::clock_gettime(CLOCK_REALTIME, &after);
    steady = microsOf(mono);
    wall = microsOf(after);
    if (wall - microsOf(before) <= 20 || tries == 10) return;
  }
}

}  // namespace

ssize_t receiveStamped(int fd, char* data, std::size_t size, TimeUs& arrival) {
  iovec io{data, size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr m{};
  m.msg_iov = &io;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd, &m, 0);
  TimeUs wall = 0;
  readClocks(arrival, wall);
  for (cmsghdr* h = CMSG_FIRSTHDR(&m); n > 0 && h != nullptr; h = CMSG_NXTHDR(&m, h)) {
    if (h->cmsg_level != SOL_SOCKET || h->cmsg_type != SCM_TIMESTAMPNS) continue;
    timespec stamp{};
    std::memcpy(&stamp, CMSG_DATA(h), sizeof stamp);
    // The stamp is on the wall clock: carry its age over to the steady one.
    const TimeUs age = wall - microsOf(stamp);
    if (age >= 0 && age < 10'000'000) arrival -= age;
  }
  return n;
}

ssize_t sendFrom(int fd, const void* data, std::size_t size, const sockaddr_in& to,
                 std::uint32_t from) {
  iovec iov{const_cast<void*>(data), size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr m{};
  m.msg_name = const_cast<sockaddr_in*>(&to);
  m.msg_namelen = sizeof to;
  m.msg_iov = &iov;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  cmsghdr* c = CMSG_FIRSTHDR(&m);
  c->cmsg_level = IPPROTO_IP;
  c->cmsg_type = IP_PKTINFO;
  c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_spec_dst.s_addr = htonl(from);
  std::memcpy(CMSG_DATA(c), &info, sizeof info);
  return ::sendmsg(fd, &m, 0);
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
