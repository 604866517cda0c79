#include "platform/qt/QtTcpSocket.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <algorithm>
#include <optional>

#ifdef __linux__
#include <fcntl.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "platform/Ipv4.h"

namespace korven::qt {
namespace {

constexpr int kSystemSendBuffer = 8192;

// The bytes the system holds for the connection that the peer has not
// acknowledged; nothing where the system does not tell.
std::optional<std::uint64_t> unacknowledged([[maybe_unused]] int descriptor) {
#ifdef __linux__
  int waiting = 0;
  if (descriptor >= 0 && ::ioctl(descriptor, SIOCOUTQ, &waiting) == 0 && waiting >= 0) {
    return static_cast<std::uint64_t>(waiting);
  }
#endif
  return std::nullopt;
}

}  // namespace

QtTcpSocket::QtTcpSocket(const TerminalAddresses& terminals) : terminals_(terminals) {
  // The terminals are on the local network: never through a proxy the
  // desktop may have set for the web.
  socket_.setProxy(QNetworkProxy::NoProxy);
  QObject::connect(&socket_, &QTcpSocket::connected, [this] { connected(); });
  QObject::connect(&socket_, &QTcpSocket::errorOccurred,
                   [this](QAbstractSocket::SocketError error) { failed(error); });
  QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { arrived(); });
  QObject::connect(&socket_, &QTcpSocket::bytesWritten,
                   [this](qint64 n) { taken_ += static_cast<std::uint64_t>(n); });
}

QtTcpSocket::~QtTcpSocket() {
  socket_.disconnect();  // no signal reaches a half-destroyed socket
  release(false);
}

bool QtTcpSocket::connect() {
  if (state_ != tcp_state::Closed) return false;
  // 0.0.0.0 would reach the PC itself, a broadcast or multicast address no
  // terminal, whatever a discovery reply or the address box says.
  const auto host = parseIpv4(remoteHost());
  if (!host || !terminals_.accepts(remoteHost()) || remotePort() <= 0 || remotePort() > 65535) {
    state_ = tcp_state::Error;
    return false;
  }
  handedOver_ = taken_ = delivered_ = 0;  // counted per connection
  state_ = tcp_state::Connecting;
  insideConnect_ = true;
  socket_.connectToHost(QHostAddress(*host), static_cast<quint16>(remotePort()));
  insideConnect_ = false;
  return true;
}

void QtTcpSocket::connected() {
  // Each piece of an update leaves when it is handed over.
  socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
  // Little room in the system: what a terminal that stopped reading never
  // took stays in Qt's buffer, plainly not taken. A stream of pieces a
  // pause apart never needs more.
  socket_.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemSendBuffer);
#ifdef __linux__
  own_ = ::fcntl(static_cast<int>(socket_.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
#endif
  state_ = tcp_state::Connected;
  // The Connect event never runs inside the call that asked for it.
  if (insideConnect_) {
    connectLater_.post();
  } else {
    onConnect.raise();  // last: a handler may destroy this socket
  }
}

void QtTcpSocket::failed(QAbstractSocket::SocketError error) {
  // Aborting below may tell again.
  if (state_ != tcp_state::Connecting && state_ != tcp_state::Connected) return;
  deliveredNow();  // while the connection still counts as up
  // Data that came before the peer closed stays readable.
  received_ += socket_.readAll().toStdString();
  state_ = error == QAbstractSocket::RemoteHostClosedError ? tcp_state::Closing : tcp_state::Error;
  release(false);
}

void QtTcpSocket::arrived() {
  const std::size_t before = received_.size();
  received_ += socket_.readAll().toStdString();
  if (received_.size() > before) onDataArrival.raise(received_.size());  // last, as above
}

bool QtTcpSocket::sendData(std::string_view bytes) {
  if (state_ != tcp_state::Connected) return false;
  if (socket_.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
      static_cast<qint64>(bytes.size())) {
    return false;
  }
  handedOver_ += bytes.size();
  // To the system now, as the timetable wants it, not at the next pass of
  // the loop. A connection found broken here fails this send, as the
  // system's own send would.
  socket_.flush();
  if (state_ == tcp_state::Connected) return true;
  handedOver_ -= bytes.size();
  return false;
}

std::uint64_t QtTcpSocket::bytesDelivered() const {
  return deliveredNow();
}

std::uint64_t QtTcpSocket::deliveredNow() const {
  if (own_ < 0 && state_ != tcp_state::Connected) return delivered_;
  std::uint64_t through = 0;
  if (const auto waiting = unacknowledged(own_)) {
    through = taken_ - std::min(*waiting, taken_);
  } else {
    // The system does not tell what the terminal acknowledged: what it took
    // is all that can be said. Such a stream reads "streamed", and only the
    // terminal's verdict makes it clean; silence leaves it unconfirmed.
    through = taken_;
  }
  delivered_ = std::max(delivered_, through);
  return delivered_;
}

std::string QtTcpSocket::getData() {
  return std::exchange(received_, {});
}

void QtTcpSocket::close() {
  release(true);
  state_ = tcp_state::Closed;
  received_.clear();
}

void QtTcpSocket::release([[maybe_unused]] bool resetIfUndelivered) {
  deliveredNow();
#ifdef __linux__
  if (own_ >= 0 && resetIfUndelivered && delivered_ < handedOver_) {
    // Taken at the last close of the socket, which is this descriptor's.
    const linger reset{1, 0};
    ::setsockopt(own_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
#endif
  socket_.abort();
#ifdef __linux__
  if (own_ >= 0) ::close(own_);
#endif
  own_ = -1;
}

}  // namespace korven::qt
