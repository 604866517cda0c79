#include "platform/linux/LinuxTcpSocket.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include "platform/Ipv4.h"

namespace korven::linux_platform {
namespace {

constexpr std::uint32_t kReading = EPOLLIN | EPOLLRDHUP;

}  // namespace

LinuxTcpSocket::LinuxTcpSocket(DescriptorWatch& descriptors, const TerminalAddresses& terminals)
    : descriptors_(descriptors), terminals_(terminals) {}

LinuxTcpSocket::~LinuxTcpSocket() {
  release(false);
}

bool LinuxTcpSocket::connect() {
  if (state_ != tcp_state::Closed) return false;
  // 0.0.0.0 would reach the PC itself, a broadcast or multicast address no
  // terminal, whatever a discovery reply or the address box says.
  const auto host = parseIpv4(remoteHost());
  if (!host || !terminals_.accepts(remoteHost()) || remotePort() <= 0 || remotePort() > 65535) {
    state_ = tcp_state::Error;
    return false;
  }
  handedOver_ = taken_ = delivered_ = 0;  // counted per connection
  descriptor_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  // Each piece of an update leaves when it is handed over: without this
  // option a piece would wait for the previous one's acknowledgement.
  const int on = 1;
  if (descriptor_ < 0 || ::setsockopt(descriptor_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
    fail(errno);  // out of descriptors, say: the next pass tries again
    return true;
  }
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(remotePort()));
  peer.sin_addr.s_addr = htonl(*host);
  // The outcome is told at a processing point, also when the connection is
  // made at once: the Connect event never runs inside the call that asked.
  if (::connect(descriptor_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 &&
      errno != EINPROGRESS && errno != EINTR) {
    fail(errno);
    return true;
  }
  watched_ = EPOLLOUT;
  token_ = descriptors_.add(descriptor_, watched_, *this);
  if (token_ == 0) {
    fail(errno);
    return true;
  }
  state_ = tcp_state::Connecting;
  return true;
}

void LinuxTcpSocket::ready(std::uint32_t events) {
  if (state_ == tcp_state::Connecting) {
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) {
      fail(error);
      return;
    }
    state_ = tcp_state::Connected;
    watchFor(kReading);
    // A watch the system refused has failed the connection just now.
    if (state_ != tcp_state::Connected) return;
    onConnect.raise();  // last: a handler may destroy this socket
    return;
  }
  if (state_ != tcp_state::Connected) return;
  if ((events & EPOLLOUT) != 0 && !unsent_.empty()) {
    if (!write(std::exchange(unsent_, {}))) return;
  }
  if ((events & (kReading | EPOLLHUP | EPOLLERR)) == 0) return;
  const std::size_t before = received_.size();
  receive();
  // Data that came before the peer closed is still announced and readable.
  if (received_.size() > before) onDataArrival.raise(received_.size());  // last, as above
}

void LinuxTcpSocket::receive() {
  std::array<char, 4096> buffer;  // status replies are a byte or a few
  for (;;) {
    const ssize_t n = ::recv(descriptor_, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n > 0) {
      received_.append(buffer.data(), static_cast<std::size_t>(n));
    } else if (n == 0) {
      fail(ECONNRESET);  // the peer closed
      return;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return;
    } else if (errno != EINTR) {
      fail(errno);
      return;
    }
  }
}

bool LinuxTcpSocket::sendData(std::string_view bytes) {
  if (state_ != tcp_state::Connected) return false;
  // Bytes the kernel has not taken yet go first; writing past them would
  // reorder the stream. They are offered again now: a frozen wait may
  // follow at once.
  bool written = false;
  if (unsent_.empty()) {
    written = write(bytes);
  } else {
    std::string all = std::exchange(unsent_, {});
    all.append(bytes);
    written = write(all);
  }
  if (written) handedOver_ += bytes.size();
  return written;
}

bool LinuxTcpSocket::write(std::string_view bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n =
        ::send(descriptor_, bytes.data() + sent, bytes.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      taken_ += static_cast<std::uint64_t>(n);
    } else if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
      // The kernel's buffer is full (the peer does not read): the rest goes
      // when the socket takes more, before anything sent later.
      unsent_.assign(bytes.substr(sent));
      watchFor(kReading | EPOLLOUT);
      return true;
    } else if (errno != EINTR) {
      fail(errno);
      return false;
    }
  }
  watchFor(kReading);
  return true;
}

std::uint64_t LinuxTcpSocket::bytesDelivered() const {
  return deliveredNow();
}

std::uint64_t LinuxTcpSocket::deliveredNow() const {
  if (descriptor_ < 0) return delivered_;
  // What the kernel holds unacknowledged has not reached the peer either.
  int waiting = 0;
  if (state_ != tcp_state::Connected || ::ioctl(descriptor_, SIOCOUTQ, &waiting) != 0) {
    return taken_;
  }
  return taken_ - static_cast<std::uint64_t>(waiting);
}

std::string LinuxTcpSocket::getData() {
  return std::exchange(received_, {});
}

void LinuxTcpSocket::close() {
  release(true);
  state_ = tcp_state::Closed;
  received_.clear();
}

void LinuxTcpSocket::watchFor(std::uint32_t events) {
  if (events == watched_) return;
  watched_ = events;
  if (!descriptors_.change(token_, descriptor_, events)) fail(errno);
}

void LinuxTcpSocket::fail(int error) {
  release(false);
  state_ = error == ECONNRESET || error == EPIPE ? tcp_state::Closing : tcp_state::Error;
}

void LinuxTcpSocket::release(bool resetIfUndelivered) {
  unsent_.clear();
  if (descriptor_ < 0) return;
  delivered_ = deliveredNow();
  // Bytes that did not get through are lost either way; a reset tells the
  // peer so at once, where the kernel would go on offering them for minutes.
  if (resetIfUndelivered && delivered_ < handedOver_) {
    const linger reset{1, 0};
    ::setsockopt(descriptor_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  descriptors_.remove(token_, descriptor_);
  ::close(descriptor_);
  descriptor_ = -1;
  token_ = 0;
}

}  // namespace korven::linux_platform
