#include "platform/qt/QtTcpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include "platform/Ipv4.h"

namespace korven::qt {
namespace {

constexpr std::uint32_t kReading = EPOLLIN | EPOLLRDHUP;

}  // namespace

QtTcpSocket::QtTcpSocket(DescriptorWatch& descriptors) : descriptors_(descriptors) {}

QtTcpSocket::~QtTcpSocket() {
  release();
}

bool QtTcpSocket::connect() {
  if (state_ != tcp_state::Closed) return false;
  const auto host = parseIpv4(remoteHost());
  if (!host || remotePort() <= 0 || remotePort() > 65535) {
    state_ = tcp_state::Error;
    return false;
  }
  descriptor_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (descriptor_ < 0) {
    state_ = tcp_state::Error;  // out of descriptors: the next pass tries again
    return true;
  }
  // Each piece of an update leaves when it is handed over.
  const int on = 1;
  ::setsockopt(descriptor_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(remotePort()));
  peer.sin_addr.s_addr = htonl(*host);
  // The outcome is told by the loop, also when the connection is made at
  // once: the Connect event never runs inside the call that asked for it.
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

void QtTcpSocket::ready(std::uint32_t events) {
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

void QtTcpSocket::receive() {
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

bool QtTcpSocket::sendData(std::string_view bytes) {
  if (state_ != tcp_state::Connected) return false;
  // Bytes the kernel has not taken yet go first; writing past them would
  // reorder the stream. They are offered again now: a frozen wait may
  // follow at once.
  if (!unsent_.empty()) {
    unsent_.append(bytes);
    return write(std::exchange(unsent_, {}));
  }
  return write(bytes);
}

bool QtTcpSocket::write(std::string_view bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n =
        ::send(descriptor_, bytes.data() + sent, bytes.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
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

std::string QtTcpSocket::getData() {
  return std::exchange(received_, {});
}

void QtTcpSocket::close() {
  release();
  state_ = tcp_state::Closed;
  received_.clear();
  unsent_.clear();
}

void QtTcpSocket::watchFor(std::uint32_t events) {
  if (events == watched_) return;
  watched_ = events;
  descriptors_.change(token_, descriptor_, events);
}

void QtTcpSocket::fail(int error) {
  release();
  unsent_.clear();
  state_ = error == ECONNRESET || error == EPIPE ? tcp_state::Closing : tcp_state::Error;
}

void QtTcpSocket::release() {
  if (descriptor_ < 0) return;
  descriptors_.remove(token_, descriptor_);
  ::close(descriptor_);
  descriptor_ = -1;
  token_ = 0;
}

}  // namespace korven::qt
