#include "platform/linux/LinuxUdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "platform/Ipv4.h"

namespace korven::linux_platform {
namespace {

// Thousands of terminals may answer within a millisecond, while the reader
// may wait a few milliseconds for a core: room for some ten thousand
// replies as the kernel counts them. The kernel caps it at its maximum.
constexpr int kReceiveBuffer = 8 << 20;
constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFFu;

}  // namespace

LinuxUdpSocket::LinuxUdpSocket(DescriptorWatch& descriptors, const BroadcastChoice& broadcast)
    : descriptors_(descriptors), broadcast_(broadcast) {}

LinuxUdpSocket::~LinuxUdpSocket() {
  shut();
}

bool LinuxUdpSocket::setLocalPort(int port) {
  if (descriptor_ < 0) {
    port_ = port;
    return true;
  }
  const bool receiving = receiving_;
  shut();
  port_ = port;
  return open(receiving);
}

bool LinuxUdpSocket::bind() {
  return descriptor_ < 0 && open(true);
}

bool LinuxUdpSocket::open(bool receiving) {
  if (port_ < 0 || port_ > 65535) return false;
  descriptor_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  receiving_ = receiving;
  const int on = 1;
  // Not shared: a port held by another program must make this fail.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(port_));
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof local;
  bool opened = descriptor_ >= 0 &&
                ::setsockopt(descriptor_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 &&
                (!receiving || ::setsockopt(descriptor_, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer,
                                            sizeof kReceiveBuffer) == 0) &&
                ::bind(descriptor_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
                ::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&local), &length) == 0;
  if (opened && receiving) {
    notice_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    noticeToken_ = notice_ >= 0 ? descriptors_.add(notice_, EPOLLIN, *this) : 0;
    reader_ = std::make_unique<DatagramReader>(descriptor_, [this] { notify(); });
    opened = noticeToken_ != 0 && reader_->start();
  }
  if (!opened) {
    shut();
    return false;
  }
  port_ = ntohs(local.sin_port);
  return true;
}

void LinuxUdpSocket::shut() {
  reader_.reset();  // its thread reads the socket, which goes next
  if (notice_ >= 0) {
    descriptors_.remove(noticeToken_, notice_);
    ::close(notice_);
  }
  notice_ = -1;
  noticeToken_ = 0;
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

bool LinuxUdpSocket::sendData(std::string_view bytes) {
  const auto host = parseIpv4(remoteHost());
  if (!host || remotePort() <= 0 || remotePort() > 65535) return false;
  if (descriptor_ < 0 && !open(false)) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(remotePort()));
  to.sin_addr.s_addr = htonl(*host);
  if (*host != kLimitedBroadcast) return sendOne(to, bytes, nullptr);
  const std::vector<NetworkInterface> out = broadcast_.now();
  if (out.empty()) return !broadcast_.restricted() && sendOne(to, bytes, nullptr);
  // One interface that refuses must not keep the datagram from the others;
  // the send fails only when it went out nowhere.
  bool sent = false;
  for (const NetworkInterface& via : out) sent = sendOne(to, bytes, &via) || sent;
  return sent;
}

bool LinuxUdpSocket::sendOne(const sockaddr_in& to, std::string_view bytes,
                             const NetworkInterface* via) const {
  iovec data{const_cast<char*>(bytes.data()), bytes.size()};
  msghdr message{};
  message.msg_name = const_cast<sockaddr_in*>(&to);
  message.msg_namelen = sizeof to;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  if (via != nullptr) {
    // The interface and source address of this datagram alone; the route
    // to 255.255.255.255 would pick one interface for all of them.
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(via->index);
    info.ipi_spec_dst.s_addr = htonl(via->address);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
  }
  ssize_t sent = -1;
  do {
    sent = ::sendmsg(descriptor_, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(bytes.size());
}

std::string LinuxUdpSocket::getData() {
  read_ = true;
  return std::exchange(datagram_, std::string());
}

void LinuxUdpSocket::notify() const {
  const std::uint64_t one = 1;
  while (::write(notice_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void LinuxUdpSocket::ready(std::uint32_t) {
  std::uint64_t notices = 0;
  [[maybe_unused]] const ssize_t cleared = ::read(notice_, &notices, sizeof notices);
  // One notice per datagram, read by the handler or not, for a few
  // milliseconds per point and then at the next point for the rest: the
  // window handles its timers and input in between, and what a turn costs
  // besides (a list's layout, a paint) is shared by many replies.
  constexpr auto kPerPoint = std::chrono::milliseconds(4);
  const auto until = std::chrono::steady_clock::now() + kPerPoint;
  do {
    // A handler may move the socket to another port, which ends this reader.
    if (!reader_ || !reader_->take(datagram_)) return;
    read_ = false;
    onDataArrival.raise(datagram_.size());
    if (!read_) datagram_.clear();
  } while (std::chrono::steady_clock::now() < until);
  notify();
}

}  // namespace korven::linux_platform
